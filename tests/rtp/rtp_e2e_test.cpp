// The RTP slots end to end in nodalsrv-sim: a plain RTP slot bridged to an
// E1 time slot, an event of its driver session turned into an `rtp` signal
// and the voice driver's counts in the resources report; LEMZ radio
// sessions in both modes and an ED-137 one, radio packets injected at the
// simulated header-extension driver reported as rtpExt signals (one checked
// against the octets of an independent encoder), the controller's records
// written to it, a silent ED-137 radio reported lost.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/ext.h"
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

// Creates an A-law session to a free local port, with what `radio` adds;
// the answer and the two stream signals.
Lines CreateRtp(TestController& ctl, int seq, int slot, const std::function<void(TERM::RtpParams&)>& radio) {
  ctl.command(seq, slot, [&](LGCP::Command& c) {
    LGCP::CreateRtpParams& p = c.select_create().select_rtp();
    TERM::RtpParams& rtp = p.mutable_codecRTP();
    rtp.set_payload(TERM::Payload::ptG711_Alaw);
    rtp.mutable_dhost().set_iaddr("127.0.0.1");
    rtp.mutable_dhost().set_port(static_cast<unsigned>(testing_support::freePort()));
    radio(rtp);
    p.set_txPayload(TERM::Payload::ptG711_Alaw);
    p.set_rxPayload(TERM::Payload::ptG711_Alaw);
  });
  return Next(ctl, 3);
}

Lines Created(int seq, int slot, int channel) {
  const std::string s = "slot=" + std::to_string(slot), c = std::to_string(channel);
  return {"seq=" + std::to_string(seq) + " " + s + " success", s + " signal transmitter active " + c,
          s + " signal receiver active " + c};
}

Lines Command(TestController& ctl, int seq, int slot, const std::function<void(LGCP::Command&)>& fill, size_t n = 1) {
  ctl.command(seq, slot, fill);
  return Next(ctl, n);
}

void WmTrans(LGCP::Command& c) {
  TERM::LemzRadioModifier& m = c.select_ioctl().select_rtpExt().select_lemz();
  m.mutable_addr().set_session_addr("10.0.0.1");
  TERM::RadioCommandWMTrans& t = m.mutable_params().select_wm_trans();
  t.mutable_flags().set_ptt(true);
  t.set_ip("10.0.0.9");
  t.set_ssrc(7);
}

void Destroy(LGCP::Command& c) { c.select_destroy(); }

// The octets of the next rtpExt signal, in hex; empty when none comes.
std::string RtpExtOctets(TestController& ctl) {
  for (int i = 0; i < testing_support::SimWait / 10; ++i, ctl.payloads().clear()) {
    ctl.wait(1, 10);
    for (const std::string& payload : ctl.payloads()) {
      LGCP::Message msg;
      if (TestController::decode(payload, msg) && msg.get_pdu().is_signal() &&
          msg.get_pdu().get_signal().is_rtpExt()) {
        std::ostringstream hex;
        hex << ext::OutBufInHex(payload.data(), payload.size());
        ctl.payloads().clear();
        return hex.str();
      }
    }
  }
  return "";
}

