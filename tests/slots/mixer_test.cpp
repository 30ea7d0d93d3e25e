// Conference mixer slots: unit discovery and lifetime, the summator
// programming as request traces, the ioctl table of each slot type, and
// the tone generator a release leaves off.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <set>

#include "simboard/dsp.h"
#include "simboard/dtmf.h"
#include "simboard/mixer.h"
#include "slots/mixer_device.h"
#include "slots/mixer_factory.h"
#include "tests/slots/slot_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;

namespace slot_test {
namespace {

using Channel = std::pair<bool, int>;  // {tdm, number}; false: rtp
const Channel Tdm(int n) { return {true, n}; }
const Channel Rtp(int n) { return {false, n}; }

void fillChannel(LGCP::MixerChannel& c, Channel ch) {
  if (ch.first)
    c.select_tdm().setValue(ch.second);
  else
    c.select_rtp().setValue(ch.second);
}

class MixerSlots : public SlotTest {
protected:
  void SetUp() override {
    SlotTest::SetUp();
    sim().clear_failures();
    while (!sim().units().empty())
      sim().remove_unit(sim().units().front().number);
  }

  SimBoard::Mixer& sim() { return board.mixer(); }

  LGCP::Resources query() {
    LGCP::Resources r;
    factory_.Query(r);
    return r;
  }
  void mixerIn(int seq, int slot, int unit, Channel channel, std::optional<Channel> summator = {}) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::MixerInParams& in = p.select_mixerIn();
      in.set_unit(unit);
      fillChannel(in.mutable_channel(), channel);
      if (summator)
        fillChannel(in.mutable_summator(), *summator);
    });
  }
  void mixerOut(int seq, int slot, int unit, Channel channel, std::vector<std::pair<Channel, int>> inputs = {}) {
    create(seq, slot, [&](LGCP::CreateParams& p) {
      LGCP::MixerOutParams& out = p.select_mixerOut();
      out.set_unit(unit);
      fillChannel(out.mutable_channel(), channel);
      for (auto& [ch, gain] : inputs) {
        LGCP::MixerInput input;
        fillChannel(input.mutable_channel(), ch);
        input.set_gain(gain);
        out.mutable_inputs().push_back(input);
      }
    });
  }
  // The mixer requests since the last call, one line each: "ADD 0/0/5
  // 0/0/3 32767" (summator, input, gain), "TDM 0/0/3 = 2003" (its result).
  std::vector<std::string> trace() {
    std::vector<std::string> lines;
    for (const SimBoard::LoggedRequest& r : sim().requests()) {
      auto addr = [&](size_t at) {
        return " " + std::to_string(int32_t(r.word(at))) + "/" + std::to_string(r.word(at + 4)) + "/" +
               std::to_string(int32_t(r.word(at + 8)));
      };
      std::string line = r.number == Mixer::MIX_RX_CLEAR    ? "CLEAR" + addr(0)
                         : r.number == Mixer::MIX_RX_ADD    ? "ADD" + addr(0) + addr(12) + " " + std::to_string(r.word(24))
                         : r.number == Mixer::MIX_RX_REMOVE ? "REMOVE" + addr(0) + addr(12)
                         : r.number == Mixer::MIX_TDM       ? "TDM" + addr(0) + " = " + std::to_string(r.result)
                                                            : "UNITS " + std::to_string(int32_t(r.word(0)));
      lines.push_back(r.result < 0 ? line + " fail" : line);
    }
    board.log().clear();
    return lines;
  }

  Mixer::MixerFactory factory_;
};

