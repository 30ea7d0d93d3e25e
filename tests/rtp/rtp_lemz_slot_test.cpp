// The LEMZ radio slot and its factory against the simulated RTP and
// header-extension drivers, driven by the test controller: the session of
// each mode, what the radio part sets, radio traffic both ways, codec
// changes and destruction.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <unistd.h>

#include "rtp/lemz_radio_control.h"
#include "rtp/rtp_lemz_factory.h"
#include "rtp/rtp_lemz_slot.h"
#include "simboard/dsp.h"
#include "simboard/rtp_ext.h"
#include "tests/rtp/rtp_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
using RTPSignalling::RadioControl;
using SimBoard::Bytes;
using SimBoard::Rtp;

namespace control_test {

namespace {

enum class Mode { None, NoMode, Both, OnlyRtp };

void FillRadio(TERM::RtpParams& rtp, Mode mode) {
  TERM::RtpRadioRequest& radio = rtp.mutable_radio();
  radio.mutable_status().select_lemz().mutable_flags().set_prio(3);
  if (mode == Mode::None)
    return;
  TERM::RtpE2M& e2m = rtp.mutable_rtp_e2m();
  e2m.set_slot(1);
  e2m.set_channel(2);
  if (mode == Mode::Both)
    e2m.mutable_mode().select_both_rtp_and_rtp_ext();
  if (mode == Mode::OnlyRtp) {
    TERM::RtpExtDescription& d = e2m.mutable_mode().select_only_rtp();
    d.set_fd(7);
    d.set_pid(1234);
  }
}

}  // namespace

class LemzSlotTest : public RtpTest {
protected:
  LGCP::CreateRtpParams RadioRequest(Mode mode = Mode::None) {
    LGCP::CreateRtpParams p = Request();
    FillRadio(p.mutable_codecRTP(), mode);
    return p;
  }
  RtpLEMZRadioGWSlot* RadioSlot(unsigned n) { return dynamic_cast<RtpLEMZRadioGWSlot*>(Slots::instance().slot(n)); }
  uint64_t SessionFile(unsigned n) { return board.find(RadioSlot(n)->session().get())->id(); }
  void RtpExtIoctl(int seq, int slot, const std::function<void(TERM::LemzRadioModifier&)>& fill) {
    Ioctl(seq, slot, [&](LGCP::IoctlParams& p) {
      TERM::LemzRadioModifier& m = p.select_rtpExt().select_lemz();
      m.mutable_addr().set_session_addr("10.0.0.1");
      fill(m);
    });
  }
  // The rtpExt signals since the last call: the reported alternative and source.
  std::vector<std::string> Reports() {
    runner.turn(3);
    ctl.drain();
    std::vector<std::string> seen;
    for (const LGCP::Signal& s : probe.received)
      if (s.is_rtpExt()) {
        const TERM::LemzRadioModifier& m = s.get_rtpExt().get_request().get_lemz();
        seen.push_back(std::to_string(m.get_params().currentSelection()) + " " +
                       m.get_addr().get_session_addr().getValue());
      }
    probe.received.clear();
    return seen;
  }

