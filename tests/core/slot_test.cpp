// Board events turned into signals by the slot base, and a slot without a
// factory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "hardware/dsp_receiver.h"
#include "tests/core/control_fixture.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace control_test {

class SlotEventTest : public ControlTest {
protected:
  void SetUp() override {
    ControlTest::SetUp();
    create(1, 5, 3, 8200);
    ASSERT_EQ(replies(1).size(), 1u);
    s = slot(5);
    logs.clear();
  }
  // The signals the slot sent since the last call, by alternative.
  std::vector<std::string> sent() {
    std::vector<std::string> names = probe.signals;
    probe.signals.clear();
    return names;
  }
  const auto& tone() { return probe.received.back().get_tonec().get_event(); }
  const LGCP::Signal& last() { return probe.received.back(); }

  FakeSlot* s = nullptr;
};

TEST_F(SlotEventTest, ToneEvents) {
  s->processTonecEvent({65, 100});
  EXPECT_EQ(last().get_tonec().get_timestamp().getValue(), 100);
  EXPECT_EQ(tone().get_dtmf().getValue(), 65u);
  s->processTonecEvent({0x0305, 3});
  EXPECT_EQ(tone().get_iva().get_code().getValue(), 3u);
  s->processTonecEvent({0x1500, 4});
  EXPECT_TRUE(tone().get_iva().is_ringoff());
  s->processTonecEvent({17, 1});
  EXPECT_TRUE(tone().is_ced());
  s->processToneGenEvent();
  EXPECT_TRUE(tone().is_dtmfDone());
  dsproc_tone_event flt;
  flt.tone = 1020;
  flt.present = 1;
  s->processToneFltEvent(&flt);
  EXPECT_EQ(tone().get_tone_presence().get_freq().getValue(), 1020);
  EXPECT_TRUE(tone().get_tone_presence().get_presence().getValue());
  EXPECT_EQ(sent().size(), 6u);
  s->processTonecEvent({0x1600, 5});
  s->processTonecEvent({128, 6});  // above 127 with no IVA code
  EXPECT_THAT(sent(), IsEmpty());
  EXPECT_EQ(logs.err(), "bad DTMF code, ignored.\nbad DTMF code, ignored.\n");
  // The controller can decode every one of them.
  EXPECT_EQ(replies(6).size(), 6u);
}

TEST_F(SlotEventTest, DspEvents) {
  s->processVADEvent({1, -1});
  EXPECT_FALSE(last().get_vad().has_vad_tx());
  s->processVADEvent({-1, -1});
  EXPECT_EQ(logs.err(), "bad VAD event, ignored.\n");
  dsproc_flags_event flags;
  flags.flags = 0xa0000000u;
  flags.mask = 0xe0000000u;
  s->processFlagsEvent(&flags);
  EXPECT_FALSE(probe.received[probe.received.size() - 2].get_vad().get_vad_tx().getValue());
  EXPECT_TRUE(last().get_selcal().get_in_progress().getValue());

  // The score as "%4.6f"; 39 integer digits are cut to the 29 characters the buffer holds.
  char full[64];
  for (float score : {0.5f, 3.0e38f}) {
    uint32_t bits;
    std::memcpy(&bits, &score, sizeof bits);
    dsproc_bss_event e;
    e.score_bits = bits;
    s->processBSSEvent(&e);
    std::snprintf(full, sizeof full, "%4.6f", static_cast<double>(score));
    EXPECT_EQ(last().get_bss().get_score().getValue(), std::string(full).substr(0, 29));
  }
  EXPECT_EQ(last().get_bss().get_score().getValue().size(), 29u);
  EXPECT_THAT(sent(), ElementsAre("vad", "vad", "selcal", "bss", "bss"));
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