TEST_F(MixerSlots, DiscoveryAndUnitLifetime) {
  sim().add_unit(0, 16, 32);
  sim().add_unit(1, 8, 24);
  board.log().clear();
  LGCP::Resources r = query();
  ASSERT_EQ(r.get_mixer().size(), 2u);
  for (const LGCP::MixerResources_subtype& m : r.get_mixer())  // the smallest counts, on every unit
    EXPECT_EQ(std::vector<int>({m.get_tdm_inputs().getValue(), m.get_tdm_outputs().getValue(),
                                m.get_mixer_inputs().getValue(), m.get_dpu_per_mixer().getValue(),
                                m.get_dpu_per_ec().getValue(), m.get_dpu_per_lms().getValue()}),
              std::vector<int>({8, 8, 24, 770, 17, 24}));
  // Each new unit has its summators cleared, up to the count known so far.
  std::vector<std::string> t = trace();
  ASSERT_EQ(t.size(), 27u);
  EXPECT_EQ((std::vector<std::string>{t[0], t[1], t[16], t[17], t[18], t[26]}),
            (std::vector<std::string>{"UNITS -1", "CLEAR 0/0/0", "CLEAR 0/0/15", "UNITS 0", "CLEAR 1/0/0",
                                      "UNITS 1 fail"}));

  mixerIn(2, 1, 1, Tdm(8));  // beyond the smallest TDM channel count
  mixerIn(3, 1, 1, Tdm(7));
  mixerOut(4, 2, 1, Tdm(6));
  EXPECT_THAT(replies(3), ElementsAre("seq=2 slot=1 error insufficientResources", "seq=3 slot=1 success",
                                      "seq=4 slot=2 success"));

  // Unit 1 vanishes: its slots hear of it, new creates do not find it, and
  // it lives on until its last slot is destroyed.
  sim().remove_unit(1);
  r = query();
  ASSERT_EQ(r.get_mixer().size(), 1u);
  EXPECT_EQ(r.get_mixer().begin()->get_tdm_inputs().getValue(), 16);
  EXPECT_THAT(messages(2), ElementsAre("slot=1 signal abort 0", "slot=2 signal abort 0"));
  mixerIn(5, 3, 1, Tdm(2));
  EXPECT_THAT(replies(1), ElementsAre("seq=5 slot=3 error insufficientResources"));
  destroy(6, 1);
  destroy(7, 2);  // frees the unit (the sanitizers see a use after free or a leak)
  EXPECT_EQ(replies(4).size(), 4u);

  // Back again, it is a new unit and is reset; a driver that never stops
  // is read for 100 units at most.
  sim().add_unit(1, 8, 24);
  for (int n = 2; n < 150; ++n)
    sim().add_unit(n, 4, 4);
  board.log().clear();
  r = query();
  EXPECT_EQ(r.get_mixer().size(), 100u);
  t = trace();
  EXPECT_EQ(std::count_if(t.begin(), t.end(), [](const std::string& l) { return l.rfind("UNITS", 0) == 0; }), 100);
  EXPECT_THAT(t, testing::Contains("CLEAR 1/0/3"));
}

TEST_F(MixerSlots, SummatorProgrammingTraces) {
  sim().add_unit(0, 16, 32, 2000);
  query();
  trace();
  struct Case {
    std::function<void()> create;
    const char* answer;
    std::vector<std::string> requests;
  };
  const Case cases[] = {
      {[&] { mixerIn(1, 1, 0, Tdm(3), Tdm(5)); }, "seq=1 slot=1 success",
       {"TDM 0/0/3 = 2003", "ADD 0/0/5 0/0/3 32767"}},
      {[&] { mixerIn(3, 3, 0, Tdm(6), Rtp(5)); }, "seq=3 slot=3 success", {"TDM 0/0/6 = 2006"}},  // no summator
      {[&] { mixerOut(4, 4, 0, Tdm(2)); }, "seq=4 slot=4 success",
       {"CLEAR 0/0/2", "ADD 0/0/2 0/0/2 32767", "TDM 0/0/2 = 2002"}},
      {[&] { mixerOut(5, 5, 0, Tdm(7), {{Tdm(1), 100}, {Rtp(4), 200}}); }, "seq=5 slot=5 error insufficientResources",
       {"CLEAR 0/0/7", "ADD 0/0/7 0/0/1 100"}},
      {[&] { mixerOut(6, 5, 0, Tdm(8), {{Tdm(1), 100}, {Tdm(3), 300}}); }, "seq=6 slot=5 success",
       {"CLEAR 0/0/8", "ADD 0/0/8 0/0/1 100", "ADD 0/0/8 0/0/3 300", "TDM 0/0/8 = 2008"}},
      {[&] { mixerOut(7, 6, 0, Rtp(2)); }, "seq=7 slot=6 error insufficientResources", {}},
  };
  for (const Case& c : cases) {
    c.create();
    EXPECT_THAT(replies(1), ElementsAre(c.answer));
    EXPECT_EQ(trace(), c.requests) << c.answer;
  }
  EXPECT_EQ(sim().summator(0, 8), (std::map<int, int>{{1, 100}, {3, 300}}));

  // A failing summator add still gives the slot; a failing MIX_TDM does not.
  sim().fail(Mixer::MIX_RX_ADD, EIO, 1);
  mixerIn(10, 7, 0, Tdm(9), Tdm(5));
  EXPECT_THAT(replies(1), ElementsAre("seq=10 slot=7 success"));
  sim().fail(Mixer::MIX_TDM, EIO, 1);
  mixerIn(11, 8, 0, Tdm(10));
  EXPECT_THAT(replies(1), ElementsAre("seq=11 slot=8 error insufficientResources"));
  trace();

  // Release undoes what each slot programmed and disables its switch channel.
  unsigned disables = board.hal().output(2003).disables;
  for (int slot : {1, 3, 4, 7})
    destroy(11 + slot, slot);
  EXPECT_EQ(replies(8).size(), 8u);
  EXPECT_THAT(trace(), ElementsAre("REMOVE 0/0/5 0/0/3", "CLEAR 0/0/2", "REMOVE 0/0/5 0/0/9 fail"));
  EXPECT_EQ(board.hal().output(2003).disables, disables + 1);
}

