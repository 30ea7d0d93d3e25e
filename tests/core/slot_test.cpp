// Board events turned into signals by the slot base, and a slot without a
// factory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <iomanip>
#include <sstream>

#include "hardware/dsp_receiver.h"
#include "tests/core/control_fixture.h"

namespace control_test {

TEST_F(ControlTest, BoardEventsBecomeSignals) {
  create(1, 5, 3, 8200);
  ASSERT_EQ(replies(1).size(), 1u);
  FakeSlot& s = *slot(5);
  std::ostringstream name;  // the number in two digits, the stream's fill kept
  name << s << std::setw(3) << 7;
  EXPECT_EQ(name.str(), "05:fake  7");
  auto bss = [](float score) {
    uint32_t bits;
    std::memcpy(&bits, &score, sizeof bits);
    dsproc_bss_event e;
    e.score_bits = bits;
    return e;
  };
  auto flags = [](uint32_t f, uint32_t mask) {
    dsproc_flags_event e;
    e.flags = f;
    e.mask = mask;
    return e;
  };
  dsproc_tone_event filter;
  filter.tone = 1020;
  filter.present = 1;
  // The signals an event gives, each in value notation on one line; "" for none.
  struct {
    std::function<void()> event;
    std::vector<std::string> sent;
  } const cases[] = {
      {[&] { s.processTonecEvent({65, 100}); }, {"tonec : { timestamp 100, event dtmf : 65 }"}},
      {[&] { s.processTonecEvent({0x0305, 3}); }, {"tonec : { timestamp 3, event iva : code : 3 }"}},
      {[&] { s.processTonecEvent({0x1500, 4}); }, {"tonec : { timestamp 4, event iva : ringoff : NULL }"}},
      {[&] { s.processTonecEvent({17, 1}); }, {"tonec : { timestamp 1, event ced : NULL }"}},
      {[&] { s.processTonecEvent({0x1600, 5}); }, {}},
      {[&] { s.processTonecEvent({128, 6}); }, {}},  // above 127 with no IVA code
      {[&] { s.processToneGenEvent(); }, {"tonec : { timestamp 0, event dtmfDone : NULL }"}},
      {[&] { s.processToneFltEvent(&filter); },
       {"tonec : { timestamp 0, event tone-presence : { freq 1020, presence TRUE } }"}},
      {[&] { s.processVADEvent({1, -1}); }, {"vad : { vad-rx TRUE }"}},
      {[&] { s.processVADEvent({-1, -1}); }, {}},
      {[&] { auto e = flags(0xa0000000u, 0xe0000000u); s.processFlagsEvent(&e); },
       {"vad : { vad-rx TRUE, vad-tx FALSE }", "selcal : { in-progress TRUE }"}},
      {[&] { auto e = bss(0.5f); s.processBSSEvent(&e); }, {"bss : { score \"0.500000\" }"}},
      // 39 integer digits are cut to the 29 characters the buffer holds.
      {[&] { auto e = bss(3.0e38f); s.processBSSEvent(&e); }, {"bss : { score \"30000000054977557577780399428\" }"}},
  };
  size_t total = 0;
  for (const auto& c : cases) {
    probe.received.clear();
    c.event();
    std::vector<std::string> sent;
    for (const LGCP::Signal& sig : probe.received) {
      std::string line;
      for (char ch : sig.asValueNotation())
        if (!std::isspace(static_cast<unsigned char>(ch)) || (!line.empty() && line.back() != ' '))
          line += std::isspace(static_cast<unsigned char>(ch)) ? ' ' : ch;
      sent.push_back(line);
    }
    EXPECT_EQ(sent, c.sent);
    total += sent.size();
  }
  EXPECT_EQ(logs.err(), "bad DTMF code, ignored.\nbad DTMF code, ignored.\nbad VAD event, ignored.\n");
  // The controller can decode every one of them.
  EXPECT_EQ(replies(total).size(), total);
}

TEST(SlotFactory, SlotWithoutFactory) {
  testing_support::LogCapture logs;
  FakeSlot orphan(FakeSlot::Options(), nullptr);
  std::ostringstream name;
  name << orphan;
  EXPECT_EQ(name.str(), "na:fake");
  EXPECT_TRUE(orphan.BeforeDestroy());
  EXPECT_EQ(logs.err(), "slot: internal error!!! BeforeDestroy() not connected to factory\n");
  orphan.on_release();  // not being destroyed: ignored
}

}  // namespace control_test
