// SS7 link control on its own: alignment and its timers on the test's
// clock, the wire format of signal units, and the error correction rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "signalling/slc.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/support/log_capture.h"

using namespace lapd_test;
using SS7::SLC;
using State = SLC::State;

namespace {

const std::string SIO = "FF FF 01 00", SIN = "FF FF 01 01", SIE = "FF FF 01 02", SIOS = "FF FF 01 03";

Bytes su(unsigned bsn, unsigned bib, unsigned fsn, unsigned fib, Bytes payload = {}, int li = -1) {
  Bytes b(3 + payload.size());
  b[0] = static_cast<uint8_t>(bib << 7 | bsn);
  b[1] = static_cast<uint8_t>(fib << 7 | fsn);
  b[2] = static_cast<uint8_t>(li >= 0 ? li : payload.size() < 63 ? payload.size() : 63);
  std::copy(payload.begin(), payload.end(), b.begin() + 3);
  return b;
}
Bytes lssu(unsigned indication) { return {0xFF, 0xFF, 0x01, static_cast<uint8_t>(indication)}; }
Bytes msu(unsigned n, unsigned size = 5) {
  Bytes b(size, static_cast<uint8_t>(n));
  b[0] = 0x83;  // a service information octet
  return b;
}

struct Link : Clocked {
  Upper upper;
  RecordingHdlc wire;
  SLC* slc = new SLC;
  testing_support::LogCapture logs;

  explicit Link(bool emergency = false) {
    slc->set_hdlc(&wire);
    slc->set_emergency(emergency);
    slc->set_dpc(7);
    slc->set_slc(2);
    slc->set_trunk(1);
    upper.add_protocol_tail(slc);
  }
  void rx(const Bytes& frame) { from_below(slc, frame); }
  void l3(const Bytes& m) { from_above(slc, m); }
  unsigned state() const { return slc->get_state_id(); }
  // Activated, then aligned by the peer's SIO, or proving after its SIN.
  void aligned() {
    upper.activate();
    rx(lssu(SLC::Indication::SIO));
  }
  void proving() {
    upper.activate();
    rx(lssu(SLC::Indication::SIN));
  }
  void in_service() {
    upper.activate();
    rx(lssu(SLC::Indication::SIO));
    rx(lssu(SLC::Indication::SIN));
    rx(su(127, 1, 127, 1));
    ASSERT_EQ(state(), State::InService);
    wire.sent.clear();
  }
};

}  // namespace

// Every step of alignment, normal and emergency: the state it leaves the
// link in and the signal units it sends.
TEST(Slc, AlignsThroughProvingIntoService) {
  struct Step {
    std::function<void(Link&)> act;
    unsigned state;
    std::vector<std::string> sent;
  };
  auto rx = [](unsigned ind) { return [ind](Link& l) { l.rx(lssu(ind)); }; };
  auto wait = [](unsigned ms) { return [ms](Link& l) { l.advance(ms); }; };
  struct Case {
    bool emergency;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {false,
       {{[](Link& l) { l.upper.activate(); }, State::NotAligned, {SIO}},
        {rx(SLC::Indication::SIOS), State::NotAligned, {}},
        {rx(SLC::Indication::SIO), State::Aligned, {SIN}},
        {rx(SLC::Indication::SIO), State::Aligned, {}},
        {rx(SLC::Indication::SIE), State::Proving, {SIN}},
        {rx(SLC::Indication::SIN), State::Proving, {}},
        {wait(8199), State::Proving, {}},
        {wait(1), State::AlignedReady, {"FF FF 00"}},
        {rx(SLC::Indication::SIN), State::AlignedReady, {}},
        {[](Link& l) { l.rx(su(127, 1, 127, 1)); }, State::InService, {"FF FF 00", "FF FF 00"}}}},
      {true,
       {{[](Link& l) { l.upper.activate(); }, State::NotAligned, {SIO}},
        {rx(SLC::Indication::SIN), State::Proving, {SIE}},
        {wait(500), State::AlignedReady, {"FF FF 00"}},
        {[](Link& l) { l.rx(su(127, 1, 127, 1, msu(1))); }, State::InService, {"FF FF 00", "FF FF 00"}}}},
      // The peer may start alignment on an idle link.
      {false, {{rx(SLC::Indication::SIO), State::Aligned, {SIN}}}},
  };
  for (const Case& c : cases) {
    Link link(c.emergency);
    int step = 0;
    for (const Step& s : c.steps) {
      SCOPED_TRACE("emergency " + std::to_string(c.emergency) + " step " + std::to_string(step++));
      s.act(link);
      EXPECT_EQ(SLC::state_name(link.state()), std::string(SLC::state_name(s.state)));
      EXPECT_EQ(link.wire.take(), s.sent);
    }
    EXPECT_EQ(link.upper.activations, c.steps.back().state == State::InService ? 1 : 0);
    EXPECT_TRUE(link.upper.up.empty());  // an MSU that ends proving is not taken
  }
}

