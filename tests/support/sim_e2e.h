#pragma once
// A test with its own nodalsrv-sim and a controller attached to it, and the
// slot commands that end-to-end tests send. Header only (see sim_daemon.h).
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/sim_daemon.h"

namespace testing_support {

class SimE2E : public testing::Test {
protected:
  using Lines = std::vector<std::string>;

  void SetUp() override { ASSERT_TRUE(d.attach(ctl)); }

  template <class Fill>
  void create(int seq, int slot, Fill fill) {
    ctl.command(seq, slot, [&](LGCP::Command& c) { fill(c.select_create()); });
  }
  // A time slot of E1 trunk 0.
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
  void userData(int seq, int slot, const std::vector<char>& bytes) {
    ctl.command(seq, slot, [&](LGCP::Command& c) { c.select_userData() = bytes; });
  }
  // Destroys the slots one by one; each goes at once.
  void destroyAll(int seq, std::initializer_list<int> slots) {
    Lines want;
    for (int slot : slots) {
      destroy(seq, slot);
      want.push_back("seq=0 slot=" + std::to_string(slot) + " success");
      want.push_back("seq=" + std::to_string(seq++) + " slot=" + std::to_string(slot) + " success");
    }
    EXPECT_EQ(exchange(ctl, want.size()), want);
  }
  // The simulated switch shows the line ("20 connected 256") in time.
  bool switched(const std::string& line) { return d.shows("/sim/switch", line + "\n"); }

  SimDaemon d;
  TestController ctl;
};

}  // namespace testing_support