// A slot destroyed while a digit string plays on its time slot silences
// the generator and then switches it off; one whose string has ended
// leaves the generator alone. The loop clock stands still: the strings do
// not move on by themselves.
TEST_F(MixerSlots, ReleaseSilencesADigitStringThatPlays) {
  clock.set_auto_advance(false);
  sim().add_unit(0, 16, 32, 3600);
  query();
  mixerIn(1, 1, 0, Tdm(3));    // time slot 3603
  mixerOut(2, 2, 0, Tdm(4));   // time slot 3604
  mixerOut(3, 3, 0, Tdm(5));   // time slot 3605
  ASSERT_EQ(replies(3).size(), 3u);
  struct Case {
    int slot;
    uint32_t timeslot;
    int digits;  // 0: a string that ends at once
  } const cases[] = {{1, 3603, 2}, {2, 3604, 2}, {3, 3605, 0}};
  int seq = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slot);
    send(seq, c.slot, [&](LGCP::Command& cmd) {
      LGCP::TranslateDtmfParams& p = cmd.select_ioctl().select_translateDTMF();
      for (int d = 0; d < c.digits; ++d) {
        LGCP::DualTone tone;
        tone.set_freq1(697 + 73 * d);
        tone.set_freq2(1209);
        p.mutable_digits().push_back(tone);
      }
    });
    // An output reports the end of its string.
    std::vector<std::string> answer = {"seq=" + std::to_string(seq) + " slot=" + std::to_string(c.slot) + " success"};
    if (c.digits == 0)
      answer.insert(answer.begin(), "slot=" + std::to_string(c.slot) + " signal tonec");
    EXPECT_THAT(replies(answer.size()), testing::ElementsAreArray(answer));
    const std::vector<SimBoard::Dtmf::Tone> before = board.dtmf().channel(c.timeslot).tones;
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(before.back().off(), c.digits == 0);
    destroy(seq + 1, c.slot);
    EXPECT_EQ(replies(2).size(), 2u);
    const std::vector<SimBoard::Dtmf::Tone>& after = board.dtmf().channel(c.timeslot).tones;
    if (c.digits == 0) {
      EXPECT_EQ(after.size(), before.size());
    } else {
      ASSERT_EQ(after.size(), before.size() + 2);
      EXPECT_TRUE(after[after.size() - 2].silent());
      EXPECT_TRUE(after.back().off());
    }
    seq += 2;
  }
}

