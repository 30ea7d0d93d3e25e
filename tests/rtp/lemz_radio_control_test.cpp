// The LEMZ gateway control against the simulated "/dev/rtp_ext" on the
// controlled loop clock: read batches, the access rule, controller
// requests and the status schedule.
#include "rtp/lemz_radio_control.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "rtp/rtp_lemz_slot.h"
#include "tests/rtp/radio_fixture.h"
#include "tests/support/log_capture.h"

using RTPSignalling::LemzRadioGWControl;
using RTPSignalling::LemzRadioWSControl;
using SimBoard::Bytes;
using testing_support::LogCapture;
using namespace radio_testing;

namespace {

// Each report as "source/alternative"; every one must encode as the
// controller link sends it.
struct Recorder : RTPSignalling::IRadioControlNotify {
  std::vector<std::string> reports;
  TERM::RtpRadioRequest last;
  void RadioControlNotify(TERM::RtpRadioRequest const& r) override {
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    std::vector<char> out;
    EXPECT_TRUE(env.encode(r, out));
    const TERM::LemzRadioModifier& m = r.get_request().get_lemz();
    reports.push_back(m.get_addr().get_session_addr().getValue() + "/" +
                      std::to_string(m.get_params().currentSelection()));
    last = r;
  }
  void RadioControlNotify(int code) override { ADD_FAILURE() << "abort " << code; }
};

// Records each status tick as "time: types of the packets it wrote / the
// delay it asked for" (the time since `base`).
struct GWControl : LemzRadioGWControl {
  using LemzRadioGWControl::LemzRadioGWControl;
  using LemzRadioGWControl::OnRtpProtoRXEvent;
  SimBoard::RtpExtSession* session = nullptr;
  uint64_t base = 0;
  std::vector<std::string> ticks;
  // A status tick long after every packet went out: all that is due.
  void tick() { ProcessRadioStatus(static_cast<unsigned long>(base + 100000 * ++late), 1000); }
  unsigned late = 0;

protected:
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override {
    const size_t before = session->sent().size();
    const unsigned long delay = LemzRadioGWControl::ProcessRadioStatus(now, interval);
    std::string tick = std::to_string(now - static_cast<uint32_t>(base)) + ":";
    for (size_t i = before; i < session->sent().size(); ++i)
      tick += " " + std::to_string(session->sent()[i][0]);
    ticks.push_back(tick + " /" + std::to_string(delay));
    return delay;
  }
};

// A packet with its header's type, priority and PTT flag.
sig_proto header(uint32_t type, int priority, int ptt) {
  sig_proto p;
  sig_proto_init(&p);
  p.type = type;
  sig_proto_set_base(&p, priority, -1, ptt, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  return p;
}

// A modifier of the controller at 10.0.0.1 with the alternative `fill` selects.
TERM::RadioModifier modifier(const std::function<void(TERM::LemzRadioModifierParams&)>& fill) {
  TERM::RadioModifier m;
  m.select_lemz().mutable_addr().set_session_addr("10.0.0.1");
  fill(m.select_lemz().mutable_params());
  return m;
}

// wm-trans: a session transmits with PTT and priority.
TERM::RadioModifier trans(const std::string& ip, int priority = 15, unsigned ssrc = 0) {
  return modifier([&](TERM::LemzRadioModifierParams& p) {
    TERM::RadioCommandWMTrans& t = p.select_wm_trans();
    t.mutable_flags().set_prio(priority);
    t.mutable_flags().set_ptt(true);
    t.set_ip(ip);
    t.set_ssrc(ssrc);
  });
}

class LemzControlTest : public RadioFixture {
protected:
  // The LEMZ slot's set-up in its own-session mode.
  void make(bool timer = true) {
    rtp_ext_init_params init;
    init.etype = 0x1337;
    control.reset(new GWControl(6, attach(4321), init));
    control->session = ext.latest();
    control->SetNotify(&recorder);
    control->SetTimerEnable(timer);
    control->base = base = clock.now_ms();
  }
  void inject(const char* from, uint32_t ssrc, const sig_proto& p) {
    Bytes wire(64);
    wire.resize(static_cast<size_t>(sig_proto_pack(&p, wire.data(), wire.size())));
    ASSERT_TRUE(session().inject(ssrc, address(from), wire));
  }
  // One loop turn with the clock at `ms` after the control was made.
  void at(uint32_t ms) {
    clock.set_ms(base + ms);
    loop.turn();
  }

  Recorder recorder;
  std::unique_ptr<GWControl> control;
  uint64_t base = 0;
};

TEST_F(LemzControlTest, ProcessesTheLastOfARunFromOneSource) {
  make(false);
  // Three squelch settings from one workstation: one report, for the last.
  for (uint8_t value : {10, 11, 12}) {
    sig_proto p = header(SIG_PROTO_GW_ADJUST_SQUELSHE, 5, 0);
    sig_proto_set_gw_adjust_squelsh(&p, value);
    inject("10.0.0.5", 7, p);
    if (value == 10)
      session().inject(7, address("10.0.0.5"), {200, 0, 0, 0});  // dropped, the run goes on
  }
  session().inject(7, address("10.0.0.5"), {200, 0, 0, 0});  // does not decode: dropped
  read();
  EXPECT_EQ(recorder.reports, (std::vector<std::string>{"10.0.0.5/10"}));
  EXPECT_EQ(recorder.last.get_request().get_lemz().get_params().get_gw_set_squelshe().get_squelshe().getValue(), 12);

  // Interleaved sources, another SSRC from the same address and another
  // type: each its own.
  recorder.reports.clear();
  inject("10.0.0.5", 7, header(SIG_PROTO_GW_FLAG_PTT, 5, 1));
  inject("10.0.0.6", 8, header(SIG_PROTO_GW_FLAG_PTT, 5, 1));
  inject("10.0.0.5", 7, header(SIG_PROTO_GW_FLAG_PTT, 5, 0));
  inject("10.0.0.5", 9, header(SIG_PROTO_GW_FLAG_PTT, 5, 0));
  inject("10.0.0.5", 9, header(SIG_PROTO_GW_FLAG_BSS, 5, 0));
  read();
  EXPECT_EQ(recorder.reports,
            (std::vector<std::string>{"10.0.0.5/2", "10.0.0.6/2", "10.0.0.5/2", "10.0.0.5/2", "10.0.0.5/3"}));
  // The controller has not set PTT: nothing filters the session.
  EXPECT_FALSE(session().filtered());
}

TEST_F(LemzControlTest, AccessWhileTheRadioTransmits) {
  make(false);
  in_addr own;
  own.s_addr = control->local_addr().sockaddr().sin_addr.s_addr;
  const std::string local = inet_ntoa(own);
  const struct {
    int radioPriority;
    std::string session;  // transmitting
    uint32_t type;
    int priority, ptt;
    const char* from;
    bool accepted;
  } cases[] = {
      {5, "10.0.0.5", SIG_PROTO_GW_FLAG_PTT, 3, 1, "10.0.0.9", true},   // pre-empts
      {3, "10.0.0.5", SIG_PROTO_GW_FLAG_PTT, 3, 1, "10.0.0.9", false},  // same priority
      {2, "10.0.0.5", SIG_PROTO_GW_FLAG_PTT, 3, 1, "10.0.0.9", false},  // lower priority
      {5, "10.0.0.5", SIG_PROTO_GW_FLAG_PTT, 3, 0, "10.0.0.9", false},  // PTT off pre-empts nothing
      {5, "10.0.0.5", SIG_PROTO_GW_SEL_CALL, 3, 1, "10.0.0.9", true},   // a PTT command too
      {5, "10.0.0.5", SIG_PROTO_GW_FLAG_BSS, 3, 1, "10.0.0.9", false},  // not a PTT command
      {5, "10.0.0.5", SIG_PROTO_GW_FLAG_BSS, 9, 0, "10.0.0.5", true},   // the transmitting workstation
      {5, local, SIG_PROTO_GW_FLAG_BSS, 9, 0, "10.0.0.9", true},        // the gateway's own session
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.radioPriority << " " << c.type << " " << c.priority << " " << c.from);
    make(false);
    ASSERT_TRUE(control->SendASNToChan(trans(c.session, c.radioPriority)));
    recorder.reports.clear();
    sig_proto p = header(c.type, c.priority, c.ptt);
    p.source_addr = inet_addr(c.from);
    control->OnRtpProtoRXEvent(p);
    EXPECT_EQ(recorder.reports.size(), c.accepted ? 1u : 0u);
  }
}

// wm-trans with PTT on: one WM_TRANS at once, and only that session heard
// until PTT goes off; wm-selcall sends its caller ID once; gw-set-freq is
// not for the workstations; a status sets the state the status packets
// carry and sends nothing; an ED-137 record is refused.
TEST_F(LemzControlTest, ControllerRequests) {
  make(false);
  ASSERT_TRUE(control->SendASNToChan(trans("10.0.0.5", 4, 0x01020304)));
  EXPECT_EQ(session().sent().back(), (Bytes{0x82, 0x44, 0x00, 0x00, 5, 0, 0, 10, 1, 2, 3, 4}));
  EXPECT_EQ(session().filter_address(), address("10.0.0.5"));
  EXPECT_FALSE(session().inject(1, address("10.0.0.6"), {1, 0, 0, 0}));
  EXPECT_FALSE(control->GetSQU());

  ASSERT_TRUE(control->SendASNToChan(modifier([](TERM::LemzRadioModifierParams& p) {
    TERM::RadioCommandWMSelCall& s = p.select_wm_selcall();
    s.mutable_flags().set_ptt(true);
    s.mutable_flags().set_sql(true);
    s.set_ip("10.0.0.5");
    s.set_cid("42");
  })));
  EXPECT_EQ(session().sent().back(), (Bytes{0x85, 0x05, 0x00, 0x00, 5, 0, 0, 10, 0, 0, 0, 0, 2, '4', '2', 0}));
  EXPECT_TRUE(control->GetSQU());
  // The radio's state keeps no caller ID: the status packets say WM_TRANS.
  control->tick();
  EXPECT_EQ(session().sent()[2][0], 130);

  // A status: frequency, standby and squelch from it; nothing sent, PTT off
  // lifts the filter.
  TERM::RadioStatus status;
  TERM::LemzRadioStatus& l = status.select_lemz();
  l.mutable_freq().set_channel(3);
  l.mutable_freq().set_frequency("40.5");
  l.set_standby_state_channel(TERM::RadioStandby::standby);
  l.set_standby_group(9);
  ASSERT_TRUE(control->SendASNToChan(status));
  EXPECT_FALSE(control->GetSQU());
  EXPECT_FALSE(session().filtered());
  const size_t sent = session().sent_total();

  // gw-set-freq: nothing sent, the radio's frequency kept.
  ASSERT_TRUE(control->SendASNToChan(modifier([](TERM::LemzRadioModifierParams& p) {
    TERM::RadioFrequency& f = p.select_gw_set_freq().mutable_freq();
    f.set_channel(11);
    f.set_frequency("145.5");
  })));
  EXPECT_EQ(session().sent_total(), sent);
  control->tick();
  const std::deque<Bytes>& packets = session().sent();
  ASSERT_EQ(packets.size(), sent + 4);
  EXPECT_EQ(packets[sent + 1], (Bytes{0x84, 0x00, 0, 0, 0, 0, 0, 3, 0x42, 0x22, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(packets[sent + 3], (Bytes{0x87, 0x00, 0, 0, 1, 9, 0, 0}));

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
  using Ticks = std::vector<std::string>;
  // Fresh: WM_FLAG, WM_CHAN and WM_SELECT_RC_CHAN every second, no WM_STANDBY.
  for (uint32_t t : {999, 1000, 2000})
    at(t);
  EXPECT_EQ(control->ticks, (Ticks{"1000: 129 132 134 /1000", "2000: 129 132 134 /1000"}));
  EXPECT_EQ(session().sent()[1], (Bytes{0x84, 0xF0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0}));

  // All three standby values set 300 ms after a tick: WM_STANDBY goes at
  // once and joins the ticks, which now come back 10 ms after the oldest
  // packet is a second old.
  at(2300);
  ASSERT_TRUE(control->SendASNToChan(modifier([](TERM::LemzRadioModifierParams& p) {
    TERM::RadioCommandWMStandby& w = p.select_wm_standby();
    w.mutable_state_channel().setValue(TERM::RadioStandby::standby);
    w.set_group(3);
    w.mutable_state_receiver().setValue(TERM::RadioStandby::active);
  })));
  EXPECT_EQ(session().sent().back(), (Bytes{0x87, 0xF0, 0, 0, 1, 3, 0, 0}));
  control->ticks.clear();
  for (uint32_t t : {3000, 3309, 3310, 4009, 4010})
    at(t);
  EXPECT_EQ(control->ticks, (Ticks{"3000: 129 132 134 /310", "3310: 134 135 /700", "4010: 129 132 134 /310"}));

  // PTT on: the flag packet becomes a WM_TRANS, sent at once and a second
  // after it.
  ASSERT_TRUE(control->SendASNToChan(trans("10.0.0.9")));
  EXPECT_EQ(session().sent().back()[0], 130);
  control->ticks.clear();
  for (uint32_t t = 4100; t <= 6100; t += 10)
    at(t);
  EXPECT_EQ(control->ticks,
            (Ticks{"4320: 134 135 /700", "5020: 130 132 134 /310", "5330: 134 135 /700", "6030: 130 132 134 /310"}));
  EXPECT_TRUE(session().filtered());

  // PTT off again (the transmitting session is still named): the flag
  // packet is a WM_FLAG once more, at once and a second after it, and every
  // workstation is heard.
  ASSERT_TRUE(control->SendASNToChan(modifier([](TERM::LemzRadioModifierParams& p) { p.select_wm_flags(); })));
  EXPECT_EQ(session().sent().back()[0], 129);
  EXPECT_FALSE(session().filtered());
  control->ticks.clear();
  for (uint32_t t = 6110; t <= 7200; t += 10)
    at(t);
  EXPECT_EQ(control->ticks, (Ticks{"6340: 134 135 /700", "7040: 132 134 /70", "7110: 129 134 /240"}));
}

// A packet the controller sends puts off the status packet of its kind:
// the next tick that finds it less than a second old leaves it out.
TEST_F(LemzControlTest, AControllerPacketPutsOffTheStatusPacketOfItsKind) {
  clock.set_auto_advance(false);
  clock.set_real_wait(0);
  using Ticks = std::vector<std::string>;
  const struct {
    const char* name;
    std::function<void(TERM::LemzRadioModifierParams&)> fill;
    Ticks ticks;
  } cases[] = {
      {"wm-flags", [](TERM::LemzRadioModifierParams& p) { p.select_wm_flags().mutable_flags().set_prio(2); },
       {"1000: 129 132 134 /1000", "2000: 132 134 /1000", "3000: 129 132 134 /1000"}},
      {"wm-trans",
       [](TERM::LemzRadioModifierParams& p) {
         TERM::RadioCommandWMTrans& t = p.select_wm_trans();
         t.mutable_flags().set_ptt(true);
         t.set_ip("10.0.0.5");
       },
       {"1000: 129 132 134 /1000", "2000: 132 134 /1000", "3000: 130 132 134 /1000"}},
      {"wm-selcall",
       [](TERM::LemzRadioModifierParams& p) {
         TERM::RadioCommandWMSelCall& s = p.select_wm_selcall();
         s.mutable_flags().set_ptt(true);
         s.set_ip("10.0.0.5");
         s.set_cid("42");
       },
       {"1000: 129 132 134 /1000", "2000: 132 134 /1000", "3000: 130 132 134 /1000"}},
      {"wm-chan",
       [](TERM::LemzRadioModifierParams& p) {
         TERM::RadioCommandWMChan& c = p.select_wm_chan();
         c.mutable_freq().set_channel(4);
         c.mutable_freq().set_frequency("120.5");
       },
       {"1000: 129 132 134 /1000", "2000: 129 134 /1000", "3000: 129 132 134 /1000"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    make();
    at(1000);
    at(1300);
    const size_t sent = session().sent_total();
    ASSERT_TRUE(control->SendASNToChan(modifier(c.fill)));
    ASSERT_EQ(session().sent_total(), sent + 1);
    at(2000);
    at(3000);
    EXPECT_EQ(control->ticks, c.ticks);
  }
}

// A fresh control's state holds values no report can carry: they are sent
// as 0, and the trace tells so.
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

// The workstation side sends GW_* commands from the controller's records,
// no WM_* packets, and reports nothing it receives.
TEST_F(LemzControlTest, AWorkstationSendsCommandsAndTakesNothing) {
  LemzRadioWSControl ws(3, attach(1), rtp_ext_init_params());
  ws.SetNotify(&recorder);
  ws.SetRoleFlag(1);
  ASSERT_TRUE(ws.SendASNToChan(modifier([](TERM::LemzRadioModifierParams& p) {
    TERM::RadioFrequency& f = p.select_gw_set_freq().mutable_freq();
    f.set_channel(2);
    f.set_frequency("1.5");
  })));
  EXPECT_EQ(session().sent(), (std::deque<Bytes>{{0x02, 0xF0, 0, 0, 0, 0, 0, 2, 0x3F, 0xC0, 0, 0}}));
  ASSERT_TRUE(ws.SendASNToChan(modifier([](TERM::LemzRadioModifierParams& p) { p.select_gw_set_ptt(); })));
  EXPECT_EQ(session().sent().back(), (Bytes{0x03, 0x00, 0, 0}));
  ASSERT_TRUE(ws.SendASNToChan(trans("10.0.0.5")));
  EXPECT_EQ(session().sent_total(), 2u);  // no WM_* from a workstation
  Bytes flag(4);
  const sig_proto p = header(SIG_PROTO_WM_FLAG, 1, 1);
  sig_proto_pack(&p, flag.data(), flag.size());
  session().inject(1, address("10.0.0.2"), flag);
  read();
  EXPECT_TRUE(recorder.reports.empty());
}

// The gateway slot built with init parameters only: a session of its own,
// initialised and attached to nothing, the gateway side without the status
// timer.
TEST_F(LemzControlTest, AGatewaySlotWithAnUnattachedSession) {
  clock.set_auto_advance(false);
  clock.set_real_wait(0);
  rtp_ext_init_params init;
  init.etype = 0x1337;
  const size_t sessions = ext.session_count();
  RtpLEMZRadioGWSlot slot(5, rtp, rtp_connection_params(), init);
  ASSERT_EQ(ext.session_count(), sessions + 1);
  EXPECT_EQ(session().init().etype, 0x1337);
  EXPECT_FALSE(session().attached());
  EXPECT_STREQ(slot.GetName(), "rtp ext LEMZ (GW)");
  EXPECT_EQ(slot.control()->role_flag(), 0u);
  slot.control()->SetNotify(&recorder);
  const uint64_t start = clock.now_ms();
  for (uint64_t t = 500; t <= 3000; t += 500) {
    clock.set_ms(start + t);
    loop.turn();
  }
  EXPECT_EQ(session().sent_total(), 0u);  // no status packets
  ASSERT_TRUE(slot.control()->SendASNToChan(trans("10.0.0.5")));
  EXPECT_EQ(session().sent().back()[0], 130);
  inject("10.0.0.5", 7, header(SIG_PROTO_GW_FLAG_PTT, 5, 0));
  read();
  EXPECT_EQ(recorder.reports, (std::vector<std::string>{"10.0.0.5/2"}));
}

}  // namespace
