// An ED-137 radio session end to end: created by a controller in
// nodalsrv-sim, a position's PTT injected at the simulated header-extension
// driver reported as an rtpExt signal, the controller's radio modifier
// written to the driver, the silent radio reported lost, and destroyed.
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

// The next n messages with details, leaving out, unless asked for, the
// aborts of a silent radio.
Lines Next(TestController& ctl, size_t n, bool aborts = false) {
  return testing_support::exchange(ctl, n, true, aborts ? nullptr : "signal abort");
}

TEST(ED137E2E, RadioSessionThroughTheSimulator) {
  SimDaemon d;
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));
  ctl.command(1, 12, [](LGCP::Command& c) {
    LGCP::CreateRtpParams& p = c.select_create().select_rtp();
    TERM::RtpParams& rtp = p.mutable_codecRTP();
    rtp.set_payload(TERM::Payload::ptG711_Alaw);
    rtp.mutable_dhost().set_iaddr("127.0.0.1");
    rtp.mutable_dhost().set_port(static_cast<unsigned>(testing_support::freePort()));
    TERM::ED137RadioHeader& h = rtp.mutable_radio().mutable_status().select_ed_137().mutable_header();
    h.set_ptt(TERM::ED137RadioPTT::ptt_off);
    h.set_squ(TERM::ED137RadioSQU::squ_off);
    p.set_txPayload(TERM::Payload::ptG711_Alaw);
    p.set_rxPayload(TERM::Payload::ptG711_Alaw);
  });
  EXPECT_EQ(Next(ctl, 3), (Lines{"seq=1 slot=12 success", "slot=12 signal transmitter active 4096",
                                 "slot=12 signal receiver active 4096"}));
  // The create request's status went to the radio at once.
  EXPECT_TRUE(d.eventually("/sim/rtp_ext", "0 00 00 00 00\n"));

  // Normal PTT from 10.0.0.9, SSRC 7.
  std::ofstream(d.root + "/sim/control") << "inject /dev/rtp_ext 00 00 00 07 0a 00 00 09 20 00 00 00\n";
  EXPECT_EQ(Next(ctl, 1), (Lines{"slot=12 signal rtpExt 10.0.0.9"}));

  // Squelch open with quality index 25 for the position at 10.0.0.9.
  ctl.command(2, 12, [](LGCP::Command& c) {
    TERM::ED137RadioModifier& m = c.select_ioctl().select_rtpExt().select_ed_137();
    m.mutable_addr().set_session_addr("10.0.0.9");
    m.mutable_addr().set_session_ssrc(7);
    TERM::ED137RadioRxCommand& rx = m.mutable_params().select_rx();
    rx.mutable_header().set_ptt(TERM::ED137RadioPTT::ptt_off);
    rx.mutable_header().set_squ(TERM::ED137RadioSQU::squ_on);
    rx.mutable_sqi().set_bss_method(TERM::ED137RadioBSSMethod::rssi);
    rx.mutable_sqi().set_bss_quality(25);
  });
  EXPECT_EQ(Next(ctl, 1), (Lines{"seq=2 slot=12 success"}));
  EXPECT_TRUE(d.eventually("/sim/rtp_ext", "0 10 01 11 c8\n"));

  // Nothing more from the positions: after 2000 ms the radio is lost.
  EXPECT_EQ(Next(ctl, 1, true), (Lines{"slot=12 signal abort 151"}));

  ctl.command(3, 12, [](LGCP::Command& c) { c.select_destroy(); });
  EXPECT_EQ(Next(ctl, 2), (Lines{"seq=0 slot=12 success", "seq=3 slot=12 success"}));
}

}  // namespace
