#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/multiplexer.h"
#include "foundation/mux_time.h"
#include "hardware/tonec_receiver.h"
#include "messages/LGCP/LGCP.h"
#include "messages/TERM/TERM.h"
#include "simboard/board.h"
#include "simboard/dtmf.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using Hardware::TonecReceiver;
using SimDtmf = SimBoard::Dtmf;
using SimBoard::LoggedRequest;
using testing_support::LogCapture;

namespace {

class FakeSlot : public TonecReceiver {
public:
  explicit FakeSlot(unsigned ts) : ts_(ts) {}
  void tonec_event(const Params& p) override { events.push_back({p.code, p.timestamp}); }
  unsigned tonec_timeslot() const override { return ts_; }
  void tone_gen_complete() override { completedAt.push_back(Mux::milliseconds()); }

  std::vector<std::vector<uint32_t>> events;
  std::vector<uint32_t> completedAt;

private:
  unsigned ts_;
};

LGCP::TranslateDtmfParams Digits(std::initializer_list<std::pair<int, int>> pairs) {
  LGCP::TranslateDtmfParams p;
  auto& digits = p.mutable_digits();
  for (const auto& pair : pairs) {
    LGCP::DualTone tone;
    tone.set_freq1(pair.first);
    tone.set_freq2(pair.second);
    digits.push_back(tone);
  }
  return p;
}

class TonecReceiverTest : public ::testing::Test {
protected:
  // The generator settings of a time slot as "ms:f1/f2/a1/a2", times from t0.
  std::vector<std::string> played(unsigned ts) {
    std::vector<std::string> out;
    for (const SimDtmf::Tone& t : dtmf.channel(ts).tones)
      out.push_back(std::to_string(t.at - t0) + ":" + std::to_string(t.freq1) + "/" + std::to_string(t.freq2) + "/" +
                    std::to_string(t.amp1) + "/" + std::to_string(t.amp2));
    return out;
  }

  SimBoard::Board board;
  SimDtmf& dtmf = board.dtmf();
  testing_support::TestClock clock;
  testing_support::LoopRunner loop;
  LogCapture log;
  uint32_t t0 = Mux::milliseconds();
};

}  // namespace

TEST_F(TonecReceiverTest, RequestsFlagsAndMessages) {
  FakeSlot slot(30);
  EXPECT_TRUE(slot.enableDTMF(false));  // already off: no request
  EXPECT_TRUE(dtmf.requests().empty());

  LGCP::DTMFParams params;
  params.mutable_threshold().set_twist(8);
  params.mutable_threshold().set_ratio(6);
  params.mutable_threshold().set_noise(300);
  params.mutable_level().set_silence(40);
  EXPECT_TRUE(slot.configureDTMF(params));
  EXPECT_EQ(SimBoard::as_hex(dtmf.requests(SimDtmf::ConfigureDetector)[0].in),
            "00 00 00 1e 00 00 00 08 00 00 00 06 00 00 00 28 00 00 01 2c");
  EXPECT_TRUE(slot.enableDTMF(true));
  EXPECT_TRUE(slot.enableDTMF(true));
  EXPECT_TRUE(slot.echoCancel(true));
  EXPECT_TRUE(slot.enableDTMFReject(true));
  EXPECT_TRUE(slot.enableIVA(true));
  EXPECT_TRUE(slot.enableIVA(true));  // IVA is not skipped
  LGCP::IVAParams iva;
  iva.set_det_lvl_dB(-35);
  EXPECT_TRUE(slot.configureIVA(iva));
  EXPECT_EQ(dtmf.requests(SimDtmf::EnableDetector).size(), 1u);
  EXPECT_EQ(dtmf.requests(SimDtmf::IvaOn).size(), 2u);
  EXPECT_EQ(dtmf.requests(SimDtmf::IvaConfigure)[0].word(4), uint32_t(-35));

  // SELCAL: four signs and the default amplitude, or nothing for fewer signs.
  TERM::SelcalCommand selcal;
  selcal.set_signs("AB");
  slot.translateSelcal(selcal);
  selcal.set_signs("PQRSX");
  slot.translateSelcal(selcal);
  ASSERT_EQ(dtmf.requests(SimDtmf::SelcalDial).size(), 1u);
  EXPECT_EQ(SimBoard::as_hex(dtmf.requests(SimDtmf::SelcalDial)[0].in), "00 00 00 1e 2e e0 50 51 52 53 00 00");

  // A failure leaves the flags as they were.
  dtmf.fail(SimDtmf::RejectOff, EIO, 1);
  EXPECT_FALSE(slot.enableDTMFReject(false));
  EXPECT_TRUE(slot.dtmf_reject_on());

  // Clean-up: DTMF, IVA, rejection. The shared events flag went off with DTMF,
  // so IVA's disable is still made (it is never skipped).
  board.log().clear();
  slot.CleanBeforeDestroy();
  std::vector<unsigned long> made;
  for (const LoggedRequest& r : dtmf.requests())
    made.push_back(r.number);
  EXPECT_EQ(made, (std::vector<unsigned long>{SimDtmf::DisableDetector, SimDtmf::IvaOff, SimDtmf::RejectOff}));
  EXPECT_FALSE(slot.dtmf_on() || slot.iva_on() || slot.dtmf_reject_on() || slot.detector_events());
}

