#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "foundation/multiplexer.h"
#include "hardware/dsp_receiver.h"
#include "messages/LGCP/LGCP.h"
#include "messages/TERM/TERM.h"
#include "simboard/board.h"
#include "simboard/dsp.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using Hardware::DSProcReceiver;
using SimBoard::Dsp;
using SimBoard::LoggedRequest;
using testing_support::LogCapture;

namespace {

class FakeSlot : public DSProcReceiver {
public:
  explicit FakeSlot(unsigned ts) : ts_(ts) {}
  void dsproc_vad_event(const Hardware::DSProcVADEvent& e) override { vad.push_back({e.vad_rx, e.vad_tx}); }
  void dsproc_bss_event(const ::dsproc_bss_event* e) override { bss.push_back(e->score()); }
  void dsproc_sd_event(const Hardware::DSProcSDEvent& e) override { sd.push_back(e.sd_rx); }
  void dsproc_tone_flt_event(const ::dsproc_tone_event* e) override { tones.push_back({e->tone, e->present}); }
  void dsproc_flags_event(const ::dsproc_flags_event* e) override { flags.push_back({e->flags, e->mask}); }
  unsigned dsproc_timeslot() const override { return ts_; }

  std::vector<std::vector<int32_t>> vad;
  std::vector<float> bss;
  std::vector<int32_t> sd;
  std::vector<std::vector<uint32_t>> tones, flags;

private:
  unsigned ts_;
};

// The words of the logged requests of one number.
std::vector<std::vector<uint32_t>> switched(const SimBoard::Board& board, unsigned long number) {
  std::vector<std::vector<uint32_t>> out;
  for (const LoggedRequest& r : board.log().on("/dev/dsp", number))
    out.push_back({r.word(0), r.word(4), r.word(8)});
  return out;
}

using Words = std::vector<std::vector<uint32_t>>;

class DSProcReceiverTest : public ::testing::Test {
protected:
  SimBoard::Board board;
  Dsp& dsp = board.dsp();
  testing_support::TestClock clock;
  testing_support::LoopRunner loop;
  LogCapture log;
};

}  // namespace

TEST_F(DSProcReceiverTest, FeatureStatesRequestIdsAndMessages) {
  FakeSlot slot(40);
  // BSS starts off, VAD unknown: only the VAD disable reaches the device.
  EXPECT_TRUE(slot.enableBSS(false));
  EXPECT_TRUE(slot.enableVAD(false));
  EXPECT_EQ(switched(board, Dsp::Disable), (Words{{40, 0, 1}}));

  EXPECT_TRUE(slot.enableVAD(true));
  EXPECT_TRUE(slot.enableVAD(true));  // no second request
  EXPECT_TRUE(slot.enableBSS(true));
  EXPECT_EQ(switched(board, Dsp::Enable), (Words{{40, 1, 1}, {40, 2, 16}}));

  // A failed request leaves the state; the id counter still moves on.
  dsp.fail(Dsp::Enable, EIO, 1);
  EXPECT_FALSE(slot.enableNG(true));
  EXPECT_EQ(slot.ng_state(), 0);
  EXPECT_TRUE(slot.enableSelcalSh(true));
  EXPECT_EQ(dsp.last_id(40), 4u);
  // Disabling one feature leaves the others.
  EXPECT_TRUE(slot.disableBSS());
  EXPECT_EQ(dsp.features(40), uint32_t(Dsp::Vad | Dsp::SelcalSh));

  // Mute: both directions in one request, both off as bits 4 and 8.
  board.log().clear();
  EXPECT_TRUE(slot.enableMute(true, false));
  EXPECT_TRUE(slot.disableMute());
  EXPECT_EQ(switched(board, Dsp::Enable), (Words{{40, 5, 4}}));
  EXPECT_EQ(switched(board, Dsp::Disable), (Words{{40, 0, 12}}));
}

TEST_F(DSProcReceiverTest, ConfigureRecordsAndCleanUp) {
  FakeSlot slot(7);
  LGCP::VADParams params;
  params.select_v1();
  dsp.set_version(2);
  EXPECT_FALSE(slot.configureVAD(params));
  EXPECT_TRUE(dsp.requests(Dsp::Configure).empty());
  TERM::VADParamsV2& v2 = params.select_v2();
  v2.set_voice_th_msec(300);
  v2.set_silence_th_msec(500);
  v2.set_e_th_dB(-40);
  EXPECT_TRUE(slot.configureVAD(params));
  dsp.set_version(1);
  EXPECT_TRUE(slot.configureVAD(params));
  EXPECT_TRUE(slot.configureDelays(1, 2, 3));
  EXPECT_TRUE(slot.configureRxGain(-6));
  EXPECT_TRUE(slot.configureToneFilter(1020, 1, 150, -30));
  EXPECT_TRUE(slot.configureSD());
  std::vector<std::string> records;
  for (const LoggedRequest& r : dsp.requests(Dsp::Configure))
    records.push_back(SimBoard::as_hex(r.in));
  EXPECT_EQ(records, (std::vector<std::string>{
                         "00 00 00 07 00 00 00 01 01 2c 01 f4 d8 00 00 00 00 00 00 00",
                         "00 00 00 07 00 00 00 01 00 00 00 03 00 00 00 7f 00 00 00 00",
                         "00 00 00 07 00 00 00 20 00 00 00 01 00 00 00 02 00 00 00 03",
                         "00 00 00 07 00 00 00 40 fa 00 00 00 00 00 00 00 00 00 00 00",
                         "00 00 00 07 00 00 01 00 03 fc 01 00 00 96 e2 00 00 00 00 00",
                         "00 00 00 07 00 00 00 02 00 00 00 00 00 00 00 00 00 00 00 00"}));

  // Clean-up: the features that are on, the settings left, then all tone filters.
  slot.enableVAD(true);
  slot.enableSD(true);
  slot.enableNG(true);
  board.log().clear();
  slot.CleanBeforeDestroy();
  std::vector<std::string> seen;
  for (const LoggedRequest& r : dsp.requests())
    seen.push_back(std::to_string(r.number == Dsp::Disable) + ":" + std::to_string(r.word(4)) + ":" +
                   std::to_string(r.word(8)));
  EXPECT_EQ(seen, (std::vector<std::string>{"1:0:1", "1:0:128", "0:32:0", "0:64:0", "1:0:256"}));
}