// Each way back to idle sends SIOS once and reports "impossible phasing".
TEST(Slc, FailuresReturnToIdle) {
  struct Case {
    const char* name;
    std::function<void(Link&)> reach;
    std::function<void(Link&)> fail;
  };
  auto activate = [](Link& l) { l.upper.activate(); };
  auto aligned = [](Link& l) { l.aligned(); };
  auto ready = [](Link& l) {
    l.proving();
    l.advance(8200);
  };
  auto service = [](Link& l) { l.in_service(); };
  const Case cases[] = {
      {"T2", activate, [](Link& l) { l.advance(7000); }},
      {"T3", aligned, [](Link& l) { l.advance(1500); }},
      {"T1", ready, [](Link& l) { l.advance(45000); }},
      {"SIOS in proving",
       [](Link& l) { l.proving(); },
       [](Link& l) { l.rx(lssu(SLC::Indication::SIOS)); }},
      {"T7", service,
       [](Link& l) {
         l.l3(msu(1));
         l.advance(11999);
         ASSERT_EQ(l.state(), State::InService);
         l.wire.sent.clear();
         l.advance(1);
       }},
      {"LSSU in service", service, [](Link& l) { l.rx(lssu(SLC::Indication::SIO)); }},
      {"two bad BSNs", service,
       [](Link& l) {
         l.rx(su(5, 1, 127, 1));
         ASSERT_EQ(l.state(), State::InService);
         l.rx(su(5, 1, 127, 1));
       }},
      {"two unexpected FIBs", service,
       [](Link& l) {
         l.rx(su(127, 1, 127, 0));
         ASSERT_EQ(l.state(), State::InService);
         l.rx(su(127, 1, 127, 0));
       }},
      {"trunk down", service, [](Link& l) { l.slc->OnTrunkHardStatus(false); }},
      {"channel broken", service, [](Link& l) { l.slc->on_hdlc_error(HDLC::Notify::Cause::ReadError); }},
      {"deactivation", aligned, [](Link& l) { l.upper.deactivate(); }},
      {"deactivation in service", service, [](Link& l) { l.upper.deactivate(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Link link;
    c.reach(link);
    link.upper.ends.clear();
    link.wire.sent.clear();
    c.fail(link);
    EXPECT_EQ(link.state(), State::Idle);
    EXPECT_EQ(link.wire.take(), std::vector<std::string>{SIOS});
    EXPECT_EQ(link.upper.ends, std::vector<std::string>{"impossible phasing"});
    link.advance(60000);  // no timer left running
    EXPECT_TRUE(link.wire.sent.empty());
  }
  Link idle;  // an idle link ignores the trunk
  idle.slc->OnTrunkHardStatus(false);
  EXPECT_TRUE(idle.wire.sent.empty());
}

// Without a free buffer the link sends nothing and keeps its MSUs: they go
// out once buffers are back.
TEST(Slc, AnEmptyPoolCostsFramesNotTheLink) {
  Link link;
  link.in_service();
  Packet m = packet_of(msu(1));
  Packet fisu = packet_of(su(127, 1, 127, 1));
  {
    PoolHog hog;
    link.slc->message(m);
    link.slc->receive(fisu);
    EXPECT_TRUE(link.wire.sent.empty());
  }
  EXPECT_EQ(link.state(), State::InService);
  link.slc->on_hdlc_ready();
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"FF 80 05 83 01 01 01 01"});
}

// An MSU the channel refuses waits in the TB: FISUs sent meanwhile carry
// the FSN of the last MSU that went out, not the one that did not.
TEST(Slc, RefusedMsuWaitsForTheChannel) {
  Link link;
  link.in_service();
  link.wire.refuse = true;
  link.l3(msu(1));
  link.wire.refuse = false;
  link.rx(su(127, 1, 0, 1, msu(9)));  // the peer's MSU, acknowledged by a FISU
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"80 FF 00"});
  link.slc->on_hdlc_ready();
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"80 80 05 83 01 01 01 01"});
}

