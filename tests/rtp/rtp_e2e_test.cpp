// An RTP slot end to end: created by a controller in nodalsrv-sim, bridged
// both ways to an E1 time slot (seen in the simulated switch), an event of
// its driver session turned into an `rtp` signal, the resources report with
// the voice driver's codec counts, and destroyed.
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

// The resources report that answers a query.
bool Resources(TestController& ctl, LGCP::Resources& report) {
  for (int i = 0; i < testing_support::SimWait / 10; ++i) {
    ctl.wait(1, 10);
    for (const std::string& payload : ctl.payloads()) {
      LGCP::Message msg;
      if (TestController::decode(payload, msg) && msg.get_pdu().is_signal() && msg.get_pdu().get_signal().is_query()) {
        report = msg.get_pdu().get_signal().get_query();
        ctl.payloads().clear();
        return true;
      }
    }
    ctl.payloads().clear();
  }
  return false;
}

TEST(RtpE2E, SlotBridgedToATrunk) {
  SimDaemon d;
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));
  ctl.command(1, 10, [](LGCP::Command& c) {
    LGCP::TrunkParams& t = c.select_create().select_trunk();
    t.set_trunk(1);
    t.set_timeslot(7);  // channel 39
  });
  ASSERT_EQ(exchange(ctl, 3).size(), 3u);
  ctl.command(2, 11, [](LGCP::Command& c) {
    LGCP::CreateRtpParams& p = c.select_create().select_rtp();
    p.mutable_codecRTP().set_payload(TERM::Payload::ptG711_Alaw);
    p.mutable_codecRTP().mutable_dhost().set_iaddr("127.0.0.1");
    p.mutable_codecRTP().mutable_dhost().set_port(static_cast<unsigned>(testing_support::freePort()));
    p.set_txPayload(TERM::Payload::ptG711_Alaw);
    p.set_rxPayload(TERM::Payload::ptG711_Alaw);
  });
  EXPECT_EQ(exchange(ctl, 3), (Lines{"seq=2 slot=11 success", "slot=11 signal transmitter active 4096",
                                     "slot=11 signal receiver active 4096"}));
  ctl.command(3, 10, [](LGCP::Command& c) { c.select_connect().setValue(11); });
  ctl.command(4, 11, [](LGCP::Command& c) { c.select_connect().setValue(10); });
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=3 slot=10 success", "seq=4 slot=11 success"}));
  EXPECT_TRUE(d.eventually("/sim/switch", "39 connected 4096\n"));
  EXPECT_TRUE(d.eventually("/sim/switch", "4096 connected 39\n"));

  // A packet-detection event {type 1, value 5, time-out 100} of the session,
  // taken when the daemon next polls the board.
  std::string record = "inject /dev/rtp 00 00 00 01 00 00 00 05 00 00 00 64";
  for (int i = 0; i < 24; ++i)
    record += " 00";
  std::ofstream(d.root + "/sim/control") << record << "\n";
  EXPECT_EQ(exchange(ctl, 1), (Lines{"slot=11 signal rtp"}));

  ctl.command(5, -1, [](LGCP::Command& c) { c.select_query(); });
  LGCP::Resources report;
  ASSERT_TRUE(Resources(ctl, report));
  EXPECT_EQ(report.get_rtp_g711().getValue(), 1024);
  EXPECT_EQ(report.get_rtp_g729().getValue(), 256);
  EXPECT_EQ(report.get_rtp_g711mcc().getValue(), 64);
  EXPECT_EQ(report.get_universal().getValue(), 1024);

  ctl.command(6, 11, [](LGCP::Command& c) { c.select_destroy(); });
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=0 slot=11 success", "seq=6 slot=11 success"}));
  EXPECT_TRUE(d.eventually("/sim/switch", "4096 disabled\n"));
}

}  // namespace
