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

// The controller's byte stream as the server reads it: octets before a frame
// are passed over, and a frame cut across reads (between its two length
// octets, inside its payload) is put together before it is decoded.
TEST_F(ControlTest, FramesCutAcrossReadsAndOctetsBeforeThem) {
  create(1, 3, 5, 8200);
  EXPECT_THAT(replies(1), ElementsAre("seq=1 slot=3 success"));
  journal.clear();
  logs.clear();
  // 300 octets of data: the frame's length takes both of its octets.
  const std::string data(300, 'd');
  LGCP::Message msg;
  msg.set_seq(2);
  msg.set_slot(3);
  msg.mutable_pdu().select_command().select_userData() = std::vector<char>(data.begin(), data.end());
  std::vector<char> payload;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  ASSERT_TRUE(env.encode(msg, payload));
  const std::string frame = testing_support::tpkt_frame(std::string(payload.begin(), payload.end()));
  ASSERT_EQ(frame.substr(0, 3), std::string("\x03\x00\x01", 3));
  LGCP::Message ping;
  ping.set_seq(3);
  ping.mutable_pdu().select_command().select_ping();
  std::vector<char> pingPayload;
  ASSERT_TRUE(env.encode(ping, pingPayload));

  // The partial frame time limit is not what this is about: the clock stays.
  clock.set_auto_advance(false);
  for (const std::string& chunk : {std::string("\x55\xaa", 2) + frame.substr(0, 3), frame.substr(3, 100),
                                   frame.substr(103) + testing_support::tpkt_frame(
                                                           std::string(pingPayload.begin(), pingPayload.end()))}) {
    ASSERT_TRUE(ctl.send_raw(chunk));
    runner.turn(3);
  }
  EXPECT_THAT(replies(2), ElementsAre("seq=2 slot=3 success", "seq=3 success"));
  EXPECT_THAT(journal, ElementsAre("03:fake IUserData " + data));
  const std::string log = logs.log();
  size_t starts = 0;
  for (size_t at = log.find("bad TPKT packet start."); at != std::string::npos;
       at = log.find("bad TPKT packet start.", at + 1))
    ++starts;
  EXPECT_EQ(starts, 2u) << log;
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