TEST(RtpE2E, SlotsOfEachKindThroughTheSimulator) {
  SimDaemon d;
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));
  auto inject = [&](const std::string& record) { d.control("inject " + record + "\n"); };

  // Plain RTP, bridged both ways to E1 trunk 1, time slot 7 (channel 39).
  EXPECT_EQ(Command(ctl, 1, 10, [](LGCP::Command& c) {
              LGCP::TrunkParams& t = c.select_create().select_trunk();
              t.set_trunk(1);
              t.set_timeslot(7);
            }, 3).size(), 3u);
  EXPECT_EQ(CreateRtp(ctl, 2, 11, [](TERM::RtpParams&) {}), Created(2, 11, 4096));
  ctl.command(3, 10, [](LGCP::Command& c) { c.select_connect().setValue(11); });
  EXPECT_EQ(Command(ctl, 4, 11, [](LGCP::Command& c) { c.select_connect().setValue(10); }, 2),
            (Lines{"seq=3 slot=10 success", "seq=4 slot=11 success"}));
  EXPECT_TRUE(d.shows("/sim/switch", "39 connected 4096\n"));
  EXPECT_TRUE(d.shows("/sim/switch", "4096 connected 39\n"));
  // A packet-detection event {type 1, value 5, time-out 100} of the session.
  std::string event = "/dev/rtp 00 00 00 01 00 00 00 05 00 00 00 64";
  for (int i = 0; i < 24; ++i)
    event += " 00";
  inject(event);
  EXPECT_EQ(Next(ctl, 1), (Lines{"slot=11 signal rtp"}));
  ctl.command(5, -1, [](LGCP::Command& c) { c.select_query(); });
  std::vector<int> counts;
  for (int i = 0; i < testing_support::SimWait / 10 && counts.empty(); ++i, ctl.payloads().clear()) {
    ctl.wait(1, 10);
    LGCP::Message msg;
    for (const std::string& payload : ctl.payloads())
      if (TestController::decode(payload, msg) && msg.get_pdu().is_signal() && msg.get_pdu().get_signal().is_query()) {
        const LGCP::Resources& r = msg.get_pdu().get_signal().get_query();
        counts = {r.get_rtp_g729().getValue(), r.get_rtp_g711().getValue(), r.get_rtp_g711mcc().getValue(),
                  r.get_universal().getValue()};
      }
  }
  EXPECT_EQ(counts, (std::vector<int>{256, 1024, 64, 1024}));
  EXPECT_EQ(Command(ctl, 6, 11, Destroy, 2), (Lines{"seq=0 slot=11 success", "seq=6 slot=11 success"}));
  EXPECT_TRUE(d.shows("/sim/switch", "4096 disabled\n"));

  // LEMZ with its own extension session: the status packets of the radio
  // (WM_FLAG with the controller's priority 3), a workstation's PTT at
  // priority 5 from 10.0.0.9 (SSRC 7) reported, the controller's WM_TRANS
  // written to the workstations.
  auto lemz = [](bool attached) {
    return [attached](TERM::RtpParams& rtp) {
      rtp.mutable_radio().mutable_status().select_lemz().mutable_flags().set_prio(3);
      if (attached) {
        TERM::RtpExtDescription& e = rtp.mutable_rtp_e2m().mutable_mode().select_only_rtp();
        e.set_fd(7);
        e.set_pid(1234);
      }
    };
  };
  EXPECT_EQ(CreateRtp(ctl, 7, 12, lemz(false)), Created(7, 12, 4096));
  EXPECT_TRUE(d.logged("/sim/rtp_ext", "0 81 30 00 00\n"));
  inject("/dev/rtp_ext 00 00 00 07 0a 00 00 09 03 54 00 00");
  EXPECT_EQ(Next(ctl, 1), (Lines{"slot=12 signal rtpExt gw-set-ptt 10.0.0.9"}));
  EXPECT_EQ(Command(ctl, 8, 12, WmTrans), (Lines{"seq=8 slot=12 success"}));
  EXPECT_TRUE(d.logged("/sim/rtp_ext", "0 82 04 00 00 09 00 00 0a 00 00 00 07\n"));
  // Attached to another RTP session's extension stream: no session of its own.
  EXPECT_EQ(CreateRtp(ctl, 9, 13, lemz(true)), Created(9, 13, 4097));
  EXPECT_EQ(Command(ctl, 10, 13, WmTrans), (Lines{"seq=10 slot=13 success"}));
  EXPECT_EQ(Command(ctl, 11, 12, Destroy, 2), (Lines{"seq=0 slot=12 success", "seq=11 slot=12 success"}));
  EXPECT_EQ(Command(ctl, 12, 13, Destroy, 2), (Lines{"seq=0 slot=13 success", "seq=12 slot=13 success"}));

  // ED-137: the create request's status goes to the radio at once; a
  // position's normal PTT from 10.0.0.9 (SSRC 7) is reported; the
  // controller's squelch with quality index 25 (RSSI) is written.
  EXPECT_EQ(CreateRtp(ctl, 13, 14, [](TERM::RtpParams& rtp) {
              TERM::ED137RadioHeader& h = rtp.mutable_radio().mutable_status().select_ed_137().mutable_header();
              h.set_ptt(TERM::ED137RadioPTT::ptt_off);
              h.set_squ(TERM::ED137RadioSQU::squ_off);
            }),
            Created(13, 14, 4096));
  EXPECT_TRUE(d.logged("/sim/rtp_ext", "1 00 00 00 00\n"));
  inject("/dev/rtp_ext 00 00 00 07 0a 00 00 09 20 00 00 00");
  EXPECT_EQ(Next(ctl, 1), (Lines{"slot=14 signal rtpExt 10.0.0.9"}));
  // PTT type 6, which the controller's records cannot hold, is reported as
  // PTT off: the octets Erlang's asn1 (erlc -bper) gives the message {slot
  // 14, rtpExt {status {ptt-off, squ-off, 0, false, false, false, sqi
  // {rssi, 0}}, request {addr {"10.0.0.9", 7}, tx {ptt-off, squ-off, 0,
  // false, false, false}}}}.
  inject("/dev/rtp_ext 00 00 00 07 0a 00 00 09 c0 00 00 00");
  EXPECT_EQ(RtpExtOctets(ctl), "40 00 0E 8F 40 48 00 00 01 00 08 31 30 2E 30 2E 30 2E 39 00 07 40 00 00 ");
  EXPECT_EQ(Command(ctl, 14, 14, [](LGCP::Command& c) {
              TERM::ED137RadioModifier& m = c.select_ioctl().select_rtpExt().select_ed_137();
              m.mutable_addr().set_session_addr("10.0.0.9");
              m.mutable_addr().set_session_ssrc(7);
              TERM::ED137RadioRxCommand& rx = m.mutable_params().select_rx();
              rx.mutable_header().set_ptt(TERM::ED137RadioPTT::ptt_off);
              rx.mutable_header().set_squ(TERM::ED137RadioSQU::squ_on);
              rx.mutable_sqi().set_bss_method(TERM::ED137RadioBSSMethod::rssi);
              rx.mutable_sqi().set_bss_quality(25);
            }),
            (Lines{"seq=14 slot=14 success"}));
  EXPECT_TRUE(d.logged("/sim/rtp_ext", "1 10 01 11 c8\n"));
  // Nothing more from the positions: after 2000 ms the radio is lost.
  EXPECT_EQ(Next(ctl, 1, true), (Lines{"slot=14 signal abort 151"}));
  EXPECT_EQ(Command(ctl, 15, 14, Destroy, 2), (Lines{"seq=0 slot=14 success", "seq=15 slot=14 success"}));
}

}  // namespace