TEST_F(TonecReceiverTest, DigitStringsPlayOnTheirTiming) {
  FakeSlot slot(4);
  slot.translateDTMF(Digits({{697, 1209}, {770, 1336}, {941, 1477}}));
  EXPECT_TRUE(slot.playing());
  ASSERT_TRUE(loop.until([&] { return !slot.completedAt.empty(); }));
  EXPECT_EQ(played(4), (std::vector<std::string>{"0:697/1209/16384/16384", "70:1000/1000/0/0",
                                                 "140:770/1336/16384/16384", "210:1000/1000/0/0",
                                                 "280:941/1477/16384/16384", "350:1000/1000/0/0", "420:0/0/0/0"}));
  EXPECT_EQ(slot.completedAt, std::vector<uint32_t>{t0 + 420});
  EXPECT_FALSE(slot.playing());

  // Durations and amplitudes of the command.
  FakeSlot other(5);
  LGCP::TranslateDtmfParams p = Digits({{697, 1209}, {697, 1336}});
  p.set_amp1(1000);
  p.set_amp2(2000);
  p.set_toneDuration(100);
  p.set_pauseDuration(40);
  t0 = Mux::milliseconds();
  other.translateDTMF(p);
  ASSERT_TRUE(loop.until([&] { return !other.completedAt.empty(); }));
  EXPECT_EQ(played(5), (std::vector<std::string>{"0:697/1209/1000/2000", "100:1000/1000/0/0",
                                                 "140:697/1336/1000/2000", "240:1000/1000/0/0", "280:0/0/0/0"}));

  // A second string while one plays replaces the digits left and their
  // timing; the tone playing keeps its own.
  FakeSlot third(7);
  t0 = Mux::milliseconds();
  third.translateDTMF(p);
  third.translateDTMF(Digits({{852, 1633}}));
  ASSERT_TRUE(loop.until([&] { return !third.completedAt.empty(); }));
  EXPECT_EQ(played(7), (std::vector<std::string>{"0:697/1209/1000/2000", "100:1000/1000/0/0",
                                                 "170:852/1633/16384/16384", "240:1000/1000/0/0", "310:0/0/0/0"}));
  EXPECT_EQ(third.completedAt.size(), 1u);

  // No digits: off and complete at once.
  FakeSlot empty(6);
  t0 = Mux::milliseconds();
  empty.translateDTMF(LGCP::TranslateDtmfParams());
  EXPECT_EQ(played(6), std::vector<std::string>{"0:0/0/0/0"});
  EXPECT_EQ(empty.completedAt.size(), 1u);
}

