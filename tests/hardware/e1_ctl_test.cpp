#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/multiplexer.h"
#include "simboard/e1_cas.h"
#include "simboard/maintenance.h"
#include "tests/hardware/services_fixture.h"

using SimBoard::E1Cas;
using SimBoard::Maintenance;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

namespace services_test {
namespace {

void TrunkCfg(testing_support::TestController& ctl, int trunk, LGCP::TrunkMode::NamedNumber mode) {
  ctl.command(3, -1, [&](LGCP::Command& c) {
    LGCP::TrunkCfg& cfg = c.select_trunkCfg();
    cfg.set_trunk(trunk);
    cfg.set_mode(mode);
  });
}

// A CAS command; which: 0 open, 1 close, 2 set, 3 get.
void Cas(testing_support::TestController& ctl, int path, int timeslot, int which, int code = 0) {
  ctl.command(4, -1, [&](LGCP::Command& c) {
    LGCP::CasCommand& cas = c.select_ioctl().select_cas();
    cas.mutable_channel().set_path(path);
    cas.mutable_channel().set_timeslot(timeslot);
    LGCP::CasCommandSignal& cmd = cas.mutable_cmd();
    if (which == 0)
      cmd.select_open().setValue(code);
    else if (which == 1)
      cmd.select_close();
    else if (which == 2)
      cmd.select_set().setValue(code);
    else
      cmd.select_get();
  });
}

// The E1 trunks' status signals among the messages.
std::vector<std::string> E1Only(const std::vector<std::string>& lines) {
  std::vector<std::string> e1;
  for (const std::string& line : lines)
    if (line.compare(0, 12, "trunkStatus ") == 0 && line.find(" e1") != std::string::npos)
      e1.push_back(line);
  return e1;
}

const char* const Normal[] = {"trunkStatus 0 normal slips=0 bf=0 carrier=0 ais=0 rai=0 e1",
                              "trunkStatus 1 normal slips=0 bf=0 carrier=0 ais=0 rai=0 e1",
                              "trunkStatus 2 normal slips=0 bf=0 carrier=0 ais=0 rai=0 e1",
                              "trunkStatus 3 normal slips=0 bf=0 carrier=0 ais=0 rai=0 e1"};

}  // namespace

TEST_F(ServicesTest, TrunkStatusAtConnectAndEverySecond) {
  board.maintenance().status(1) = Maintenance::TrunkStatus{2, 3, 4, 5, 6, 7};
  Connect();
  std::vector<std::string> atConnect = Received();
  ASSERT_GE(atConnect.size(), 4u);
  EXPECT_THAT(std::vector<std::string>(atConnect.begin(), atConnect.begin() + 4),
              ElementsAre(Normal[0], "trunkStatus 1 lossCarrier slips=3 bf=4 carrier=5 ais=6 rai=7 e1", Normal[2],
                          Normal[3]));

  // A state change shows at the next poll, one second on.
  board.maintenance().status(1) = Maintenance::TrunkStatus{};
  board.maintenance().status(3).state = ACP::TrunkState::ais;
  EXPECT_THAT(E1Only(After(999)), IsEmpty());
  EXPECT_THAT(E1Only(After(1)), ElementsAre(Normal[0], Normal[1], Normal[2],
                                            "trunkStatus 3 ais slips=0 bf=0 carrier=0 ais=0 rai=0 e1"));

  // A trunk whose read fails is skipped, with a log line.
  board.maintenance().fail(Maintenance::Status, EIO, 1);
  logs.clear();
  std::vector<std::string> e1 = E1Only(After(1000));
  ASSERT_EQ(e1.size(), 3u);
  EXPECT_EQ(e1[0], Normal[1]);
  EXPECT_EQ(logs.err(), "E1: synchronization status read fail, trunk = 0 cause = Input/output error\n");

  // The poll goes on without a controller (its signals are not sent then).
  Disconnect();
  EXPECT_TRUE(E1Ctl::instance()->polling());
}

TEST_F(ServicesTest, TclkMaskFollowsTrunkConfiguration) {
  Connect();
  EXPECT_EQ(board.maintenance().tclk_writes(), 1);  // cleared at connect
  Received();
  TrunkCfg(ctl, 1, LGCP::TrunkMode::slave);
  TrunkCfg(ctl, 3, LGCP::TrunkMode::slave);
  TrunkCfg(ctl, 1, LGCP::TrunkMode::master);
  EXPECT_THAT(Await(3), ElementsAre("seq=3 success", "seq=3 success", "seq=3 success"));
  EXPECT_EQ(board.maintenance().tclk_mask(), 0x8u);
  // No bit for trunk 40; a negative trunk is ignored altogether.
  TrunkCfg(ctl, 40, LGCP::TrunkMode::slave);
  TrunkCfg(ctl, 31, LGCP::TrunkMode::slave);
  TrunkCfg(ctl, -1, LGCP::TrunkMode::slave);
  EXPECT_THAT(Await(3), ElementsAre("seq=3 success", "seq=3 success", "seq=3 success"));
  EXPECT_EQ(board.maintenance().tclk_mask(), 0x80000008u);
  EXPECT_EQ(board.maintenance().tclk_writes(), 6);

  board.maintenance().fail(Maintenance::SetTclk, EPERM, 1);
  logs.clear();
  TrunkCfg(ctl, 0, LGCP::TrunkMode::slave);
  EXPECT_THAT(Await(1), ElementsAre("seq=3 success"));
  EXPECT_EQ(logs.err(), "E1: fail to set TCLK [cause=Operation not permitted]\n");

  // The controller goes and comes back: no trunk is a clock slave any more.
  Disconnect();
  Connect();
  EXPECT_EQ(board.maintenance().tclk_mask(), 0u);
}

TEST_F(ServicesTest, CasCommandsAndLineChangesBothWays) {
  Connect();
  Received();
  E1Cas& cas = board.e1cas();

  // Time slot 0 opens the trunk only.
  Cas(ctl, 2, 0, 0, 5);
  EXPECT_THAT(Await(2), ElementsAre("cas 2/0 rx=0 tx=0", "seq=4 success"));
  EXPECT_TRUE(cas.trunk_open(2));
  EXPECT_TRUE(cas.requests(E1Cas::Channel).empty());
  // Time slot 5 on the open trunk: enabled with the code modulo 16, its codes reported.
  Cas(ctl, 2, 5, 0, 0x1d);
  EXPECT_THAT(Await(3), ElementsAre("cas 2/0 rx=0 tx=0", "cas 2/5 rx=0 tx=13", "seq=4 success"));
  EXPECT_TRUE(cas.slot(2, 5).enabled);
  Cas(ctl, 2, 16, 0, 3);
  EXPECT_THAT(Await(2), ElementsAre("cas 2/0 rx=0 tx=0", "seq=4 success"));

  // The line changes a code: the controller hears it.
  cas.line_change(2, 5, 9);
  EXPECT_THAT(Await(1), ElementsAre("cas 2/5 rx=9 tx=13"));
  Cas(ctl, 2, 5, 3);
  EXPECT_THAT(Await(2), ElementsAre("cas 2/5 rx=9 tx=13", "seq=4 success"));

  // Close the time slot, then the trunk.
  Cas(ctl, 2, 5, 1);
  EXPECT_THAT(Await(2), ElementsAre("cas 2/5 rx=-1 tx=1", "seq=4 success"));
  EXPECT_FALSE(cas.slot(2, 5).enabled);
  Cas(ctl, 2, 0, 1);
  EXPECT_THAT(Await(2), ElementsAre("cas 2/0 rx=1 tx=0", "seq=4 success"));
  EXPECT_FALSE(cas.trunk_open(2));
  // Get and close on a closed trunk, anything on trunk 4 or a negative one: answered, nothing else.
  Cas(ctl, 2, 5, 3);
  Cas(ctl, 2, 0, 1);
  Cas(ctl, 4, 0, 0, 1);
  Cas(ctl, -1, 3, 2, 1);
  EXPECT_THAT(Await(4), ElementsAre("seq=4 success", "seq=4 success", "seq=4 success", "seq=4 success"));

  // `set` on a closed trunk opens it; failures come back in rx.
  Cas(ctl, 1, 7, 2, 4);
  EXPECT_THAT(Await(3), ElementsAre("cas 1/0 rx=0 tx=0", "cas 1/7 rx=0 tx=4", "seq=4 success"));
  cas.fail(E1Cas::Channel, EIO, 1);
  Cas(ctl, 1, 8, 2, 4);
  EXPECT_THAT(Await(3), ElementsAre("cas 1/0 rx=0 tx=0", "cas 1/8 rx=-1 tx=0", "seq=4 success"));
  cas.fail(E1Cas::OpenTrunk, EBUSY, 1);
  Cas(ctl, 3, 0, 0, 1);
  EXPECT_THAT(Await(2), ElementsAre("cas 3/0 rx=-1 tx=0", "seq=4 success"));
  EXPECT_FALSE(cas.trunk_open(3));

  // The controller goes: every open trunk is closed.
  Disconnect();
  EXPECT_FALSE(cas.trunk_open(1));
}

// "/dev/maintenance" and "/dev/e1-cas" appear after the controller connected.
TEST_F(ServicesTest, E1DevicesMissingAtConnectArePickedUpByThePoll) {
  board.maintenance().set_present(false);
  board.e1cas().set_present(false);
  Connect();
  EXPECT_THAT(Received(), IsEmpty());  // no status
  Cas(ctl, 0, 0, 0, 1);
  EXPECT_THAT(Await(1), ElementsAre("seq=4 success"));

  board.maintenance().set_present(true);
  board.e1cas().set_present(true);
  EXPECT_THAT(E1Only(After(1000)), ElementsAre(Normal[0], Normal[1], Normal[2], Normal[3]));
  Cas(ctl, 0, 0, 0, 1);
  EXPECT_THAT(Await(2), ElementsAre("cas 0/0 rx=0 tx=0", "seq=4 success"));
}

// The CAS device at end of file or hung up is no longer watched (logged
// once, so no loop turn runs at once for it) and opens again at the next
// status poll, where line changes reach the controller again.
TEST_F(ServicesTest, CasDeviceGoneIsLetGoAndOpenedAgainByThePoll) {
  Connect();
  Received();
  E1Cas& cas = board.e1cas();
  ASSERT_EQ(cas.open_count(), 1u);
  const size_t watched = multiplexer.handler_count();
  for (bool hangUp : {false, true}) {
    logs.clear();
    if (hangUp)
      cas.files()[0]->close();
    else
      cas.files()[0]->send(SimBoard::Bytes());  // a read of nothing
    Received();
    EXPECT_EQ(logs.err(), hangUp ? "E1/Cas: device hung up, closed until its next use\n"
                                 : "E1/Cas: device at end of file, closed until its next use\n");
    EXPECT_EQ(multiplexer.handler_count(), watched - 1);
    EXPECT_EQ(cas.open_count(), 0u);
    After(1000);
    EXPECT_EQ(cas.open_count(), 1u);
    EXPECT_EQ(multiplexer.handler_count(), watched);
    Cas(ctl, 2, 0, 0, 5);
    EXPECT_THAT(Await(2), ElementsAre("cas 2/0 rx=0 tx=0", "seq=4 success"));
    cas.line_change(2, 5, 9);
    EXPECT_THAT(Await(1), ElementsAre("cas 2/5 rx=9 tx=0"));
  }
}

}  // namespace services_test
