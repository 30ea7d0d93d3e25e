// The LEMZ radio control against the simulated "/dev/rtp_ext" on the
// controlled loop clock: read batches, the access rule, controller
// requests and the status schedule.
#include "rtp/lemz_radio_control.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "tests/rtp/radio_fixture.h"
#include "tests/support/log_capture.h"

using RTPSignalling::LemzRadioGWControl;
using RTPSignalling::LemzRadioState;
using RTPSignalling::LemzRadioWSControl;
using SimBoard::Bytes;
using testing_support::LogCapture;
using namespace radio_testing;

namespace {

struct Report {
  int alternative;
  std::string from;
  TERM::RtpRadioRequest request;
};

struct Recorder : RTPSignalling::IRadioControlNotify {
  std::vector<Report> reports;
  void RadioControlNotify(TERM::RtpRadioRequest const& r) override {
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    std::vector<char> out;
    EXPECT_TRUE(env.encode(r, out));
    const TERM::LemzRadioModifier& m = r.get_request().get_lemz();
    reports.push_back({m.get_params().currentSelection(), m.get_addr().get_session_addr().getValue(), r});
  }
  void RadioControlNotify(int code) override { ADD_FAILURE() << "abort " << code; }
};

// Records each status tick: its time, the delay it asked for and the types
// of the packets it wrote.
struct GWControl : LemzRadioGWControl {
  using LemzRadioGWControl::LemzRadioGWControl;
  using LemzRadioGWControl::OnRtpProtoRXEvent;
  struct Tick {
    uint32_t at;
    unsigned long delay;
    std::vector<uint8_t> types;
  };
  SimBoard::RtpExtSession* session = nullptr;
  std::vector<Tick> ticks;

protected:
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override {
    const size_t before = session->sent().size();
    const unsigned long delay = LemzRadioGWControl::ProcessRadioStatus(now, interval);
    Tick t{static_cast<uint32_t>(now), delay, {}};
    for (size_t i = before; i < session->sent().size(); ++i)
      t.types.push_back(session->sent()[i][0]);
    ticks.push_back(t);
    return delay;
  }
};

Bytes packed(const sig_proto& p) {
  Bytes out(1024);
  out.resize(static_cast<size_t>(sig_proto_pack(&p, out.data(), out.size())));
  return out;
}

sig_proto header(uint32_t type, int priority, int ptt) {
  sig_proto p;
  sig_proto_init(&p);
  p.type = type;
  sig_proto_set_base(&p, priority, -1, ptt, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  return p;
}

TERM::RadioModifier modifier(const char* from) {
  TERM::RadioModifier m;
  m.select_lemz().mutable_addr().set_session_addr(from);
  return m;
}

TERM::LemzRadioModifierParams& params(TERM::RadioModifier& m) { return m.select_lemz().mutable_params(); }

class LemzControlTest : public RadioFixture {
protected:
  // The LEMZ slot's set-up in its own-session mode.
  void make(bool timer = true) {
    rtp_ext_init_params init;
    init.etype = 0x1337;
    control.reset(new GWControl(6, attach(4321), init));
    control->session = ext.latest();
    control->SetNotify(&recorder);
    control->SetTrace(false);
    control->SetTimerEnable(timer);
    control->SetRoleFlag(0);
    base = clock.now_ms();
    start = static_cast<uint32_t>(base);
  }
  SimBoard::RtpExtSession& session() { return *ext.latest(); }
  void inject(const char* from, uint32_t ssrc, const sig_proto& p) {
    ASSERT_TRUE(session().inject(ssrc, address(from), packed(p)));
  }
  void read() { loop.until([&] { return session().queued() == 0; }); }
  // One loop turn with the clock at `ms` after the control was made.
  void at(uint32_t ms) {
    clock.set_ms(base + ms);
    loop.turn();
  }
  uint32_t since(const GWControl::Tick& t) const { return t.at - start; }

  Recorder recorder;
  std::unique_ptr<GWControl> control;
  uint64_t base = 0;
  uint32_t start = 0;
};

TEST_F(LemzControlTest, ProcessesTheLastOfARunFromOneSource) {
  make(false);
  EXPECT_EQ(session().init().etype, 0x1337);
  EXPECT_EQ(session().attached_pid(), 4321);
  // Three squelch settings from one workstation: one report, for the last.
  for (uint8_t value : {10, 11, 12}) {
    sig_proto p = header(SIG_PROTO_GW_ADJUST_SQUELSHE, 5, 0);
    sig_proto_set_gw_adjust_squelsh(&p, value);
    inject("10.0.0.5", 7, p);
  }
  session().inject(7, address("10.0.0.5"), {200, 0, 0, 0});  // does not decode: dropped
  read();
  ASSERT_EQ(recorder.reports.size(), 1u);
  EXPECT_EQ(recorder.reports[0].alternative, TERM::LemzRadioModifierParams::alt_gw_set_squelshe);
  EXPECT_EQ(recorder.reports[0].request.get_request().get_lemz().get_params().get_gw_set_squelshe()
                .get_squelshe().getValue(),
            12);
  EXPECT_EQ(control->chan_state().squelshe, 12);
  EXPECT_EQ(control->chan_state().session_addr, inet_addr("10.0.0.5"));
  EXPECT_EQ(control->chan_state().session_ssrc, 7u);

  // Interleaved sources, and another SSRC from the same address: each its own.
  recorder.reports.clear();
  inject("10.0.0.5", 7, header(SIG_PROTO_GW_FLAG_PTT, 5, 1));
  inject("10.0.0.6", 8, header(SIG_PROTO_GW_FLAG_PTT, 5, 1));
  inject("10.0.0.5", 7, header(SIG_PROTO_GW_FLAG_PTT, 5, 0));
  inject("10.0.0.5", 9, header(SIG_PROTO_GW_FLAG_PTT, 5, 0));
  inject("10.0.0.5", 9, header(SIG_PROTO_GW_FLAG_BSS, 5, 0));  // another type
  read();
  std::vector<std::string> from;
  for (const Report& r : recorder.reports)
    from.push_back(r.from + "/" + std::to_string(r.alternative));
  EXPECT_EQ(from, (std::vector<std::string>{"10.0.0.5/2", "10.0.0.6/2", "10.0.0.5/2", "10.0.0.5/2", "10.0.0.5/3"}));
  // The controller has not set PTT: nothing filters the session.
  EXPECT_FALSE(session().filtered());
}

TEST_F(LemzControlTest, AccessWhileTheRadioTransmits) {
  make(false);
  const uint32_t local = control->local_addr().sockaddr().sin_addr.s_addr;
  struct Case {
    int radioPriority;
    const char* session;  // transmitting; null: this gateway's own address
    uint32_t type;
    int priority, ptt;
    const char* from;
    bool accepted;
  } cases[] = {
      {5, "10.0.0.5", SIG_PROTO_GW_FLAG_PTT, 3, 1, "10.0.0.9", true},    // pre-empts
      {3, "10.0.0.5", SIG_PROTO_GW_FLAG_PTT, 3, 1, "10.0.0.9", false},   // same priority
      {2, "10.0.0.5", SIG_PROTO_GW_FLAG_PTT, 3, 1, "10.0.0.9", false},   // lower priority
      {5, "10.0.0.5", SIG_PROTO_GW_FLAG_PTT, 3, 0, "10.0.0.9", false},   // releases nothing it holds
      {5, "10.0.0.5", SIG_PROTO_GW_FLAG_BSS, 3, 1, "10.0.0.9", false},   // not a PTT command
      {5, "10.0.0.5", SIG_PROTO_GW_SEL_CALL, 3, 1, "10.0.0.9", true},
      {5, "10.0.0.5", SIG_PROTO_GW_FLAG_BSS, 9, 0, "10.0.0.5", true},    // the transmitting workstation
      {5, nullptr, SIG_PROTO_GW_FLAG_BSS, 9, 0, "10.0.0.9", true},       // the gateway's own session
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.radioPriority << " " << c.type << " " << c.priority << " " << c.from);
    make(false);
    TERM::RadioModifier trans = modifier("10.0.0.1");
    TERM::RadioCommandWMTrans& t = params(trans).select_wm_trans();
    t.mutable_flags().set_prio(c.radioPriority);
    t.mutable_flags().set_ptt(true);
    in_addr own;
    own.s_addr = local;
    t.set_ip(c.session ? c.session : inet_ntoa(own));
    ASSERT_TRUE(control->SendASNToChan(trans));
    recorder.reports.clear();
    sig_proto p = header(c.type, c.priority, c.ptt);
    p.source_addr = inet_addr(c.from);
    control->OnRtpProtoRXEvent(p);
    EXPECT_EQ(recorder.reports.size(), c.accepted ? 1u : 0u);
    EXPECT_EQ(control->chan_state().command, c.accepted ? static_cast<int>(c.type) : 0);
  }
}

TEST_F(LemzControlTest, ControllerRequests) {
  make(false);
  // wm-trans with PTT on: one WM_TRANS at once, and only that session heard.
  TERM::RadioModifier trans = modifier("10.0.0.1");
  TERM::RadioCommandWMTrans& t = params(trans).select_wm_trans();
  t.mutable_flags().set_prio(4);
  t.mutable_flags().set_ptt(true);
  t.set_ip("10.0.0.5");
  t.set_ssrc(0x01020304);
  ASSERT_TRUE(control->SendASNToChan(trans));
  ASSERT_EQ(session().sent().size(), 1u);
  EXPECT_EQ(session().sent()[0], (Bytes{0x82, 0x44, 0x00, 0x00, 5, 0, 0, 10, 1, 2, 3, 4}));
  EXPECT_TRUE(session().filtered());
  EXPECT_EQ(session().filter_address(), address("10.0.0.5"));
  EXPECT_FALSE(session().inject(1, address("10.0.0.6"), {1, 0, 0, 0}));
  EXPECT_FALSE(control->GetSQU());

  // wm-selcall sends its caller ID once; the radio state keeps none.
  TERM::RadioModifier selcall = modifier("10.0.0.1");
  TERM::RadioCommandWMSelCall& s = params(selcall).select_wm_selcall();
  s.mutable_flags().set_ptt(true);
  s.mutable_flags().set_sql(true);
  s.set_ip("10.0.0.5");
  s.set_cid("42");
  ASSERT_TRUE(control->SendASNToChan(selcall));
  ASSERT_EQ(session().sent().size(), 2u);
  EXPECT_EQ(session().sent()[1], (Bytes{0x85, 0x05, 0x00, 0x00, 5, 0, 0, 10, 0, 0, 0, 0, 2, '4', '2', 0}));
  EXPECT_STREQ(control->radio_state().caller_id, "");
  EXPECT_TRUE(control->GetSQU());

  // gw-set-freq is not for the workstations: nothing sent, the radio's
  // frequency kept, only the command taken.
  TERM::RadioModifier freq = modifier("10.0.0.1");
  params(freq).select_gw_set_freq().mutable_freq().set_frequency("145.5");
  ASSERT_TRUE(control->SendASNToChan(freq));
  EXPECT_EQ(session().sent().size(), 2u);
  EXPECT_EQ(control->radio_state().command, 2);
  EXPECT_EQ(control->radio_state().frequency, 0.0f);

  // A status sets the whole state and sends nothing; PTT off lifts the filter.
  TERM::RadioStatus status;
  TERM::LemzRadioStatus& l = status.select_lemz();
  l.mutable_freq().set_channel(3);
  l.mutable_freq().set_frequency("40.5");
  l.set_standby_group(9);
  ASSERT_TRUE(control->SendASNToChan(status));
  EXPECT_EQ(session().sent().size(), 2u);
  EXPECT_EQ(control->radio_state().channel, 3);
  EXPECT_EQ(control->radio_state().standby_group, 9);
  EXPECT_FALSE(session().filtered());

  TERM::RadioModifier ed137;
  ed137.select_ed_137();
  EXPECT_FALSE(control->SendASNToChan(ed137));
  TERM::RadioStatus ed137Status;
  ed137Status.select_ed_137();
  EXPECT_FALSE(control->SendASNToChan(ed137Status));
}

TEST_F(LemzControlTest, StatusPacketsAndTheNextDelay) {
  clock.set_auto_advance(false);
  clock.set_real_wait(0);
  make();
  using Types = std::vector<uint8_t>;
  // Fresh: WM_FLAG, WM_CHAN and WM_SELECT_RC_CHAN every second, no WM_STANDBY.
  for (uint32_t t : {999, 1000, 2000, 3000})
    at(t);
  ASSERT_EQ(control->ticks.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(since(control->ticks[i]), 1000u * (i + 1));
    EXPECT_EQ(control->ticks[i].types, (Types{129, 132, 134}));
    EXPECT_EQ(control->ticks[i].delay, 1000u);
  }
  EXPECT_EQ(session().sent()[1], (Bytes{0x84, 0xF0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0}));

  // All three standby values set 300 ms after a tick: WM_STANDBY goes at
  // once and joins the ticks, which now come back 10 ms after the oldest
  // packet is a second old.
  at(3300);
  TERM::RadioModifier standby = modifier("10.0.0.1");
  TERM::RadioCommandWMStandby& w = params(standby).select_wm_standby();
  w.mutable_state_channel().setValue(TERM::RadioStandby::standby);
  w.set_group(3);
  w.mutable_state_receiver().setValue(TERM::RadioStandby::active);
  ASSERT_TRUE(control->SendASNToChan(standby));
  EXPECT_EQ(session().sent().back(), (Bytes{0x87, 0xF0, 0, 0, 1, 3, 0, 0}));
  for (uint32_t t : {4000, 4309, 4310, 5009, 5010})
    at(t);
  const struct {
    uint32_t at;
    Types types;
    unsigned long delay;
  } expected[] = {{4000, {129, 132, 134}, 310}, {4310, {134, 135}, 700}, {5010, {129, 132, 134}, 310}};
  ASSERT_EQ(control->ticks.size(), 6u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(since(control->ticks[3 + i]), expected[i].at);
    EXPECT_EQ(control->ticks[3 + i].types, expected[i].types);
    EXPECT_EQ(control->ticks[3 + i].delay, expected[i].delay);
  }

  // PTT on: the flag packet becomes a WM_TRANS.
  TERM::RadioModifier trans = modifier("10.0.0.1");
  params(trans).select_wm_trans().mutable_flags().set_ptt(true);
  ASSERT_TRUE(control->SendASNToChan(trans));
  EXPECT_EQ(session().sent().back()[0], 130);
  for (uint32_t t = 5100; t <= 8000; t += 100)
    at(t);
  Types flagTypes;
  for (size_t i = 6; i < control->ticks.size(); ++i)
    for (uint8_t type : control->ticks[i].types)
      if (type == 129 || type == 130 || type == 133)
        flagTypes.push_back(type);
  EXPECT_EQ(flagTypes, (Types{130, 130}));  // at 6020 and 7030
}

TEST_F(LemzControlTest, ReportsOfAFreshControlAreTracedWithTheirSubstitutions) {
  make(false);
  control->SetTrace(true);
  LogCapture log;
  inject("10.0.0.5", 7, header(SIG_PROTO_GW_FLAG, 5, 1));
  read();
  ASSERT_EQ(recorder.reports.size(), 1u);
  const std::string text = log.log();
  EXPECT_NE(text.find("receive extension packet(s)!"), std::string::npos) << text;
  EXPECT_NE(text.find("report: squelshe -1 cannot be sent, sent as 0"), std::string::npos) << text;
  EXPECT_NE(text.find("command=0x1 send extension to controller: "), std::string::npos) << text;
}

TEST_F(LemzControlTest, AWorkstationSendsCommandsAndTakesNothing) {
  rtp_ext_init_params init;
  LemzRadioWSControl ws(3, attach(1), init);
  ws.SetNotify(&recorder);
  ws.SetRoleFlag(1);
  TERM::RadioModifier freq = modifier("10.0.0.1");
  TERM::RadioFrequency& f = params(freq).select_gw_set_freq().mutable_freq();
  f.set_channel(2);
  f.set_frequency("1.5");
  ASSERT_TRUE(ws.SendASNToChan(freq));
  ASSERT_EQ(session().sent().size(), 1u);
  EXPECT_EQ(session().sent()[0], (Bytes{0x02, 0xF0, 0, 0, 0, 0, 0, 2, 0x3F, 0xC0, 0, 0}));
  EXPECT_EQ(ws.radio_state().channel, 2);
  TERM::RadioModifier trans = modifier("10.0.0.1");
  params(trans).select_wm_trans();
  ASSERT_TRUE(ws.SendASNToChan(trans));
  EXPECT_EQ(session().sent().size(), 1u);  // no WM_* from a workstation
  session().inject(1, address("10.0.0.2"), packed(header(SIG_PROTO_WM_FLAG, 1, 1)));
  read();
  EXPECT_TRUE(recorder.reports.empty());
}

}  // namespace