// One ioctl of each alternative to each slot type: the ones a type serves
// succeed, the others are answered unsupported.
TEST_F(MixerSlots, IoctlTables) {
  sim().add_unit(0, 16, 32, 3000);
  query();
  mixerIn(1, 1, 0, Tdm(3));
  mixerOut(2, 2, 0, Tdm(4));
  ASSERT_EQ(replies(2).size(), 2u);
  using P = LGCP::IoctlParams;
  const std::set<int> served[] = {
      {P::alt_echoSuppressor, P::alt_translateDTMF, P::alt_dtmf_params, P::alt_dtmf_enable, P::alt_vad_params,
       P::alt_vad_enable, P::alt_vad_disable, P::alt_dtmf_reject_enable, P::alt_sd_params, P::alt_sd_enable,
       P::alt_sd_disable, P::alt_iva_enable, P::alt_iva_params, P::alt_rx_gain, P::alt_delays, P::alt_tone_filter},
      // dtmf-disable stops only a digit string that plays, and none does.
      {P::alt_translateDTMF, P::alt_dtmf_params, P::alt_vad_params, P::alt_vad_enable, P::alt_vad_disable,
       P::alt_dtmf_reject_disable, P::alt_sd_params, P::alt_sd_enable, P::alt_sd_disable, P::alt_iva_enable,
       P::alt_delays, P::alt_tone_filter, P::alt_tone_gen_enable, P::alt_tone_gen_disable}};
  for (int slot : {1, 2}) {
    std::set<int> succeeded;
    for (int alt = 0; alt < P::alt_selcal; ++alt) {
      if (alt == P::alt_cas || alt == P::alt_rtpExt || alt == P::alt_ss7Log)
        continue;  // nothing to do with a mixer; their records take more filling
      send(100 + alt, slot, [&](LGCP::Command& c) {
        LGCP::IoctlParams& p = c.select_ioctl();
        const ASN1::AbstractData::InfoType* info = p.info()->selectionInfos[alt];
        p.setSelection(alt, info->create(info));
        if (alt == P::alt_vad_params)
          p.select_vad_params().select_v1();
        if (alt == P::alt_delays)
          p.select_delays().set_selcal(40);
      });
      for (const std::string& line : replies(1))
        if (line == "seq=" + std::to_string(100 + alt) + " slot=" + std::to_string(slot) + " success")
          succeeded.insert(alt);
    }
    EXPECT_EQ(succeeded, served[slot - 1]) << slot;
  }
  EXPECT_THAT(logs.err(), HasSubstr("mixer [0]: error: selcal delay isn't supported for mixer!!! Set to zero.\n"));
  // tone-gen-enable plays the one frequency, cut to 16 bits, at the one amplitude.
  send(200, 2, [](LGCP::Command& c) {
    LGCP::ToneGenerator& g = c.select_ioctl().select_tone_gen_enable();
    g.set_freq(0x10000 + 1000);
    g.set_amp(300);
  });
  EXPECT_THAT(replies(1), ElementsAre("seq=200 slot=2 success"));
  const SimBoard::Dtmf::Tone& tone = board.dtmf().channel(3004).tones.back();
  EXPECT_EQ(std::vector<int>({tone.freq1, tone.freq2, tone.amp1, tone.amp2}), std::vector<int>({1000, 0, 300, 0}));
}

// An input's echo canceller follows `ecm`: on when either of its flags is
// set, off when neither is, untouched without `ecm`.
TEST_F(MixerSlots, EchoCancellerOfANewInputFollowsEitherFlag) {
  sim().add_unit(0, 16, 32, 3200);
  query();
  struct Case {
    std::optional<std::pair<bool, bool>> ecm;  // {ec, es}
    std::vector<std::string> lms;              // the canceller requests on its time slot
  } const cases[] = {
      {{}, {}}, {{{false, false}}, {"off"}}, {{{true, false}}, {"on"}}, {{{false, true}}, {"on"}}, {{{true, true}}, {"on"}},
  };
  int channel = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(channel);
    board.log().clear();
    create(1, 1, [&](LGCP::CreateParams& p) {
      LGCP::MixerInParams& in = p.select_mixerIn();
      in.set_unit(0);
      fillChannel(in.mutable_channel(), Tdm(channel));
      if (c.ecm) {
        in.mutable_ecm().set_ec(c.ecm->first);
        in.mutable_ecm().set_es(c.ecm->second);
      }
    });
    EXPECT_THAT(replies(1), ElementsAre("seq=1 slot=1 success"));
    std::vector<std::string> lms;
    for (const SimBoard::LoggedRequest& r : board.log().on("/dev/dtmf"))
      if (r.value == 3200u + channel && (r.number == SimBoard::Dtmf::LmsOn || r.number == SimBoard::Dtmf::LmsOff))
        lms.push_back(r.number == SimBoard::Dtmf::LmsOn ? "on" : "off");
    EXPECT_EQ(lms, c.lms);
    destroy(2, 1);
    EXPECT_EQ(replies(2).size(), 2u);
    ++channel;
  }
}

