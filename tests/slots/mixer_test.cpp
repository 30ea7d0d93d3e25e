// Conference mixer slots: unit discovery and lifetime, the summator
// programming as request traces, and the ioctl table of each slot type.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

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
                                m.get_mixer_inputs().getValue()}),
              std::vector<int>({8, 8, 24}));
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
  EXPECT_THAT(replies(2), ElementsAre("slot=1 signal abort", "slot=2 signal abort"));
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

}  // namespace
}  // namespace slot_test
