// The ED-137 and LEMZ radio slots and their factories against the
// simulated RTP and header-extension drivers, driven by the test
// controller: the driver records a create request makes in each mode, what
// the radio part sets, codec changes, destruction and controller loss, and
// the squelch gate.
// Radio traffic through the slots is the end-to-end test's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

#include "rtp/rtp_ed137_factory.h"
#include "rtp/rtp_ed137_slot.h"
#include "rtp/rtp_ext_slot.h"
#include "rtp/rtp_lemz_factory.h"
#include "simboard/dsp.h"
#include "simboard/hal.h"
#include "simboard/rtp_ext.h"
#include "tests/rtp/rtp_fixture.h"

using testing::ElementsAre;
using SimBoard::Rtp;
using SimBoard::RtpExt;
using Response = std::function<void(TERM::ED137RadioResponse&)>;

namespace control_test {

enum class Mode { None, NoMode, Both, OnlyRtp };

class RadioSlotTest : public RtpTest {
protected:
  // An ED-137 session; with a radio response when `response` is given.
  LGCP::CreateRtpParams Ed137Request(int pfactor = 2, const Response& response = nullptr) {
    LGCP::CreateRtpParams p = Request();
    if (pfactor >= 0)
      p.mutable_codecRTP().set_pfactor(pfactor);
    TERM::ED137RadioStatus& status = p.mutable_codecRTP().mutable_radio().mutable_status().select_ed_137();
    status.mutable_header().set_ptt(TERM::ED137RadioPTT::ptt_off);
    if (response) {
      status.mutable_radio_response().set_type(TERM::ED137RadioType::radio_txrx);
      status.mutable_radio_response().set_txrxmode(TERM::ED137RadioTxRxMode::txrx);
      response(status.mutable_radio_response());
    }
    return p;
  }
  LGCP::CreateRtpParams LemzRequest(Mode mode = Mode::None) {
    LGCP::CreateRtpParams p = Request();
    TERM::RtpParams& rtp = p.mutable_codecRTP();
    rtp.mutable_radio().mutable_status().select_lemz().mutable_flags().set_prio(3);
    if (mode != Mode::None)
      rtp.mutable_rtp_e2m().set_slot(1);
    if (mode == Mode::Both)
      rtp.mutable_rtp_e2m().mutable_mode().select_both_rtp_and_rtp_ext();
    if (mode == Mode::OnlyRtp) {
      TERM::RtpExtDescription& d = rtp.mutable_rtp_e2m().mutable_mode().select_only_rtp();
      d.set_fd(7);
      d.set_pid(1234);
    }
    return p;
  }
  RtpExtSlot* RadioSlot(unsigned n) { return dynamic_cast<RtpExtSlot*>(Slots::instance().slot(n)); }
  // The "/dev/rtp" open behind the slot's session.
  uint64_t SessionFile(unsigned n) { return board.find(RadioSlot(n)->session().get())->id(); }
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
  std::vector<std::string> Codec(int seq, bool encoder, LGCP::CodecMode::NamedNumber mode) {
    Ioctl(seq, 2, [=](LGCP::IoctlParams& p) { (encoder ? p.select_encoder_mode() : p.select_decoder_mode()) = mode; });
    return Answers(1);
  }

