// The slot base: names in log lines, the signal senders, board events
// turned into signals, and the factory chain.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "core/rtp_event.h"
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
  const LGCP::Signal& last() { return probe.received.back(); }

  FakeSlot* s = nullptr;
};

TEST_F(SlotEventTest, ToneEvents) {
  s->processTonecEvent({65, 100});
  EXPECT_EQ(last().get_tonec().get_timestamp().getValue(), 100);
  EXPECT_EQ(last().get_tonec().get_event().get_dtmf().getValue(), 65u);
  s->processTonecEvent({0x0305, 3});
  EXPECT_EQ(last().get_tonec().get_event().get_iva().get_code().getValue(), 3u);
  s->processTonecEvent({0x1500, 4});
  EXPECT_TRUE(last().get_tonec().get_event().get_iva().is_ringoff());
  s->processTonecEvent({17, 1});
  EXPECT_TRUE(last().get_tonec().get_event().is_ced());
  EXPECT_EQ(sent().size(), 4u);
  s->processTonecEvent({0x1600, 5});
  s->processTonecEvent({128, 6});  // above 127 with no IVA code
  EXPECT_THAT(sent(), IsEmpty());
  EXPECT_EQ(logs.err(), "bad DTMF code, ignored.\nbad DTMF code, ignored.\n");

  s->processToneGenEvent();
  EXPECT_TRUE(last().get_tonec().get_event().is_dtmfDone());
  EXPECT_EQ(last().get_tonec().get_timestamp().getValue(), 0);
  dsproc_tone_event tone;
  tone.tone = 1020;
  tone.present = 1;
  s->processToneFltEvent(&tone);
  const LGCP::TonePresence& presence = last().get_tonec().get_event().get_tone_presence();
  EXPECT_EQ(presence.get_freq().getValue(), 1020);
  EXPECT_TRUE(presence.get_presence().getValue());
  // The controller can decode every one of them.
  EXPECT_EQ(replies(6).size(), 6u);
}

TEST_F(SlotEventTest, DspAndRtpEvents) {
  s->processVADEvent({1, -1});
  EXPECT_TRUE(last().get_vad().has_vad_rx() && last().get_vad().get_vad_rx().getValue());
  EXPECT_FALSE(last().get_vad().has_vad_tx());
  s->processSDEvent({3});
  EXPECT_TRUE(last().get_sd().get_sd_rx().getValue());
  EXPECT_EQ(sent().size(), 2u);
  s->processVADEvent({-1, -1});
  s->processSDEvent({-1});
  EXPECT_THAT(sent(), IsEmpty());
  EXPECT_EQ(logs.err(), "bad VAD event, ignored.\nbad SD event, ignored.\n");

  dsproc_flags_event flags;
  flags.flags = 0xa0000000u;
  flags.mask = 0xe0000000u;
  s->processFlagsEvent(&flags);
  EXPECT_THAT(sent(), ElementsAre("vad", "selcal"));
  EXPECT_TRUE(probe.received[probe.received.size() - 2].get_vad().get_vad_rx().getValue());
  EXPECT_FALSE(probe.received[probe.received.size() - 2].get_vad().get_vad_tx().getValue());
  EXPECT_TRUE(last().get_selcal().get_in_progress().getValue());

  auto bss = [](float score) {
    dsproc_bss_event e;
    uint32_t bits;
    std::memcpy(&bits, &score, sizeof bits);
    e.score_bits = bits;
    return e;
  };
  dsproc_bss_event half = bss(0.5f);
  s->processBSSEvent(&half);
  EXPECT_EQ(last().get_bss().get_score().getValue(), "0.500000");
  // 39 integer digits: the text is cut to the 29 characters the buffer holds.
  dsproc_bss_event huge = bss(3.0e38f);
  s->processBSSEvent(&huge);
  char full[64];
  std::snprintf(full, sizeof full, "%4.6f", static_cast<double>(3.0e38f));
  EXPECT_EQ(last().get_bss().get_score().getValue(), std::string(full, 29));

  rtp_event rtp;
  rtp.type = 1;
  rtp.value = 7;
  rtp.timeout = 300;
  s->processRtpEvent(rtp);
  EXPECT_EQ(last().get_rtp().get_pd().get_timeout().getValue(), 300);
  rtp.type = 2;  // not a packet-delay event: nothing
  s->processRtpEvent(rtp);
  EXPECT_THAT(sent(), ElementsAre("bss", "bss", "rtp"));
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
