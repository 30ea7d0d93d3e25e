// DSP events of a slot (voice activity, signal detection, BSS score, tone
// filters, flags) turned into controller signals.
#include <cstdio>
#include <iostream>

#include "core/slot.h"
#include "hardware/dsp_receiver.h"

namespace {
constexpr uint32_t VadRxBit = 1u << 29;
constexpr uint32_t VadTxBit = 1u << 30;
constexpr uint32_t SelcalBit = 1u << 31;
constexpr size_t ScoreSize = 30;  // the longest score text, terminator included
}  // namespace

void Slot::processToneFltEvent(dsproc_tone_event const* e) {
  LGCP::TonecEvent event;
  event.set_timestamp(0);
  LGCP::TonePresence& tone = event.mutable_event().select_tone_presence();
  tone.set_freq(static_cast<int>(static_cast<uint32_t>(e->tone)));
  tone.set_presence(e->present != 0);
  OnTonecEvent(event);
}

void Slot::processVADEvent(Hardware::DSProcVADEvent const& e) {
  if (e.vad_rx < 0 && e.vad_tx < 0) {
    std::cerr << "bad VAD event, ignored." << std::endl;
    return;
  }
  LGCP::VADEvent event;
  if (e.vad_rx >= 0)
    event.set_vad_rx(e.vad_rx != 0);
  if (e.vad_tx >= 0)
    event.set_vad_tx(e.vad_tx != 0);
  OnVADEvent(event);
}

void Slot::processSDEvent(Hardware::DSProcSDEvent const& e) {
  if (e.sd_rx < 0) {
    std::cerr << "bad SD event, ignored." << std::endl;
    return;
  }
  LGCP::SDEvent event;
  event.set_sd_rx(e.sd_rx > 0);
  OnSDEvent(event);
}

void Slot::processFlagsEvent(dsproc_flags_event const* e) {
  uint32_t flags = e->flags;
  uint32_t mask = e->mask;
  if (mask & (VadRxBit | VadTxBit)) {
    LGCP::VADEvent event;
    if (mask & VadRxBit)
      event.set_vad_rx((flags & VadRxBit) != 0);
    if (mask & VadTxBit)
      event.set_vad_tx((flags & VadTxBit) != 0);
    OnVADEvent(event);
  }
  if (mask & SelcalBit) {
    LGCP::Signal sig;
    sig.select_selcal().set_in_progress((flags & SelcalBit) != 0);
    SendSignal(sig);
  }
}

void Slot::processBSSEvent(dsproc_bss_event const* e) {
  // A large score needs more than the buffer: the text is cut, never overrun.
  char text[ScoreSize];
  std::snprintf(text, sizeof text, "%4.6f", static_cast<double>(e->score()));
  LGCP::Signal sig;
  sig.select_bss().set_score(text);
  SendSignal(sig);
}