// Signal unit lengths both ways: the indicator caps at 63; a received one
// that disagrees is trimmed to it when it can be.
TEST(Slc, LengthIndicators) {
  Link link;
  link.in_service();
  struct Out {
    unsigned size;
    uint8_t li;
  };
  for (const Out& o : {Out{61, 61}, Out{63, 63}, Out{70, 63}}) {
    link.l3(msu(1, o.size));
    ASSERT_EQ(link.wire.sent.size(), 1u);
    EXPECT_EQ(link.wire.sent[0][2], o.li);
    EXPECT_EQ(link.wire.sent[0].size(), o.size + 3);
    link.wire.sent.clear();
  }
  struct In {
    unsigned size;
    int li;
    size_t up;  // octets passed up, 0 for none
  };
  unsigned fsn = 0;
  for (const In& i : {In{7, 5, 5}, In{70, 63, 70}, In{40, 63, 40}, In{70, 5, 70}}) {
    SCOPED_TRACE(i.size);
    link.upper.up.clear();
    link.rx(su(2, 1, fsn, 1, msu(fsn, i.size), i.li));
    ++fsn;
    ASSERT_EQ(link.upper.up.size(), 1u);
    EXPECT_EQ(link.upper.up[0].size(), i.up);
  }
  unsigned before = link.slc->statistics().suRx;
  link.rx({0x80, 0x80});
  EXPECT_EQ(link.slc->statistics().suRx, before);
}

// Sending: at most 127 unacknowledged, 200 waiting; acknowledgements open
// the window; a negative one resends from the oldest with the same FSNs.
TEST(Slc, WindowBufferAndRetransmission) {
  Link link;
  link.in_service();
  for (unsigned n = 0; n < 127 + SLC::TBLimit; ++n)
    link.l3(msu(n));
  ASSERT_EQ(link.wire.sent.size(), 127u);
  EXPECT_EQ(hex(link.wire.sent[0]), "FF 80 05 83 00 00 00 00");
  EXPECT_EQ(hex(link.wire.sent[126]).substr(0, 5), "FF FE");
  EXPECT_EQ(link.slc->statistics().overflows, 0u);
  link.l3(msu(0xEE));  // the TB is full
  EXPECT_EQ(link.slc->statistics().overflows, 1u);
  link.wire.sent.clear();

  link.rx(su(1, 1, 127, 1));  // FSNs 0 and 1 acknowledged
  EXPECT_EQ(link.slc->statistics().rtbCount, 127u);
  EXPECT_EQ(link.wire.take(), (std::vector<std::string>{"FF FF 05 83 7F 7F 7F 7F", "FF 80 05 83 80 80 80 80"}));

  link.rx(su(3, 0, 127, 1));  // acknowledges 2 and 3, asks for the rest again
  ASSERT_EQ(link.wire.sent.size(), 127u);  // 125 again, then 2 new
  EXPECT_EQ(hex(link.wire.sent[0]), "FF 04 05 83 04 04 04 04");  // FIB now 0
  EXPECT_EQ(hex(link.wire.sent[124]), "FF 00 05 83 80 80 80 80");
  EXPECT_EQ(hex(link.wire.sent[126]), "FF 02 05 83 82 82 82 82");
  EXPECT_EQ(link.slc->statistics().retransmissions, 1u);
  EXPECT_EQ(link.state(), State::InService);
}

