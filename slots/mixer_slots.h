#pragma once
// The slots of the conference mixer. A TDM input feeds a TDM channel into a
// mixer input (and may add that input to a summator); a TDM output offers a
// summator's TDM channel as a source. Both carry the tone and DSP detectors
// of their TDM channel.
#include "core/slot.h"
#include "hardware/dsp_receiver.h"
#include "hardware/tonec_receiver.h"

namespace Mixer {

class Mixer;

class MixerSlot : public Slot {
public:
  char const* GetName() const override = 0;
};

class TdmInput : public MixerSlot, public Hardware::TonecReceiver, public Hardware::DSProcReceiver {
public:
  TdmInput(Mixer& mixer, int channel, int tdm);

  bool IBeforeDestroy() override;
  bool Ioctl(LGCP::IoctlParams const& params) override;
  bool IOnInputStream() override { return true; }
  int IGetReceiveChannel() override { return tdm_; }
  char const* GetName() const override { return "mixer tdm input"; }

  void tonec_event(const Params& params) override { processTonecEvent(params); }
  unsigned tonec_timeslot() const override { return static_cast<unsigned>(tdm_); }
  void dsproc_vad_event(const Hardware::DSProcVADEvent& event) override { processVADEvent(event); }
  void dsproc_bss_event(const ::dsproc_bss_event* event) override { processBSSEvent(event); }
  void dsproc_sd_event(const Hardware::DSProcSDEvent& event) override { processSDEvent(event); }
  unsigned dsproc_timeslot() const override { return static_cast<unsigned>(tdm_); }
  void dsproc_tone_flt_event(const ::dsproc_tone_event* event) override { processToneFltEvent(event); }
  void dsproc_flags_event(const ::dsproc_flags_event* event) override { processFlagsEvent(event); }

  // Adds the input to a summator, for Release to take out again.
  void set_summator(int number) { summator_ = number; }
  int channel() const { return channel_; }
  int summator() const { return summator_; }

private:
  Mixer& mixer_;
  int channel_;
  int tdm_;
  int summator_;  // -1: none
};

class TdmOutput : public MixerSlot, public Hardware::TonecReceiver, public Hardware::DSProcReceiver {
public:
  TdmOutput(Mixer& mixer, int channel, int tdm);

  bool IBeforeDestroy() override;
  bool Ioctl(LGCP::IoctlParams const& params) override;
  bool IOnOutputStream() override { return true; }
  int IGetTransmitChannel() override { return tdm_; }
  char const* GetName() const override { return "mixer tdm output"; }

  void tonec_event(const Params&) override {}
  unsigned tonec_timeslot() const override { return static_cast<unsigned>(tdm_); }
  void tone_gen_complete() override { processToneGenEvent(); }
  void dsproc_vad_event(const Hardware::DSProcVADEvent&) override {}
  void dsproc_bss_event(const ::dsproc_bss_event*) override {}
  void dsproc_sd_event(const Hardware::DSProcSDEvent&) override {}
  unsigned dsproc_timeslot() const override { return static_cast<unsigned>(tdm_); }
  void dsproc_tone_flt_event(const ::dsproc_tone_event* event) override { processToneFltEvent(event); }
  void dsproc_flags_event(const ::dsproc_flags_event* event) override { processFlagsEvent(event); }

  int channel() const { return channel_; }

private:
  Mixer& mixer_;
  int channel_;
  int tdm_;
};

}  // namespace Mixer