// Each served ioctl reaches the function it names, on the slot's own time
// slot and with the controller's values: the tone functions and DSP
// features switched on and off, and the DSP configuration records.
TEST_F(MixerSlots, IoctlsReachTheirFunctionsWithTheirValues) {
  sim().add_unit(0, 16, 32, 3500);
  query();
  mixerIn(1, 1, 0, Tdm(3));   // time slot 3503
  mixerOut(2, 2, 0, Tdm(4));  // time slot 3504
  ASSERT_EQ(replies(2).size(), 2u);
  // DTMF rejection left on at the output's time slot (it has no ioctl to
  // switch it on).
  ASSERT_TRUE(dynamic_cast<Hardware::TonecReceiver&>(*Slots::instance().slot(2)).enableDTMFReject(true));

  // "lms reject dtmf iva vad sd" as 0/1, then the last configuration record.
  auto seen = [&](uint32_t ts) {
    const SimBoard::Dtmf::Channel& c = board.dtmf().channel(ts);
    const uint32_t dsp = board.dsp().features(ts);
    std::string line;
    for (bool on : {c.lms, c.reject, c.dtmf, c.iva, bool(dsp & SimBoard::Dsp::Vad), bool(dsp & SimBoard::Dsp::Sd)})
      line += on ? "1" : "0";
    std::string config = "none";
    for (const SimBoard::LoggedRequest& r : board.log().on("/dev/dsp", SimBoard::Dsp::Configure)) {
      if (r.word(0) != ts)
        continue;
      auto u16 = [&](size_t at) { return std::to_string(r.in[at] << 8 | r.in[at + 1]); };
      auto i8 = [&](size_t at) { return std::to_string(int(int8_t(r.in[at]))); };
      switch (r.word(4)) {
      case SimBoard::Dsp::Delays:
        config = "delays " + std::to_string(r.word(8)) + " " + std::to_string(r.word(12)) + " " + std::to_string(r.word(16));
        break;
      case SimBoard::Dsp::RxGain: config = "rx-gain " + i8(8); break;
      case SimBoard::Dsp::ToneFilter:
        config = "tone-filter " + u16(8) + " " + std::to_string(r.in[10]) + " " + u16(12) + " " + i8(14);
        break;
      default: config = "feature " + std::to_string(r.word(4));
      }
    }
    return line + " " + config;
  };

  using Fill = std::function<void(LGCP::IoctlParams&)>;
  struct Row {
    int slot;
    Fill fill;
    std::string seen;
  };
  auto delays = [](std::optional<int> rx, std::optional<int> tx, std::optional<int> selcal) -> Fill {
    return [=](LGCP::IoctlParams& p) {
      LGCP::Delays& d = p.select_delays();
      if (rx)
        d.set_rx(*rx);
      if (tx)
        d.set_tx(*tx);
      if (selcal)
        d.set_selcal(*selcal);
    };
  };
  auto toneFilter = [](int freq, bool enable, int duration, int level) -> Fill {
    return [=](LGCP::IoctlParams& p) {
      LGCP::ToneFilter& f = p.select_tone_filter();
      f.set_freq(freq);
      f.set_enable(enable);
      f.set_duration_th_msec(duration);
      f.set_det_level_dB(level);
    };
  };
  const Row rows[] = {
      {1, [](LGCP::IoctlParams& p) { p.select_echoSuppressor() = true; }, "100000 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_dtmf_reject_enable() = true; }, "110000 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_dtmf_enable() = true; }, "111000 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_iva_enable() = true; }, "111100 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_vad_enable() = true; }, "111110 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_sd_enable() = true; }, "111111 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_echoSuppressor() = false; }, "011111 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_dtmf_reject_enable() = false; }, "001111 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_dtmf_enable() = false; }, "000111 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_iva_enable() = false; }, "000011 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_vad_disable(); }, "000001 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_sd_disable(); }, "000000 none"},
      {1, [](LGCP::IoctlParams& p) { p.select_rx_gain().set_gainDB(-6); }, "000000 rx-gain -6"},
      {1, delays(10, 20, {}), "000000 delays 10 20 0"},
      {1, delays({}, 30, 40), "000000 delays 0 30 0"},
      {1, toneFilter(1000, true, 40, -20), "000000 tone-filter 1000 1 40 -20"},
      {2, [](LGCP::IoctlParams& p) { p.select_dtmf_reject_disable(); }, "000000 none"},
      {2, [](LGCP::IoctlParams& p) { p.select_iva_enable() = true; }, "000100 none"},
      {2, [](LGCP::IoctlParams& p) { p.select_vad_enable() = true; }, "000110 none"},
      {2, [](LGCP::IoctlParams& p) { p.select_sd_enable() = true; }, "000111 none"},
      {2, delays(7, {}, {}), "000111 delays 7 0 0"},
      {2, toneFilter(2100, false, 300, -30), "000111 tone-filter 2100 0 300 -30"},
  };
  int seq = 10;
  for (const Row& row : rows) {
    send(seq, row.slot, [&](LGCP::Command& c) { row.fill(c.select_ioctl()); });
    EXPECT_THAT(replies(1), ElementsAre("seq=" + std::to_string(seq) + " slot=" + std::to_string(row.slot) + " success"));
    EXPECT_EQ(seen(row.slot == 1 ? 3503 : 3504), row.seen) << seq;
    ++seq;
  }
}

}  // namespace
}  // namespace slot_test
