// The ED-137 radio slot and its factory against the simulated RTP and
// header-extension drivers, driven by the test controller: the driver
// records a create request makes, codec changes, destruction and the
// squelch gate. Radio traffic through the slot is the end-to-end test's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>

#include "rtp/rtp_ed137_factory.h"
#include "rtp/rtp_ed137_slot.h"
#include "simboard/dsp.h"
#include "simboard/rtp_ext.h"
#include "tests/rtp/rtp_fixture.h"

using testing::ElementsAre;
using SimBoard::Bytes;
using SimBoard::Rtp;
using SimBoard::RtpExt;

namespace control_test {

namespace {

struct RadioSpec {
  int pfactor = 2;  // < 0: absent
  int sigtime = 0, period = 0, multiplier = 0;  // 0: absent
  bool squelchGate = false;
  bool bss = false;
};

void FillRadio(TERM::RtpParams& rtp, const RadioSpec& r) {
  if (r.pfactor >= 0)
    rtp.set_pfactor(r.pfactor);
  TERM::RtpRadioRequest& radio = rtp.mutable_radio();
  TERM::ED137RadioStatus& status = radio.mutable_status().select_ed_137();
  status.mutable_header().set_ptt(TERM::ED137RadioPTT::ptt_off);
  status.mutable_header().set_squ(TERM::ED137RadioSQU::squ_off);
  if (r.sigtime || r.period || r.multiplier || r.squelchGate) {
    TERM::ED137RadioResponse& response = status.mutable_radio_response();
    response.set_type(TERM::ED137RadioType::radio_txrx);
    response.set_txrxmode(TERM::ED137RadioTxRxMode::txrx);
    if (r.sigtime)
      response.set_sigtime(static_cast<unsigned>(r.sigtime));
    if (r.period)
      response.set_r2s_keepalive_period(static_cast<unsigned>(r.period));
    if (r.multiplier)
      response.set_r2s_keepalive_multiplier(static_cast<unsigned>(r.multiplier));
    if (r.squelchGate)
      response.set_transmission_depend_on_squ(true);
  }
  if (r.bss)
    radio.set_bss_enable(true);
  radio.set_tx_delay(40);
}

TERM::ED137RadioModifier RxModifier(bool squelch) {
  TERM::ED137RadioModifier m;
  m.mutable_addr().set_session_addr("10.0.0.5");
  m.mutable_addr().set_session_ssrc(99);
  TERM::ED137RadioRxCommand& rx = m.mutable_params().select_rx();
  rx.mutable_header().set_ptt(TERM::ED137RadioPTT::ptt_off);
  rx.mutable_header().set_squ(squelch ? TERM::ED137RadioSQU::squ_on : TERM::ED137RadioSQU::squ_off);
  return m;
}

}  // namespace

class ED137SlotTest : public RtpTest {
protected:
  LGCP::CreateRtpParams RadioRequest(const RadioSpec& r = RadioSpec()) {
    LGCP::CreateRtpParams p = Request();
    FillRadio(p.mutable_codecRTP(), r);
    return p;
  }
  RtpED137RadioGWSlot* RadioSlot(unsigned n) { return dynamic_cast<RtpED137RadioGWSlot*>(Slots::instance().slot(n)); }
  // The "/dev/rtp" open behind the slot's session.
  uint64_t SessionFile(unsigned n) { return board.find(RadioSlot(n)->session().get())->id(); }
  void RtpExtIoctl(int seq, int slot, const TERM::ED137RadioModifier& m) {
    Ioctl(seq, slot, [&](LGCP::IoctlParams& p) { p.select_rtpExt().select_ed_137() = m; });
  }
  // The next n answers, leaving out the aborts of a radio that has been
  // silent while the loop's clock ran on.
  std::vector<std::string> Answers(size_t n) {
    std::vector<std::string> seen;
    runner.until([&] {
      for (std::string& line : ctl.drain())
        if (line.find("signal abort") == std::string::npos)
          seen.push_back(line);
      return seen.size() >= n;
    }, 100);
    return seen;
  }
  SimBoard::RtpExt& ext = board.rtp_ext();
  RtpED137Factory factoryEd137;  // asked before the plain RTP factory
};

TEST_F(ED137SlotTest, CreateFillsTheDriverRecords) {
  struct Case {
    RadioSpec radio;
    uint32_t k, s;
    unsigned long interval;
  } cases[] = {
      {{}, 10, 1, 1000},
      {{-1}, 10, 1, 1000},        // no packet factor counts as 2
      {{3}, 6, 1, 1000},          // 200 / 30, whole packets
      {{2, 3}, 30, 3, 1000},      // sigtime multiplies
      {{2, 0, 1000, 50}, 50, 1, 25000},
  };
  int n = 2;
  for (const Case& c : cases) {
    ASSERT_EQ(Created(n, RadioRequest(c.radio)).size(), 3u) << n;
    RtpED137RadioGWSlot* slot = RadioSlot(static_cast<unsigned>(n));
    ASSERT_NE(slot, nullptr);
    SimBoard::RtpExtSession& s = *ext.latest();
    EXPECT_EQ(ext.requests(RtpExt::Init).back().in,
              (SimBoard::RecordBuilder().u16(0x0167).u16(0).u32(1).u32(123).u32(c.k).u32(c.s).bytes()))
        << n;
    // Attached to the session the slot holds, tagged -1.
    EXPECT_TRUE(s.attached());
    EXPECT_EQ(s.attached_fd(), slot->session().get());
    EXPECT_EQ(s.attached_file(), SessionFile(static_cast<unsigned>(n)));
    EXPECT_EQ(s.attached_pid(), -1);
    EXPECT_EQ(slot->control()->interval(), c.interval);
    EXPECT_TRUE(slot->control()->timer_enabled());
    ++n;
  }
  // The create request's status went to the radio at once.
  EXPECT_THAT(ext.latest()->sent(), ElementsAre(Bytes{0, 0, 0, 0}));
  // The tx-delay of the request; BSS in the channel record and on the DSP.
  const unsigned ts = static_cast<unsigned>(RadioSlot(2)->channel());
  EXPECT_THAT(logs.log(), testing::HasSubstr("DSPROC_CONFIGURE DELAYS ts=" + std::to_string(ts) +
                                             " rx=0 tx=40 selcal=0"));
  EXPECT_EQ(board.dsp().features(ts) & SimBoard::Dsp::Bss, 0u);
  RadioSpec bss;
  bss.bss = true;
  ASSERT_EQ(Created(n, RadioRequest(bss)).size(), 3u);
  EXPECT_EQ(driver.last().channel_record().flags, 1u);
  EXPECT_NE(board.dsp().features(static_cast<unsigned>(RadioSlot(static_cast<unsigned>(n))->channel())) &
                SimBoard::Dsp::Bss,
            0u);

  // A LEMZ radio part is not this factory's (nor the plain RTP one's).
  LGCP::CreateRtpParams lemz = Request();
  lemz.mutable_codecRTP().mutable_radio().mutable_status().select_lemz();
  CreateRtp(20, 20, lemz);
  EXPECT_THAT(replies(1), ElementsAre("seq=20 slot=20 error insufficientResources"));
}

TEST_F(ED137SlotTest, CodecChangeMovesTheExtensionToTheNewSession) {
  // A free descriptor number below the session's: the restarted session takes it.
  Fd low(DevIo::open("/dev/hal", O_RDWR));
  ASSERT_EQ(Created(2, RadioRequest()).size(), 3u);
  SimBoard::RtpExtSession& first = *ext.latest();
  const int before = RadioSlot(2)->session().get();
  low.close();
  Ioctl(3, 2, [](LGCP::IoctlParams& p) { p.select_encoder_mode() = LGCP::CodecMode::alaw; });
  EXPECT_THAT(Answers(1), ElementsAre("seq=3 slot=2 success"));
  EXPECT_EQ(first.detaches(), 1u);
  EXPECT_FALSE(first.open());
  SimBoard::RtpExtSession& second = *ext.latest();
  ASSERT_NE(&second, &first);
  EXPECT_NE(RadioSlot(2)->session().get(), before);
  EXPECT_TRUE(second.attached());
  EXPECT_EQ(second.attached_fd(), RadioSlot(2)->session().get());
  EXPECT_EQ(second.attached_file(), SessionFile(2));
  EXPECT_EQ(driver.last().params().tx_pt, 8);

  // The RTP part fails: the extension stays stopped.
  driver.fail(Rtp::AddChannel, EIO, 1);
  Ioctl(4, 2, [](LGCP::IoctlParams& p) { p.select_decoder_mode() = LGCP::CodecMode::alaw; });
  EXPECT_THAT(Answers(1), ElementsAre("seq=4 slot=2 error unsupported"));
  EXPECT_FALSE(second.open());
  EXPECT_EQ(ext.latest(), &second);
  // The extension's own restart fails: unsupported with the new codec in place.
  Ioctl(5, 2, [](LGCP::IoctlParams& p) { p.select_decoder_mode() = LGCP::CodecMode::ulaw; });
  EXPECT_THAT(Answers(1), ElementsAre("seq=5 slot=2 success"));
  ext.fail(RtpExt::Attach, EIO, 1);
  Ioctl(6, 2, [](LGCP::IoctlParams& p) { p.select_encoder_mode() = LGCP::CodecMode::ulaw; });
  EXPECT_THAT(Answers(1), ElementsAre("seq=6 slot=2 error unsupported"));
  EXPECT_EQ(driver.last().params().tx_pt, 0);
  EXPECT_FALSE(RadioSlot(2)->control()->ext_fd());

  // Destruction stops the extension session before the RTP session goes.
  ASSERT_TRUE(RadioSlot(2)->control()->RtpExtStart(false));
  SimBoard::RtpExtSession& last = *ext.latest();
  SimBoard::RtpSession& rtp = driver.last();
  Destroy(7, 2);
  EXPECT_THAT(Answers(2), ElementsAre("seq=0 slot=2 success", "seq=7 slot=2 success"));
  EXPECT_EQ(last.detaches(), 1u);
  EXPECT_FALSE(last.open());
  EXPECT_FALSE(rtp.open());
}

TEST_F(ED137SlotTest, InputFollowsTheRadiosSquelch) {
  RadioSpec gated;
  gated.squelchGate = true;
  create(1, 1, 40, 41);
  ASSERT_EQ(replies(1).size(), 1u);
  ASSERT_EQ(Created(2, RadioRequest(gated)).size(), 3u);
  EXPECT_TRUE(RadioSlot(2)->input_follows_squelch());
  SimBoard::RtpSession& rtp = driver.last();
  connect(3, 1, 2);  // a source: the framework's request leaves the input off
  Answers(2);
  EXPECT_FALSE(rtp.input());

  struct Step {
    std::function<void()> ioctl;
    bool input;
  } steps[] = {
      {[&] { RtpExtIoctl(4, 2, RxModifier(true)); }, true},
      {[&] { Ioctl(4, 2, [](LGCP::IoctlParams& p) { p.select_vad_enable() = true; }); }, true},
      {[&] { RtpExtIoctl(4, 2, RxModifier(false)); }, false},
      {[&] { Ioctl(4, 2, [](LGCP::IoctlParams& p) { p.select_vad_disable(); }); }, false},
  };
  for (const Step& step : steps) {
    step.ioctl();
    EXPECT_THAT(Answers(1), ElementsAre("seq=4 slot=2 success"));
    EXPECT_EQ(rtp.input(), step.input);
  }
  EXPECT_EQ(rtp.requests(), (std::vector<unsigned long>{Rtp::BeginSession, Rtp::AddChannel, Rtp::InputOn,
                                                         Rtp::InputOff}));
}

}  // namespace control_test