TEST_F(TonecReceiverTest, RingBackCadenceCancelAndTakeOver) {
  FakeSlot slot(8);
  slot.activateAudibleCall();
  ASSERT_TRUE(loop.until([&] { return dtmf.channel(8).tones.size() == 5; }));
  EXPECT_EQ(played(8), (std::vector<std::string>{"0:1425/0/2048/2048", "1000:1000/1000/0/0", "4000:1425/0/2048/2048",
                                                 "5000:1000/1000/0/0", "8000:1425/0/2048/2048"}));
  // Cancelled in the tone phase: off, and it does not come back.
  clock.advance(500);
  slot.cancelAudibleCall();
  EXPECT_TRUE(dtmf.channel(8).tones.back().off());
  loop.turn(3);
  clock.advance(10000);
  loop.turn(3);
  EXPECT_EQ(dtmf.channel(8).tones.size(), 6u);

  // A digit string takes the ring-back's timer at once; the ring-back does
  // not resume after it.
  FakeSlot caller(9);
  t0 = Mux::milliseconds();
  caller.activateAudibleCall();
  clock.advance(300);
  caller.translateDTMF(Digits({{697, 1209}}));
  ASSERT_TRUE(loop.until([&] { return !caller.completedAt.empty(); }));
  loop.turn(2);
  clock.advance(20000);
  loop.turn(3);
  EXPECT_EQ(played(9), (std::vector<std::string>{"0:1425/0/2048/2048", "300:697/1209/16384/16384",
                                                 "370:1000/1000/0/0", "440:0/0/0/0"}));
}

TEST_F(TonecReceiverTest, DisableGeneratorAndCancelWhileAStringPlays) {
  FakeSlot slot(11);
  EXPECT_FALSE(slot.disableToneGenerator(false));  // nothing playing: no request
  slot.translateDTMF(Digits({{697, 1209}, {770, 1209}}));
  slot.cancelAudibleCall();  // a string plays: nothing
  EXPECT_TRUE(slot.disableToneGenerator(false));
  EXPECT_FALSE(slot.playing());
  clock.advance(1000);
  loop.turn(3);
  EXPECT_EQ(played(11), (std::vector<std::string>{"0:697/1209/16384/16384", "0:0/0/0/0"}));
  EXPECT_TRUE(slot.completedAt.empty());
}

TEST_F(TonecReceiverTest, EventsReachTheFirstSlotOfTheirTimeslot) {
  FakeSlot first(20), second(20), off(21);
  first.enableDTMF(true);
  first.enableDTMF(false);
  first.enableDTMF(true);  // id 2; events of id 1 are late
  second.enableDTMF(true);
  log.clear();
  dtmf.event(5, 20, 1000, 2);
  dtmf.event(6, 20, 1010, 1);
  dtmf.event(7, 21, 1020, 0);
  dtmf.event(8, 22, 1030, 0);
  dtmf.event(17, 20, 1040, 2);
  ASSERT_TRUE(loop.until([&] { return first.events.size() == 2; }));
  loop.turn(2);
  EXPECT_EQ(first.events, (std::vector<std::vector<uint32_t>>{{5, 1000}, {17, 1040}}));
  EXPECT_TRUE(second.events.empty() && off.events.empty());

  // A part of a record ends a reading; the next records still come.
  std::shared_ptr<SimBoard::OpenFile> file = dtmf.files()[0];
  log.clear();
  file->send(SimBoard::Bytes(12, 0));
  dtmf.event(1, 20, 1, 2);
  ASSERT_TRUE(loop.until([&] { return first.events.size() == 3; }));
  EXPECT_EQ(log.err(), "short tonec event record dropped: 12 bytes\n");
  // Hung up: no longer watched, and opened again by the next use.
  size_t watched = multiplexer.handler_count();
  file->close();
  loop.turn(5);
  EXPECT_EQ(multiplexer.handler_count(), watched - 1);
  EXPECT_TRUE(first.configureIVA(LGCP::IVAParams()));
  EXPECT_EQ(multiplexer.handler_count(), watched);
  dtmf.event(2, 20, 2, 2);
  EXPECT_TRUE(loop.until([&] { return first.events.size() == 4; }, 100));
}