  SimBoard::RtpExt& ext = board.rtp_ext();
  RtpLEMZFactory factoryLemz;  // both asked before the plain RTP factory
  RtpED137Factory factoryEd137;
};

TEST_F(RadioSlotTest, Ed137SessionRecords) {
  const struct {
    int pfactor;
    Response response;
    uint32_t k, s;
    unsigned long interval;
  } cases[] = {
      {2, nullptr, 10, 1, 1000},
      {-1, nullptr, 10, 1, 1000},  // no packet factor counts as 2
      {3, nullptr, 6, 1, 1000},    // 200 / 30, whole packets
      {2, [](TERM::ED137RadioResponse& r) { r.set_sigtime(3); }, 30, 3, 1000},  // sigtime multiplies
      {2, [](TERM::ED137RadioResponse& r) {
         r.set_r2s_keepalive_period(1000);
         r.set_r2s_keepalive_multiplier(50);
       }, 50, 1, 25000},
  };
  unsigned n = 2;
  for (const auto& c : cases) {
    SCOPED_TRACE(n);
    ASSERT_EQ(Created(static_cast<int>(n), Ed137Request(c.pfactor, c.response)).size(), 3u);
    EXPECT_EQ(ext.requests(RtpExt::Init).back().in,
              (SimBoard::RecordBuilder().u16(0x0167).u16(0).u32(1).u32(123).u32(c.k).u32(c.s).bytes()));
    // Attached to the session the slot holds, tagged -1; the create
    // request's status went to the radio at once.
    const SimBoard::RtpExtSession& s = *ext.latest();
    EXPECT_EQ(std::make_pair(s.attached_fd(), s.attached_pid()), std::make_pair(RadioSlot(n)->session().get(), -1));
    EXPECT_EQ(s.attached_file(), SessionFile(n));
    EXPECT_EQ(RadioSlot(n++)->control()->interval(), c.interval);
    EXPECT_THAT(s.sent(), ElementsAre(SimBoard::Bytes{0, 0, 0, 0}));
  }
}

// The two gateway slots the factory does not build: default parameters and
// no timer; an extension session of their own that is not attached, or the
// slot's session joined to the one the record names.
TEST_F(RadioSlotTest, Ed137GatewaySlotsTheFactoryDoesNotBuild) {
  Fd session(DevIo::open("/dev/rtp", O_RDONLY | O_CLOEXEC));
  rtp_connection_params params;
  ASSERT_EQ(DevIo::ioctl(session.get(), Rtp::BeginSession, &params), 0);
  rtp_ext_init_params init;
  init.etype = 0x0167;
  init.words[2] = 7;
  TERM::RadioStatus squelch;
  squelch.select_ed_137().mutable_header().set_squ(TERM::ED137RadioSQU::squ_on);
  {
    RtpED137RadioGWSlot own(5, session, params, init);
    SimBoard::RtpExtSession& s = *ext.latest();
    EXPECT_EQ(ext.requests(RtpExt::Init).back().in,
              (SimBoard::RecordBuilder().u16(0x0167).u16(0).u32(0).u32(0).u32(7).u32(0).bytes()));
    EXPECT_FALSE(s.attached());
    EXPECT_FALSE(own.control()->timer_enabled());
    EXPECT_EQ(own.control()->notify(), static_cast<RTPSignalling::IRadioControlNotify*>(&own));
    EXPECT_TRUE(own.control()->SendASNToChan(squelch));
    EXPECT_THAT(s.sent(), ElementsAre(SimBoard::Bytes{0x10, 0, 0, 0}));
  }
  EXPECT_EQ(ext.open_count(), 0u);
  const size_t sessions = ext.session_count();
  rtp_attach_session_params other;
  other.fd_rtp = 7;
  other.pid_rtp = 1234;
  RtpED137RadioGWSlot joined(5, session, params, other);
  EXPECT_EQ(ext.session_count(), sessions);
  EXPECT_EQ(driver.requests(Rtp::AttachSession).back().in, SimBoard::words({7, 1234}));
  EXPECT_FALSE(joined.control()->timer_enabled());
  EXPECT_TRUE(joined.control()->SendASNToChan(squelch));
  EXPECT_TRUE(joined.control()->GetSQU());
}

TEST_F(RadioSlotTest, LemzSessionOfEachMode) {
  unsigned n = 2;
  for (Mode mode : {Mode::None, Mode::NoMode, Mode::Both}) {
    ASSERT_EQ(Created(static_cast<int>(n), LemzRequest(mode)).size(), 3u);
    const SimBoard::RtpExtSession& s = *ext.latest();
    EXPECT_EQ(ext.requests(RtpExt::Init).back().in,
              (SimBoard::RecordBuilder().u16(0x1337).u16(0).u32(0).u32(0).u32(0).u32(0).bytes()));
    EXPECT_EQ(std::make_pair(s.attached_file(), s.attached_pid()), std::make_pair(SessionFile(n), int32_t(getpid())));
    EXPECT_EQ(RadioSlot(n)->control()->role_flag(), 0u);  // the gateway side
    EXPECT_TRUE(RadioSlot(n++)->control()->timer_enabled());
  }
  // only-rtp: no extension session of its own; the slot's session joins
  // the one named, and no status timer runs.
  const size_t sessions = ext.session_count();
  ASSERT_EQ(Created(static_cast<int>(n), LemzRequest(Mode::OnlyRtp)).size(), 3u);
  EXPECT_EQ(ext.session_count(), sessions);
  EXPECT_FALSE(RadioSlot(n)->control()->timer_enabled());
  EXPECT_THAT(driver.last().requests(), ElementsAre(Rtp::BeginSession, Rtp::AddChannel, Rtp::AttachSession));
  EXPECT_EQ(driver.requests(Rtp::AttachSession).back().in, SimBoard::words({7, 1234}));
  EXPECT_EQ(RadioSlot(n)->control()->role_flag(), 0u);
  // Without a radio part the plain RTP factory takes the request.
  ASSERT_EQ(Created(static_cast<int>(++n), Request()).size(), 3u);
  EXPECT_EQ(RadioSlot(n), nullptr);
}

// The LEMZ radio part's delays (an absent one 0), BSS, noise gate and
// SELCAL shaping, each as the request gives it.
TEST_F(RadioSlotTest, LemzRadioPartSettings) {
  const struct {
    std::function<void(TERM::RtpRadioRequest&)> fill;
    const char* delays;  // null: no delay request
    uint32_t features;   // of BSS, noise gate and SELCAL shaping
    uint32_t flags;      // the add-channel record's last word
  } cases[] = {
      {[](TERM::RtpRadioRequest& r) {
         r.set_rx_delay(5);
         r.set_selcal_delay(7);
         r.set_bss_enable(true);
       },
       "rx=5 tx=0 selcal=7", SimBoard::Dsp::Bss, 1},
      {[](TERM::RtpRadioRequest& r) {
         r.set_bss_enable(false);
         r.set_ng_enable(true);
         r.set_selcal_sh_enable(true);
       },
       nullptr, SimBoard::Dsp::Ng | SimBoard::Dsp::SelcalSh, 0},
      {[](TERM::RtpRadioRequest& r) {
         r.set_ng_enable(false);
         r.set_selcal_sh_enable(false);
       },
       nullptr, 0, 0},
  };
  unsigned n = 2;
  for (const auto& c : cases) {
    SCOPED_TRACE(n);
    LGCP::CreateRtpParams p = LemzRequest();
    c.fill(p.mutable_codecRTP().mutable_radio());
    logs.clear();
    ASSERT_EQ(Created(static_cast<int>(n), p).size(), 3u);
    const unsigned ts = static_cast<unsigned>(RadioSlot(n++)->channel());
    const std::string line = "DSPROC_CONFIGURE DELAYS ts=" + std::to_string(ts) + " ";
    EXPECT_EQ(logs.log().find(c.delays ? line + c.delays : "DSPROC_CONFIGURE DELAYS") != std::string::npos,
              c.delays != nullptr);
    const uint32_t radio = SimBoard::Dsp::Bss | SimBoard::Dsp::Ng | SimBoard::Dsp::SelcalSh;
    EXPECT_EQ(board.dsp().features(ts) & radio, c.features);
    EXPECT_EQ(driver.last().channel_record().flags, c.flags);
  }
}

// What the radio part sets (the set-up both kinds share).
TEST_F(RadioSlotTest, TheRadioPartSetsTheChannelAndTheDsp) {
  for (bool set : {false, true}) {
    LGCP::CreateRtpParams p = LemzRequest();
    TERM::RtpRadioRequest& radio = p.mutable_codecRTP().mutable_radio();
    if (set) {
      radio.set_tx_delay(40);
      radio.set_bss_enable(true);
    }
    logs.clear();
    ASSERT_EQ(Created(2 + set, p).size(), 3u);
    const unsigned ts = static_cast<unsigned>(RadioSlot(2 + set)->channel());
    // An absent delay is 0; none present, no delay request.
    EXPECT_EQ(logs.log().find("DSPROC_CONFIGURE DELAYS ts=" + std::to_string(ts) + " rx=0 tx=40 selcal=0") !=
                  std::string::npos, set);
    EXPECT_EQ(logs.log().find("DSPROC_CONFIGURE DELAYS") != std::string::npos, set);
    EXPECT_EQ(driver.last().channel_record().flags, set ? 1u : 0u);
    EXPECT_EQ((board.dsp().features(ts) & SimBoard::Dsp::Bss) != 0, set);
    // The RTCP socket takes no SO_REUSEADDR: a socket that asks for it
    // cannot share the port.
    Fd other(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    int on = 1;
    setsockopt(other.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(p.get_codecRTP().get_shost().get_port().getValue() + 1));
    EXPECT_NE(::bind(other.get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  }
}

// After a codec change the control joins the slot's new session, not the
// old one the factory named; destruction stops the extension first.
TEST_F(RadioSlotTest, CodecChangeFollowsTheNewSession) {
  const struct {
    const char* name;
    LGCP::CreateRtpParams request;
    bool own;                // an extension session of its own
    SimBoard::Bytes packet;  // a PTT from a position or workstation
  } cases[] = {{"ED-137", Ed137Request(), true, {0x20, 0, 0, 0}},
               {"LEMZ", LemzRequest(), true, {0x03, 0x54, 0, 0}},
               {"LEMZ attached", LemzRequest(Mode::OnlyRtp), false, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fd low(DevIo::open("/dev/hal", O_RDWR));  // freed below: the new session takes the lower number
    ASSERT_EQ(Created(2, c.request).size(), 3u);
    SimBoard::RtpExtSession* before = ext.latest();
    const int old = RadioSlot(2)->session().get();
    low.close();
    EXPECT_THAT(Codec(3, true, LGCP::CodecMode::alaw), ElementsAre("seq=3 slot=2 success"));
    EXPECT_NE(RadioSlot(2)->session().get(), old);
    SimBoard::RtpSession& rtp = driver.last();
    EXPECT_EQ(rtp.params().tx_pt, 8);
    if (c.own) {
      EXPECT_EQ(std::make_pair(before->detaches(), before->open()), std::make_pair(1u, false));
      ASSERT_NE(ext.latest(), before);
      EXPECT_EQ(ext.latest()->attached_fd(), RadioSlot(2)->session().get());
      EXPECT_EQ(ext.latest()->attached_file(), SessionFile(2));
      // The new session is read: what arrives there reaches the controller.
      ASSERT_TRUE(ext.latest()->inject(1, ntohl(inet_addr("10.0.0.9")), c.packet));
      EXPECT_THAT(Answers(1), ElementsAre("slot=2 signal rtpExt"));
    } else {
      EXPECT_THAT(rtp.requests(), ElementsAre(Rtp::BeginSession, Rtp::AddChannel, Rtp::AttachSession));
    }
    SimBoard::RtpExtSession* last = ext.latest();
    Destroy(4, 2);
    EXPECT_THAT(Answers(2), ElementsAre("seq=0 slot=2 success", "seq=4 slot=2 success"));
    EXPECT_FALSE(rtp.open());
    if (c.own) {
      EXPECT_EQ(std::make_pair(last->detaches(), last->open()), std::make_pair(1u, false));
    }
  }
}

// Every kind of RTP slot goes the same way whether the controller destroys
// it or is lost: the extension session detached first, then the RTP
// session's release sequence, the switch output disabled, every session
// closed and the goodbye sent.
TEST_F(RadioSlotTest, EveryKindIsReleasedOnDestroyAndOnControllerLoss) {
  struct Kind {
    const char* name;
    std::function<LGCP::CreateRtpParams()> request;
    bool own;  // an extension session of its own
  };
  const Kind kinds[] = {{"RTP", [&] { return Request(); }, false},
                        {"ED-137", [&] { return Ed137Request(); }, true},
                        {"LEMZ", [&] { return LemzRequest(); }, true},
                        {"LEMZ attached", [&] { return LemzRequest(Mode::OnlyRtp); }, false}};
  struct Sessions {
    SimBoard::RtpSession* rtp;
    SimBoard::RtpExtSession* ext;
  };
  std::vector<Sessions> made;
  std::vector<std::string> releases;
  // Slots 2 to 5, one of each kind, and the requests their release must make.
  auto createAll = [&] {
    made.clear();
    releases.clear();
    int n = 2;
    for (const Kind& k : kinds) {
      ASSERT_EQ(Created(n++, k.request()).size(), 3u) << k.name;
      made.push_back({&driver.last(), k.own ? ext.latest() : nullptr});
      if (k.own)
        releases.push_back("detach");
      releases.insert(releases.end(), {"release 1", "release 2", "release 3", "reset events"});
      releases.push_back("disable " + std::to_string(driver.last().channel()));
    }
    rtcp.received();  // the source descriptions
    board.log().clear();
  };
  // The release requests made since, in order (of the switch, those of the
  // slots' channels: it keeps disabling its bus outputs on its own).
  auto released = [&] {
    const struct {
      const char* device;
      unsigned long number;
      const char* name;
    } named[] = {{"/dev/rtp_ext", RtpExt::Detach, "detach"}, {"/dev/rtp", Rtp::Release1, "release 1"},
                 {"/dev/rtp", Rtp::Release2, "release 2"},   {"/dev/rtp", Rtp::Release3, "release 3"},
                 {"/dev/rtp", Rtp::ResetEvents, "reset events"}, {"/dev/hal", SimBoard::Hal::Disable, "disable "}};
    auto ours = [&](uint32_t channel) {
      return std::any_of(made.begin(), made.end(), [&](const Sessions& c) { return uint32_t(c.rtp->channel()) == channel; });
    };
    std::vector<std::string> seen;
    for (const SimBoard::LoggedRequest& r : board.log().entries())
      for (const auto& n : named) {
        if (r.device != n.device || r.number != n.number)
          continue;
        if (r.number != SimBoard::Hal::Disable)
          seen.push_back(n.name);
        else if (ours(r.word(0)))
          seen.push_back(n.name + std::to_string(r.word(0)));
      }
    return seen;
  };
  // Every session closed and one goodbye for each, in the order of the slots.
  auto closed = [&] {
    std::vector<uint32_t> ssrcs, byes;
    for (const Sessions& c : made) {
      EXPECT_FALSE(c.rtp->open());
      if (c.ext) {
        EXPECT_FALSE(c.ext->open());
      }
      ssrcs.push_back(c.rtp->params().ssrc);
    }
    for (const std::string& packet : rtcp.received())
      if (packet.size() >= 8 && uint8_t(packet[1]) == 203)
        byes.push_back(SimBoard::be32(reinterpret_cast<const uint8_t*>(packet.data()) + 4));
    EXPECT_EQ(byes, ssrcs);
  };

  {
    SCOPED_TRACE("destroyed");
    createAll();
    for (int n = 2; n <= 5; ++n) {
      Destroy(10 + n, n);
      EXPECT_THAT(Answers(2), ElementsAre("seq=0 slot=" + std::to_string(n) + " success",
                                          "seq=" + std::to_string(10 + n) + " slot=" + std::to_string(n) + " success"));
    }
    EXPECT_EQ(released(), releases);
    closed();
  }
  {
    SCOPED_TRACE("controller lost");
    createAll();
    ctl.close();
    ASSERT_TRUE(runner.until([&] { return probe.disconnects == 1; }, 100));
    EXPECT_TRUE(Slots::instance().slots().empty());
    EXPECT_EQ(released(), releases);
    closed();
  }
}

// While a position transmits, only the far end's packets are taken; the
// session a codec change starts keeps that limit.
TEST_F(RadioSlotTest, TheSourceLimitOutlivesACodecChange) {
  const size_t filters = ext.requests(RtpExt::Filter).size();  // of the tests before
  ASSERT_EQ(Created(2, Ed137Request()).size(), 3u);
  Ioctl(3, 2, [](LGCP::IoctlParams& p) {
    TERM::ED137RadioModifier& m = p.select_rtpExt().select_ed_137();
    m.mutable_addr().set_session_addr("10.0.0.9");
    m.mutable_params().select_tx().mutable_header().set_ptt(TERM::ED137RadioPTT::normal_ptt_on);
  });
  EXPECT_THAT(Answers(1), ElementsAre("seq=3 slot=2 success"));
  const uint32_t farEnd = ntohl(inet_addr("10.0.0.9")), position = ntohl(inet_addr("10.0.0.7"));
  const SimBoard::Bytes ptt = {0x20, 0x00, 0x00, 0x00};
  EXPECT_FALSE(ext.latest()->inject(1, position, ptt));
  SimBoard::RtpExtSession* before = ext.latest();
  EXPECT_THAT(Codec(4, true, LGCP::CodecMode::ulaw), ElementsAre("seq=4 slot=2 success"));
  ASSERT_NE(ext.latest(), before);
  EXPECT_FALSE(ext.latest()->inject(1, position, ptt));
  EXPECT_TRUE(ext.latest()->inject(1, farEnd, ptt));
  EXPECT_EQ(ext.requests(RtpExt::Filter).size(), filters + 2);
}

TEST_F(RadioSlotTest, CodecChangeFailures) {
  ASSERT_EQ(Created(2, Ed137Request()).size(), 3u);
  SimBoard::RtpExtSession& first = *ext.latest();
  // The RTP part fails: the extension stays stopped.
  driver.fail(Rtp::AddChannel, EIO, 1);
  EXPECT_THAT(Codec(3, false, LGCP::CodecMode::alaw), ElementsAre("seq=3 slot=2 error unsupported"));
  EXPECT_FALSE(first.open());
  EXPECT_EQ(ext.latest(), &first);
  // The extension's own restart fails: unsupported with the new codec in place.
  EXPECT_THAT(Codec(4, false, LGCP::CodecMode::ulaw), ElementsAre("seq=4 slot=2 success"));
  ext.fail(RtpExt::Attach, EIO, 1);
  EXPECT_THAT(Codec(5, true, LGCP::CodecMode::ulaw), ElementsAre("seq=5 slot=2 error unsupported"));
  EXPECT_EQ(driver.last().params().tx_pt, 0);
  EXPECT_EQ(ext.open_count(), 0u);
}

TEST_F(RadioSlotTest, InputFollowsTheRadiosSquelch) {
  create(1, 1, 40, 41);
  ASSERT_EQ(replies(1).size(), 1u);
  ASSERT_EQ(Created(2, Ed137Request(2, [](TERM::ED137RadioResponse& r) { r.set_transmission_depend_on_squ(true); }))
                .size(),
            3u);
  SimBoard::RtpSession& rtp = driver.last();
  connect(3, 1, 2);  // a source: the framework's request leaves the input off
  Answers(2);
  EXPECT_FALSE(rtp.input());
  // After every ioctl the input follows the squelch the controller set last.
  for (int squelch : {1, -1, 0, -1}) {
    Ioctl(4, 2, [&](LGCP::IoctlParams& p) {
      if (squelch < 0) {
        p.select_vad_enable() = true;
        return;
      }
      TERM::ED137RadioModifier& m = p.select_rtpExt().select_ed_137();
      m.mutable_addr().set_session_addr("10.0.0.5");
      m.mutable_params().select_rx().mutable_header().mutable_squ().setValue(squelch);
    });
    EXPECT_THAT(Answers(1), ElementsAre("seq=4 slot=2 success"));
  }
  EXPECT_EQ(rtp.requests(), (std::vector<unsigned long>{Rtp::BeginSession, Rtp::AddChannel, Rtp::InputOn,
                                                         Rtp::InputOff}));
}

}  // namespace control_test
