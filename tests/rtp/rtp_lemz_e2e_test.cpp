// LEMZ radio sessions end to end: created by a controller in nodalsrv-sim
// in both modes, the status packets and the controller's modifier written
// to the simulated header-extension driver, a workstation's PTT injected
// there reported as an rtpExt signal, and destroyed.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "messages/TERM/TERM.h"
#include "tests/support/sim_daemon.h"

using testing_support::SimDaemon;
using testing_support::TestController;
using Lines = std::vector<std::string>;

namespace {

Lines Next(TestController& ctl, size_t n) { return testing_support::exchange(ctl, n, true); }

// A LEMZ radio session (priority 3); with an RTP session to join, attached
// to its extension stream.
void CreateLemz(TestController& ctl, int seq, int slot, bool attached) {
  ctl.command(seq, slot, [&](LGCP::Command& c) {
    LGCP::CreateRtpParams& p = c.select_create().select_rtp();
    TERM::RtpParams& rtp = p.mutable_codecRTP();
    rtp.set_payload(TERM::Payload::ptG711_Alaw);
    rtp.mutable_dhost().set_iaddr("127.0.0.1");
    rtp.mutable_dhost().set_port(static_cast<unsigned>(testing_support::freePort()));
    rtp.mutable_radio().mutable_status().select_lemz().mutable_flags().set_prio(3);
    if (attached) {
      TERM::RtpExtDescription& d = rtp.mutable_rtp_e2m().mutable_mode().select_only_rtp();
      d.set_fd(7);
      d.set_pid(1234);
    }
    p.set_txPayload(TERM::Payload::ptG711_Alaw);
    p.set_rxPayload(TERM::Payload::ptG711_Alaw);
  });
}

void WmTrans(TestController& ctl, int seq, int slot) {
  ctl.command(seq, slot, [](LGCP::Command& c) {
    TERM::LemzRadioModifier& m = c.select_ioctl().select_rtpExt().select_lemz();
    m.mutable_addr().set_session_addr("10.0.0.1");
    TERM::RadioCommandWMTrans& t = m.mutable_params().select_wm_trans();
    t.mutable_flags().set_ptt(true);
    t.set_ip("10.0.0.9");
    t.set_ssrc(7);
  });
}

TEST(LemzE2E, RadioSessionsThroughTheSimulator) {
  SimDaemon d;
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));
  CreateLemz(ctl, 1, 12, false);
  EXPECT_EQ(Next(ctl, 3), (Lines{"seq=1 slot=12 success", "slot=12 signal transmitter active 4096",
                                 "slot=12 signal receiver active 4096"}));
  // The status packets of the radio: WM_FLAG with the controller's priority.
  EXPECT_TRUE(d.eventually("/sim/rtp_ext", "0 81 30 00 00\n"));

  // A workstation at 10.0.0.9 (SSRC 7) presses PTT with priority 5.
  std::ofstream(d.root + "/sim/control") << "inject /dev/rtp_ext 00 00 00 07 0a 00 00 09 03 54 00 00\n";
  EXPECT_EQ(Next(ctl, 1), (Lines{"slot=12 signal rtpExt gw-set-ptt 10.0.0.9"}));

  // The controller gives it the radio: WM_TRANS to the workstations.
  WmTrans(ctl, 2, 12);
  EXPECT_EQ(Next(ctl, 1), (Lines{"seq=2 slot=12 success"}));
  EXPECT_TRUE(d.eventually("/sim/rtp_ext", "0 82 04 00 00 09 00 00 0a 00 00 00 07\n"));

  // Attached to another RTP session's extension stream: no session of its own.
  CreateLemz(ctl, 3, 13, true);
  EXPECT_EQ(Next(ctl, 3), (Lines{"seq=3 slot=13 success", "slot=13 signal transmitter active 4097",
                                 "slot=13 signal receiver active 4097"}));
  WmTrans(ctl, 4, 13);
  EXPECT_EQ(Next(ctl, 1), (Lines{"seq=4 slot=13 success"}));

  ctl.command(5, 12, [](LGCP::Command& c) { c.select_destroy(); });
  EXPECT_EQ(Next(ctl, 2), (Lines{"seq=0 slot=12 success", "seq=5 slot=12 success"}));
  ctl.command(6, 13, [](LGCP::Command& c) { c.select_destroy(); });
  EXPECT_EQ(Next(ctl, 2), (Lines{"seq=0 slot=13 success", "seq=6 slot=13 success"}));
}

}  // namespace