TEST_F(DSProcReceiverTest, EventsOfEveryTypeReachTheSlotOfTheirTimeslot) {
  FakeSlot first(12), shared(12), other(13);
  first.enableVAD(true);
  first.enableSD(true);
  first.enableBSS(true);
  uint32_t vadId = first.vad_id(), sdId = first.sd_id();
  log.clear();

  dsp.vad(12, vadId, 2, 5, 1);
  dsp.vad(12, vadId, 3, 0, 1);
  dsp.vad(12, vadId + 100, 1, 1, 1);  // an earlier enabling's id
  dsp.sd(12, sdId, 4);
  dsp.sd(12, sdId + 1, 5);
  dsp.bss(12, 999, 2.5f);
  dsp.tone(12, 0, 1020, 1);
  dsp.flags(12, 0, 0x81, 0xff);
  dsp.inject(Dsp::event(12, 0, 4, 0));  // a type without events
  dsp.vad(14, 1, 1, 1, 1);                     // nobody's time slot
  ASSERT_TRUE(loop.until([&] { return !first.flags.empty(); }));
  loop.turn(2);
  EXPECT_EQ(first.vad, (std::vector<std::vector<int32_t>>{{-1, 1}, {0, 1}}));
  EXPECT_EQ(first.sd, std::vector<int32_t>{4});
  EXPECT_EQ(first.bss, std::vector<float>{2.5f});
  EXPECT_EQ(first.tones, (std::vector<std::vector<uint32_t>>{{1020, 1}}));
  EXPECT_EQ(first.flags, (std::vector<std::vector<uint32_t>>{{0x81, 0xff}}));
  EXPECT_TRUE(shared.vad.empty() && shared.tones.empty() && other.vad.empty());

  // Switched off: VAD and BSS events are dropped; -1 (unknown) would pass.
  first.disableVAD();
  first.disableBSS();
  dsp.vad(12, vadId, 1, 1, 1);
  dsp.bss(12, 0, 1.0f);
  dsp.tone(12, 0, 5, 0);
  ASSERT_TRUE(loop.until([&] { return first.tones.size() == 2; }));
  EXPECT_EQ(first.vad.size(), 2u);
  EXPECT_EQ(first.bss.size(), 1u);
}

TEST_F(DSProcReceiverTest, ReadingStopsOnShortRecordsErrorsAndADeviceGone) {
  FakeSlot slot(3);
  ASSERT_EQ(dsp.open_count(), 1u);
  std::shared_ptr<SimBoard::OpenFile> file = dsp.files()[0];

  file->send(SimBoard::Bytes(10, 0));  // a part of a record
  dsp.tone(3, 0, 1, 1);
  file->send_read_error(EIO);
  dsp.tone(3, 0, 2, 1);
  ASSERT_TRUE(loop.until([&] { return slot.tones.size() == 2; }));
  EXPECT_EQ(log.err(), "short dsproc event record dropped: 10 bytes\nfail to read from dsproc: Input/output error\n");

  // At end of file, and hung up: no longer watched (logged once), and
  // opened again by the next configuration (enabling does not open it),
  // unless the device is missing then.
  size_t watched = multiplexer.handler_count();
  for (bool hangUp : {false, true}) {
    log.clear();
    if (hangUp)
      dsp.files()[0]->close();
    else
      file->send(SimBoard::Bytes());  // a read of nothing
    loop.turn(5);
    EXPECT_EQ(log.err(), hangUp ? "dsproc: device hung up, closed until its next use\n"
                                : "dsproc: device at end of file, closed until its next use\n");
    EXPECT_EQ(multiplexer.handler_count(), watched - 1);
    EXPECT_EQ(dsp.open_count(), 0u);
    EXPECT_FALSE(slot.enableSD(true));
    dsp.set_present(false);
    EXPECT_FALSE(slot.configureSD());
    dsp.set_present(true);
    EXPECT_TRUE(slot.configureSD());
    EXPECT_EQ(dsp.open_count(), 1u);
    EXPECT_EQ(multiplexer.handler_count(), watched);
  }
  dsp.tone(3, 0, 3, 1);
  EXPECT_TRUE(slot.enableSD(true));
  dsp.sd(3, slot.sd_id(), 9);
  ASSERT_TRUE(loop.until([&] { return slot.tones.size() == 3 && slot.sd.size() == 1; }));
}
