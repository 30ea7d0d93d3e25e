// The control server over real TCP: the answer rules, their wire bytes,
// refusals and the signal path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "messages/ACP/ACP.h"
#include "tests/core/control_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;

namespace control_test {

TEST_F(ControlTest, AnswersCarryTheCommandsSeqAndSlot) {
  simple(-1, -1, LGCP::Command::alt_ping);
  simple(1, -1, LGCP::Command::alt_ping);
  simple(-1, -1, LGCP::Command::alt_ping);  // the flag goes with a command without seq
  EXPECT_THAT(replies(3), ElementsAre("success", "seq=1 success", "success"));

  // A signal sent during the command carries its slot but never a seq.
  probe.answer = [&] {
    LGCP::Signal sig;
    sig.select_abort().setValue(1);
    probe.SendSignal(sig);
    probe.Success();
  };
  display(7, 5);
  EXPECT_THAT(replies(2), ElementsAre("slot=5 signal abort", "seq=7 slot=5 success"));

  // Nobody takes a query with a slot, nor a slot command without one, nor a
  // signal from the controller.
  simple(7, 5, LGCP::Command::alt_query);
  simple(8, -1, LGCP::Command::alt_disconnect);
  LGCP::Message msg;
  msg.set_seq(3);
  msg.set_slot(5);
  msg.mutable_pdu().select_signal().select_activated();
  ctl.send(msg);
  EXPECT_THAT(replies(3), ElementsAre("seq=7 slot=5 error unexpectedMsgType", "seq=8 error unexpectedMsgType",
                                      "seq=3 error unexpectedMsgType"));

  // Undecodable: logged, unanswered. Slot 1023 is the last: a ping with slot
  // 1024 is refused.
  logs.clear();
  ctl.send_payload(std::string("\x08\x00", 2));
  ctl.send_payload(std::string("\x40\x04\x00\x18", 4));
  simple(-1, 1023, LGCP::Command::alt_ping);
  EXPECT_THAT(replies(2), ElementsAre("error invalidSlot", "slot=1023 success"));
  EXPECT_THAT(logs.err(), HasSubstr("]: receive fail: decode error!\n msg: 08 00 \n"));
}

TEST_F(ControlTest, ServicesAnswerEachCommandOnce) {
  probe.answer = [&] { probe.Success(), probe.Success(); };
  display(1, -1);
  EXPECT_THAT(replies(1), ElementsAre("seq=1 success"));
  EXPECT_TRUE(quiet().empty());
  probe.answer = [&] { probe.Success(), probe.Error(LGCP::ErrorCause::busError); };
  display(2, 4);
  EXPECT_THAT(replies(2), ElementsAre("seq=2 slot=4 success", "seq=2 slot=4 error busError"));

  // A taker that does not answer: the server logs and answers `internal`.
  probe.answer = nullptr;
  logs.clear();
  display(3, -1);
  EXPECT_THAT(replies(1), ElementsAre("seq=3 error internal"));
  EXPECT_THAT(logs.err(), HasSubstr("]: software error: server do NOT send ack!!!\n"));

  // A delayed answer: nothing at dispatch, later the success the service sends.
  uint32_t token = 0, slot = 0;
  probe.answer = [&] { token = probe.delayResponse(), slot = probe.GetSlot(); };
  display(9, 4);
  EXPECT_TRUE(quiet().empty());
  probe.delayedSuccess(slot, token);
  EXPECT_THAT(replies(1), ElementsAre("seq=9 slot=4 success"));
}

TEST_F(ControlTest, SignalsAndConnectionEventsReachTheOtherServices) {
  LGCP::Signal sig;
  ACP::TrunkStatus& status = sig.select_trunkStatus();
  status.set_trunk(1);
  status.set_state(ACP::TrunkState::lossCarrier);
  status.set_slips(0);
  status.set_lossBF(0);
  status.set_lossCarrier(1);
  probe.SendSignal(sig);
  EXPECT_THAT(replies(1), ElementsAre("signal trunkStatus"));
  EXPECT_THAT(factory.selfSignals, ElementsAre("trunkStatus"));  // through the registry
  EXPECT_TRUE(probe.received.empty());                            // not to the sender
  sig.select_abort().setValue(2);  // only a trunk status goes to the factories
  Slots::instance().SendSignal(3, sig);
  EXPECT_THAT(replies(1), ElementsAre("slot=3 signal abort"));
  ASSERT_EQ(probe.received.size(), 1u);
  EXPECT_TRUE(probe.received[0].is_abort());
  EXPECT_EQ(factory.selfSignals.size(), 1u);

  bool connected = false;
  EXPECT_TRUE(probe.CheckServerConnection(connected) && connected);
  ctl.close();
  ASSERT_TRUE(runner.until([&] { return probe.disconnects == 1; }, 100));
  EXPECT_TRUE(probe.CheckServerConnection(connected));
  EXPECT_FALSE(connected);
}

TEST(CtrlService, UnboundServiceAndServerWithoutConnection) {
  testing_support::LogCapture logs;
  ProbeService probe;
  probe.Success();
  EXPECT_EQ(probe.GetSlot(), 0xFFFFFFFFu);
  EXPECT_EQ(probe.delayResponse(), 0xFFFFFFFFu);
  EXPECT_THAT(logs.err(), HasSubstr("CtrlSrv::Service error! service not connected to server.\n"));
  logs.clear();
  CtrlSrv::Server server;
  server.Bind(&probe);
  probe.delayedSuccess(3, 4);
  EXPECT_EQ(logs.err(), "ctrl [null]: send fail: Service not attached!\n");
}

// Whichever of a server and its service ends first leaves the other.
TEST(CtrlService, ServerAndServiceEndInEitherOrder) {
  testing_support::LogCapture logs;
  ProbeService stays;
  {
    CtrlSrv::Server server;
    {
      ProbeService gone;
      server.Bind(&gone);
      server.Bind(&stays);
    }
    EXPECT_EQ(server.services(), std::vector<CtrlSrv::Service*>{&stays});
    EXPECT_EQ(stays.server(), &server);
  }
  EXPECT_EQ(stays.server(), nullptr);
  EXPECT_FALSE(stays.CheckServer());
}

}  // namespace control_test
