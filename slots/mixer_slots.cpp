#include "slots/mixer_slots.h"

#include <iostream>

#include "foundation/ext.h"
#include "hardware/hw_mux.h"
#include "messages/TERM/TERM.h"
#include "slots/mixer.h"

namespace Mixer {

namespace {

using P = LGCP::IoctlParams;

// The rows both slot types share; true when the request was one of them,
// with the answer in `ok`.
bool CommonIoctl(Mixer& mixer, Hardware::TonecReceiver& tones, Hardware::DSProcReceiver& dsp,
                 LGCP::IoctlParams const& params, bool& ok) {
  switch (params.currentSelection()) {
  case P::alt_translateDTMF:
    tones.translateDTMF(params.get_translateDTMF());
    ok = true;
    return true;
  case P::alt_dtmf_params:
    ok = tones.configureDTMF(params.get_dtmf_params());
    return true;
  case P::alt_vad_params:
    ok = dsp.configureVAD(params.get_vad_params());
    return true;
  case P::alt_vad_enable:
    ok = dsp.enableVAD(params.get_vad_enable());
    return true;
  case P::alt_vad_disable:
    ok = dsp.disableVAD();
    return true;
  case P::alt_sd_params:
    ok = dsp.configureSD();
    return true;
  case P::alt_sd_enable:
    ok = dsp.enableSD(params.get_sd_enable());
    return true;
  case P::alt_sd_disable:
    ok = dsp.disableSD();
    return true;
  case P::alt_iva_enable:
    ok = tones.enableIVA(params.get_iva_enable());
    return true;
  case P::alt_delays: {
    const LGCP::Delays& d = params.get_delays();
    if (d.has_selcal())
      std::cerr << ext::header(&mixer) << "error: selcal delay isn't supported for mixer!!! Set to zero."
                << std::endl;
    dsp.configureDelays(d.has_rx() ? static_cast<unsigned>(d.get_rx().getValue()) : 0,
                        d.has_tx() ? static_cast<unsigned>(d.get_tx().getValue()) : 0, 0);
    ok = true;
    return true;
  }
  case P::alt_tone_filter: {
    const LGCP::ToneFilter& f = params.get_tone_filter();
    dsp.configureToneFilter(static_cast<unsigned>(f.get_freq().getValue()), f.get_enable() ? 1u : 0u,
                            f.get_duration_th_msec().getValue(), f.get_det_level_dB().getValue());
    ok = true;
    return true;
  }
  default:
    return false;
  }
}

}  // namespace

TdmInput::TdmInput(Mixer& mixer, int channel, int tdm)
    : mixer_(mixer), channel_(channel), tdm_(tdm), summator_(-1) {}

bool TdmInput::IBeforeDestroy() {
  HwMux::instance()->Disable(tdm_);
  mixer_.Release(*this);
  return true;
}

bool TdmInput::Ioctl(LGCP::IoctlParams const& params) {
  bool ok = false;
  if (CommonIoctl(mixer_, *this, *this, params, ok))
    return ok;
  switch (params.currentSelection()) {
  case P::alt_echoSuppressor:
    return echoCancel(params.get_echoSuppressor());
  case P::alt_dtmf_enable:
    return enableDTMF(params.get_dtmf_enable());
  case P::alt_dtmf_reject_enable:
    return enableDTMFReject(params.get_dtmf_reject_enable());
  case P::alt_iva_params:
    return configureIVA(params.get_iva_params());
  case P::alt_rx_gain:
    configureRxGain(static_cast<signed char>(params.get_rx_gain().get_gainDB().getValue()));
    return true;
  default:
    return false;
  }
}

TdmOutput::TdmOutput(Mixer& mixer, int channel, int tdm) : mixer_(mixer), channel_(channel), tdm_(tdm) {}

bool TdmOutput::IBeforeDestroy() {
  HwMux::instance()->Disable(tdm_);
  mixer_.Release(*this);
  return true;
}

bool TdmOutput::Ioctl(LGCP::IoctlParams const& params) {
  bool ok = false;
  if (CommonIoctl(mixer_, *this, *this, params, ok))
    return ok;
  switch (params.currentSelection()) {
  case P::alt_dtmf_disable:
    return disableToneGenerator(false);
  case P::alt_dtmf_reject_disable:
    return enableDTMFReject(false);
  case P::alt_tone_gen_enable: {
    const LGCP::ToneGenerator& g = params.get_tone_gen_enable();
    disableToneGenerator(false);
    enableToneGenerator(static_cast<unsigned short>(g.get_freq().getValue()), 0,
                        static_cast<unsigned short>(g.get_amp().getValue()), 0);
    return true;
  }
  case P::alt_tone_gen_disable:
    disableToneGenerator(true);
    return true;
  default:
    return false;
  }
}

}  // namespace Mixer