// Receiving: in order accepted and acknowledged; a duplicate dropped with
// its BSN unread; a gap answered by a negative acknowledgement, after which
// only the retransmission (FIB = our new BIB) is accepted.
TEST(Slc, ReceivingMsus) {
  Link link;
  link.in_service();
  link.l3(msu(1));
  link.l3(msu(2));  // FSNs 0 and 1 outstanding
  link.wire.sent.clear();
  struct Step {
    Bytes frame;
    size_t up;
    std::vector<std::string> sent;
  };
  const Step steps[] = {
      {su(127, 1, 0, 1, msu(9)), 1, {"80 81 00"}},
      {su(1, 1, 0, 1, msu(9)), 1, {}},            // duplicate
      {su(127, 1, 2, 1, msu(10)), 1, {"00 81 00"}},  // FSN 1 missing
      {su(127, 1, 1, 1, msu(11)), 1, {}},          // sent before our nack
      {su(127, 1, 1, 0, msu(11)), 2, {"01 81 00"}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(hex(s.frame));
    link.rx(s.frame);
    EXPECT_EQ(link.upper.up.size(), s.up);
    EXPECT_EQ(link.wire.take(), s.sent);
  }
  EXPECT_EQ(link.slc->statistics().rtbCount, 2u);
  EXPECT_EQ(link.slc->statistics().nacks, 1u);
  EXPECT_EQ(link.slc->bsnt(), 1u);
  EXPECT_EQ(link.state(), State::InService);
}

// Each timer of the link runs its whole duration: one millisecond short of
// it nothing happens, at it the link moves on.
TEST(Slc, EachTimerRunsItsWholeDuration) {
  struct Case {
    const char* name;
    bool emergency;
    std::function<void(Link&)> reach;
    unsigned state, ms, next;
  };
  auto notAligned = [](Link& l) { l.upper.activate(); };
  auto aligned = [](Link& l) { l.aligned(); };
  auto proving = [](Link& l) { l.proving(); };
  auto readyNormal = [](Link& l) {
    l.proving();
    l.advance(8200);
  };
  auto readyEmergency = [](Link& l) {
    l.proving();
    l.advance(500);
  };
  auto waiting = [](Link& l) {
    l.in_service();
    l.l3(msu(1));
  };
  const Case cases[] = {
      {"T2", false, notAligned, State::NotAligned, 7000, State::Idle},
      {"T3", false, aligned, State::Aligned, 1500, State::Idle},
      {"T3 emergency", true, aligned, State::Aligned, 1500, State::Idle},
      {"T4n", false, proving, State::Proving, 8200, State::AlignedReady},
      {"T4e", true, proving, State::Proving, 500, State::AlignedReady},
      {"T1", false, readyNormal, State::AlignedReady, 45000, State::Idle},
      {"T1 emergency", true, readyEmergency, State::AlignedReady, 45000, State::Idle},
      {"T7", false, waiting, State::InService, 12000, State::Idle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Link link(c.emergency);
    c.reach(link);
    ASSERT_EQ(link.state(), c.state);
    link.advance(c.ms - 1);
    EXPECT_EQ(link.state(), c.state);
    link.advance(1);
    EXPECT_EQ(link.state(), c.next);
  }
}

// An acknowledgement restarts T7: a link whose peer keeps acknowledging
// stays in service while MSUs stay outstanding.
TEST(Slc, AcknowledgementRestartsT7) {
  Link link;
  link.in_service();
  link.l3(msu(1));                    // FSN 0: T7 starts
  link.advance(10000);
  link.l3(msu(2));                    // FSN 1
  link.rx(su(0, 1, 127, 1));          // FSN 0 acknowledged, 1 outstanding: T7 restarts
  link.advance(11999);
  EXPECT_EQ(link.state(), State::InService);
  link.advance(1);
  EXPECT_EQ(link.state(), State::Idle);
}

// Each state by its name in the state trace, and each link status
// indication by its name in the log line of an LSSU received in service.
TEST(Slc, StateAndIndicationNames) {
  Link link;
  link.slc->log().state = true;
  link.in_service();
  const std::string trace = "SS7/L2 [dpc=7, slc=2, trunk=1]: change state from ";
  for (const char* step : {"\"idle\" to \"not aligned\"", "\"not aligned\" to \"aligned\"",
                           "\"aligned\" to \"proving\"", "\"proving\" to \"worked\""})
    EXPECT_NE(link.logs.log().find(trace + step + "\n"), std::string::npos) << step;
  Link ready;
  ready.slc->log().state = true;
  ready.proving();
  ready.advance(8200);
  EXPECT_NE(ready.logs.log().find(trace + "\"proving\" to \"aligned ready\"\n"), std::string::npos);

  struct Row {
    uint8_t indication;
    const char* name;
  };
  const Row rows[] = {{0, "out of alignment"}, {1, "normal alignment"}, {2, "emergency alignment"},
                      {3, "out of service"},   {5, "unknown:5"},        {0x1A, "unknown:1a"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Link l;
    l.in_service();
    l.logs.clear();
    l.rx(lssu(r.indication));
    EXPECT_EQ(l.logs.err(), "SS7/L2 [dpc=7, slc=2, trunk=1] (worked): receive lssu: " + std::string(r.name) +
                                " BSN=127 BIB=1 FSN=127 FIB=1\n");
    EXPECT_EQ(l.state(), State::Idle);
  }
}

// A sequence error that the link let pass is forgotten once the link has
// recovered from it, by a good signal unit or by a new alignment: the
// same error once more is let pass again, and only a second in a row fails
// the link.
TEST(Slc, ASequenceErrorIsForgottenOnceRecovered) {
  struct Case {
    const char* name;
    std::function<void(Link&)> error;
    std::function<void(Link&)> recover;
  };
  auto badBsn = [](Link& l) { l.rx(su(5, 1, 127, 1)); };
  auto badFib = [](Link& l) { l.rx(su(127, 1, 127, 0)); };
  auto good = [](Link& l) { l.rx(su(127, 1, 127, 1)); };
  auto realign = [](Link& l) {
    l.rx(lssu(SLC::Indication::SIOS));
    ASSERT_EQ(l.state(), State::Idle);
    l.rx(lssu(SLC::Indication::SIO));
    l.rx(lssu(SLC::Indication::SIN));
    l.rx(su(127, 1, 127, 1));
  };
  const Case cases[] = {{"BSN, good unit", badBsn, good},
                        {"FIB, good unit", badFib, good},
                        {"BSN, realigned", badBsn, realign},
                        {"FIB, realigned", badFib, realign}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Link link;
    link.in_service();
    c.error(link);
    ASSERT_EQ(link.state(), State::InService);
    c.recover(link);
    ASSERT_EQ(link.state(), State::InService);
    c.error(link);
    EXPECT_EQ(link.state(), State::InService);
    c.error(link);
    EXPECT_EQ(link.state(), State::Idle);
  }
}

// A link that fails with MSUs waiting and unacknowledged comes back into
// service without them: the new alignment discards what waited, and says
// so, and the numbering starts afresh.
TEST(Slc, ARealignedLinkStartsAfresh) {
  Link link;
  link.in_service();
  for (unsigned n = 0; n < 127 + 3; ++n)
    link.l3(msu(n));
  ASSERT_EQ(link.slc->statistics().rtbCount, 127u);
  link.rx(lssu(SLC::Indication::SIO));  // the peer realigns: the link fails
  ASSERT_EQ(link.state(), State::Idle);
  link.rx(lssu(SLC::Indication::SIO));
  link.rx(lssu(SLC::Indication::SIN));
  link.wire.sent.clear();
  link.logs.clear();
  link.rx(su(127, 1, 127, 1));
  ASSERT_EQ(link.state(), State::InService);
  EXPECT_EQ(link.wire.take(), (std::vector<std::string>{"FF FF 00", "FF FF 00"}));
  EXPECT_EQ(link.logs.err(), "SS7/L2 [dpc=7, slc=2, trunk=1] (worked): discard 3 msu in TB\n");
  EXPECT_EQ(link.slc->statistics().rtbCount, 0u);
  link.l3(msu(1));
  EXPECT_EQ(link.wire.take(), std::vector<std::string>{"FF 80 05 83 01 01 01 01"});
  EXPECT_EQ(link.upper.activations, 2);
}

// T7 runs only while MSUs wait for their acknowledgement: acknowledged,
// it stops; the next MSU has the whole 12000 ms again.
TEST(Slc, T7StopsWhenAllIsAcknowledged) {
  Link link;
  link.in_service();
  link.l3(msu(1));
  link.advance(5000);
  link.rx(su(0, 1, 127, 1));  // FSN 0 acknowledged: nothing outstanding
  link.advance(60000);
  EXPECT_EQ(link.state(), State::InService);
  link.l3(msu(2));
  link.advance(11999);
  EXPECT_EQ(link.state(), State::InService);
  link.advance(1);
  EXPECT_EQ(link.state(), State::Idle);
}

// Proving that the peer ends (SIO: it realigns; SIOS: it gives up) leaves
// the link idle with SIOS sent once; the peer's next alignment proves again
// for the whole of T4 and takes the link into service.
TEST(Slc, ProvingAgainAfterAFailedProving) {
  struct Case {
    bool emergency;
    unsigned ending;
  };
  for (const Case& c : {Case{false, SLC::Indication::SIO}, Case{false, SLC::Indication::SIOS},
                        Case{true, SLC::Indication::SIO}}) {
    SCOPED_TRACE(std::to_string(c.emergency) + " " + std::to_string(c.ending));
    Link link(c.emergency);
    const std::string proving = c.emergency ? SIE : SIN;
    unsigned t4 = c.emergency ? SLC::T4e.ms : SLC::T4n.ms;
    link.proving();
    link.advance(t4 - 100);
    link.wire.sent.clear();
    link.rx(lssu(c.ending));
    EXPECT_EQ(link.state(), State::Idle);
    EXPECT_EQ(link.wire.take(), std::vector<std::string>{SIOS});
    EXPECT_EQ(link.upper.ends, std::vector<std::string>{"impossible phasing"});
    link.advance(t4);
    EXPECT_TRUE(link.wire.sent.empty());

    link.rx(lssu(SLC::Indication::SIO));
    EXPECT_EQ(link.wire.take(), std::vector<std::string>{proving});  // aligned
    link.rx(lssu(SLC::Indication::SIN));
    EXPECT_EQ(link.state(), State::Proving);
    EXPECT_EQ(link.wire.take(), std::vector<std::string>{proving});
    link.advance(t4 - 1);
    EXPECT_EQ(link.state(), State::Proving);
    link.advance(1);
    EXPECT_EQ(link.state(), State::AlignedReady);
    link.rx(su(127, 1, 127, 1));
    EXPECT_EQ(link.state(), State::InService);
    EXPECT_EQ(link.upper.activations, 1);
  }
}