  SimBoard::RtpExt& ext = board.rtp_ext();
  RtpLEMZFactory factoryLemz;  // asked before the plain RTP factory
};

TEST_F(LemzSlotTest, EachModeGetsItsSession) {
  int n = 2;
  for (Mode mode : {Mode::None, Mode::NoMode, Mode::Both}) {
    SCOPED_TRACE(n);
    ASSERT_EQ(Created(n, RadioRequest(mode)).size(), 3u);
    RtpLEMZRadioGWSlot* slot = RadioSlot(static_cast<unsigned>(n));
    ASSERT_NE(slot, nullptr);
    EXPECT_STREQ(slot->GetName(), "rtp ext LEMZ (GW)");
    SimBoard::RtpExtSession& s = *ext.latest();
    EXPECT_EQ(s.init().etype, 0x1337);
    for (uint32_t w : s.init().words)
      EXPECT_EQ(w, 0u);
    EXPECT_TRUE(s.attached());
    EXPECT_EQ(s.attached_fd(), slot->session().get());
    EXPECT_EQ(s.attached_file(), SessionFile(static_cast<unsigned>(n)));
    EXPECT_EQ(s.attached_pid(), getpid());
    EXPECT_EQ(slot->control()->type(), RadioControl::ExtAttached);
    EXPECT_TRUE(slot->control()->timer_enabled());
    EXPECT_EQ(slot->control()->role_flag(), 0u);
    EXPECT_TRUE(slot->radio_status().is_lemz());
    ++n;
  }

  // only-rtp: no extension session of its own; the slot's session joins
  // the one named, and no status timer runs.
  const size_t sessions = ext.session_count();
  ASSERT_EQ(Created(n, RadioRequest(Mode::OnlyRtp)).size(), 3u);
  RtpLEMZRadioGWSlot* attached = RadioSlot(static_cast<unsigned>(n));
  ASSERT_NE(attached, nullptr);
  EXPECT_EQ(ext.session_count(), sessions);
  EXPECT_EQ(attached->control()->type(), RadioControl::RtpAttached);
  EXPECT_FALSE(attached->control()->timer_enabled());
  EXPECT_THAT(driver.last().requests(), ElementsAre(Rtp::BeginSession, Rtp::AddChannel, Rtp::AttachSession));
  const std::vector<SimBoard::LoggedRequest> attach = driver.requests(Rtp::AttachSession);
  ASSERT_FALSE(attach.empty());
  EXPECT_EQ(attach.back().word(0), 7u);
  EXPECT_EQ(attach.back().word(4), 1234u);

  // An ED-137 radio part is not this factory's; without one the plain RTP
  // factory takes the request.
  LGCP::CreateRtpParams ed137 = Request();
  ed137.mutable_codecRTP().mutable_radio().mutable_status().select_ed_137();
  CreateRtp(20, 20, ed137);
  EXPECT_THAT(replies(1), ElementsAre("seq=20 slot=20 error insufficientResources"));
  ASSERT_EQ(Created(21, Request()).size(), 3u);
  EXPECT_STREQ(Slots::instance().slot(21)->GetName(), "rtp");
}

TEST_F(LemzSlotTest, TheRadioPartSetsTheChannelAndTheDsp) {
  struct Case {
    std::function<void(TERM::RtpRadioRequest&)> fill;
    const char* delays;  // null: no delay request
    uint32_t flags;
    bool bss;
  } cases[] = {
      {[](TERM::RtpRadioRequest&) {}, nullptr, 0, false},
      {[](TERM::RtpRadioRequest& r) { r.set_tx_delay(40); }, "rx=0 tx=40 selcal=0", 0, false},
      {[](TERM::RtpRadioRequest& r) {
         r.set_rx_delay(5);
         r.set_selcal_delay(7);
         r.set_bss_enable(true);
       },
       "rx=5 tx=0 selcal=7", 1, true},
      {[](TERM::RtpRadioRequest& r) { r.set_bss_enable(false); }, nullptr, 0, false},
  };
  unsigned n = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    LGCP::CreateRtpParams p = RadioRequest();
    c.fill(p.mutable_codecRTP().mutable_radio());
    logs.clear();
    ASSERT_EQ(Created(static_cast<int>(n), p).size(), 3u);
    const unsigned ts = static_cast<unsigned>(RadioSlot(n)->channel());
    if (c.delays)
      EXPECT_THAT(logs.log(), HasSubstr("DSPROC_CONFIGURE DELAYS ts=" + std::to_string(ts) + " " + c.delays));
    else
      EXPECT_THAT(logs.log(), Not(HasSubstr("DSPROC_CONFIGURE DELAYS")));
    EXPECT_EQ(driver.last().channel_record().flags, c.flags);
    EXPECT_EQ((board.dsp().features(ts) & SimBoard::Dsp::Bss) != 0, c.bss);
    // The RTCP socket takes no SO_REUSEADDR: a socket that asks for it
    // cannot share the port.
    const uint16_t rtcpPort = static_cast<uint16_t>(p.get_codecRTP().get_shost().get_port().getValue() + 1);
    Fd probeSocket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    int on = 1;
    setsockopt(probeSocket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(rtcpPort);
    EXPECT_NE(::bind(probeSocket.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ++n;
  }
  EXPECT_THAT(logs.log(), HasSubstr("rtp ext LEMZ["));
  EXPECT_THAT(logs.log(), HasSubstr("do create rtp ext LEMZ: "));
}

TEST_F(LemzSlotTest, RadioTrafficBothWaysAndDestruction) {
  ASSERT_EQ(Created(2, RadioRequest()).size(), 3u);
  SimBoard::RtpExtSession& s = *ext.latest();
  // PTT from a workstation becomes an rtpExt signal.
  EXPECT_TRUE(s.inject(7, ntohl(inet_addr("10.0.0.9")), {0x03, 0x54, 0x00, 0x00}));
  EXPECT_THAT(Reports(), ElementsAre("2 10.0.0.9"));

  // The controller's wm-trans goes to the workstations at once; an ED-137
  // modifier is not served.
  RtpExtIoctl(3, 2, [](TERM::LemzRadioModifier& m) {
    TERM::RadioCommandWMTrans& t = m.mutable_params().select_wm_trans();
    t.mutable_flags().set_ptt(true);
    t.set_ip("10.0.0.9");
    t.set_ssrc(7);
  });
  Ioctl(4, 2, [](LGCP::IoctlParams& p) {
    TERM::ED137RadioModifier& m = p.select_rtpExt().select_ed_137();
    m.mutable_addr().set_session_addr("10.0.0.9");
    m.mutable_params().select_tx();
  });
  EXPECT_THAT(replies(2), ElementsAre("seq=3 slot=2 success", "seq=4 slot=2 error unsupported"));
  bool trans = false;
  for (const Bytes& b : s.sent())
    trans |= b == Bytes{0x82, 0x04, 0x00, 0x00, 9, 0, 0, 10, 0, 0, 0, 7};
  EXPECT_TRUE(trans);
  EXPECT_TRUE(s.filtered());

  SimBoard::RtpSession& rtp = driver.last();
  Destroy(5, 2);
  EXPECT_THAT(replies(2), ElementsAre("seq=0 slot=2 success", "seq=5 slot=2 success"));
  EXPECT_EQ(s.detaches(), 1u);
  EXPECT_FALSE(s.open());
  EXPECT_FALSE(rtp.open());
}

// After a codec change the control joins the slot's new session, not the
// old one its records named.
TEST_F(LemzSlotTest, CodecChangeFollowsTheNewSessionInBothModes) {
  for (Mode mode : {Mode::None, Mode::OnlyRtp}) {
    SCOPED_TRACE(mode == Mode::None ? "own" : "attached");
    Fd low(DevIo::open("/dev/hal", O_RDWR));  // freed below: the new session takes the lower number
    ASSERT_EQ(Created(2, RadioRequest(mode)).size(), 3u);
    SimBoard::RtpExtSession* before = ext.latest();
    const int old = RadioSlot(2)->session().get();
    low.close();
    Ioctl(3, 2, [](LGCP::IoctlParams& p) { p.select_encoder_mode() = LGCP::CodecMode::alaw; });
    EXPECT_THAT(replies(1), ElementsAre("seq=3 slot=2 success"));
    EXPECT_NE(RadioSlot(2)->session().get(), old);
    EXPECT_EQ(driver.last().params().tx_pt, 8);
    if (mode == Mode::None) {
      EXPECT_EQ(before->detaches(), 1u);
      SimBoard::RtpExtSession& after = *ext.latest();
      ASSERT_NE(&after, before);
      EXPECT_EQ(after.attached_file(), SessionFile(2));
    } else {
      EXPECT_THAT(driver.last().requests(), ElementsAre(Rtp::BeginSession, Rtp::AddChannel, Rtp::AttachSession));
    }
    Destroy(4, 2);
    EXPECT_EQ(replies(2).size(), 2u);
  }
}

}  // namespace control_test
