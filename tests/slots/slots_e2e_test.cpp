// The channel slot kinds end to end: created by a controller in
// nodalsrv-sim, connected to a trunk time slot (seen in the simulated
// switch), carrying traffic where the kind carries any, and destroyed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "messages/TERM/TERM.h"
#include "tests/support/sim_daemon.h"

using testing_support::exchange;
using testing_support::SimDaemon;
using testing_support::TestController;
using Lines = std::vector<std::string>;

namespace {

class SlotsE2E : public testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(d.attach(ctl)); }

  template <class Fill>
  void create(int seq, int slot, Fill fill) {
    ctl.command(seq, slot, [&](LGCP::Command& c) { fill(c.select_create()); });
  }
  void trunk(int seq, int slot, unsigned timeslot) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::TrunkParams& t = p.select_trunk();
      t.set_trunk(0);
      t.set_timeslot(timeslot);
    });
  }
  void connect(int seq, int source, unsigned receiver) {
    ctl.command(seq, source, [&](LGCP::Command& c) { c.select_connect().setValue(receiver); });
  }
  void destroy(int seq, int slot) {
    ctl.command(seq, slot, [](LGCP::Command& c) { c.select_destroy(); });
  }
  bool switched(const std::string& line) { return d.eventually("/sim/switch", line + "\n"); }

  SimDaemon d;
  TestController ctl;
};

TEST_F(SlotsE2E, MapExtAndEcho) {
  trunk(1, 1, 5);
  ASSERT_EQ(exchange(ctl, 3).size(), 3u);
  create(2, 2, [](LGCP::CreateParams& p) {
    LGCP::MapParams& m = p.select_map();
    m.mutable_transmitter().set_bus(0);
    m.mutable_transmitter().set_channel(1);
    m.mutable_receiver().set_bus(0);
    m.mutable_receiver().set_channel(2);
  });
  EXPECT_EQ(exchange(ctl, 3), (Lines{"seq=2 slot=2 success", "slot=2 signal receiver active 8194",
                                     "slot=2 signal transmitter active 8193"}));
  connect(3, 1, 2);
  connect(4, 2, 1);
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=3 slot=1 success", "seq=4 slot=2 success"}));
  EXPECT_TRUE(switched("8194 connected 5"));
  EXPECT_TRUE(switched("5 connected 8193"));

  create(5, 3, [](LGCP::CreateParams& p) {
    LGCP::ExtParams& e = p.select_ext();
    e.set_transmitter(3);
    e.set_receiver(4);
  });
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=5 slot=3 success", "slot=3 signal transmitter active 8195"}));
  ctl.command(6, 3, [](LGCP::Command& c) { c.select_activate().select_empty(); });
  EXPECT_EQ(exchange(ctl, 2), (Lines{"slot=3 signal receiver active 8196", "seq=6 slot=3 success"}));
  connect(7, 1, 3);
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=7 slot=1 success"}));
  EXPECT_TRUE(switched("8196 connected 5"));

  create(8, 4, [](LGCP::CreateParams& p) {
    LGCP::EchoParams& e = p.select_echo();
    e.set_bus(0);
    e.set_channel(1);
  });
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=8 slot=4 error insufficientResources"}));

  destroy(9, 2);
  destroy(10, 3);
  EXPECT_EQ(exchange(ctl, 4), (Lines{"seq=0 slot=2 success", "seq=9 slot=2 success", "seq=0 slot=3 success",
                                     "seq=10 slot=3 success"}));
  EXPECT_TRUE(switched("8194 disabled"));
  EXPECT_TRUE(switched("8196 disabled"));
}

}  // namespace
