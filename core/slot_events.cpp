// Tone detector, tone generator and RTP driver events of a slot turned into
// controller signals.
#include <iostream>

#include "core/rtp_event.h"
#include "core/slot.h"

void Slot::processTonecEvent(Hardware::TonecReceiver::Params const& p) {
  const uint32_t code = p.code;
  LGCP::TonecEvent event;
  event.set_timestamp(static_cast<int>(p.timestamp));
  LGCP::TonecCode& tone = event.mutable_event();
  if (code == 17) {
    tone.select_ced();
  } else if (code == 18) {
    tone.select_cng();
  } else if (code <= 127) {
    tone.select_dtmf().setValue(code);
  } else {
    uint32_t iva = code >> 8;
    if (iva >= 1 && iva <= 20) {
      tone.select_iva().select_code().setValue(iva);
    } else if (iva == 21) {
      tone.select_iva().select_ringoff();
    } else {
      std::cerr << "bad DTMF code, ignored." << std::endl;
      return;
    }
  }
  OnTonecEvent(event);
}

void Slot::processToneGenEvent() {
  LGCP::TonecEvent event;
  event.set_timestamp(0);
  event.mutable_event().select_dtmfDone();
  OnTonecEvent(event);
}

void Slot::processRtpEvent(rtp_event const& e) {
  if (e.type != 1u)
    return;
  LGCP::RtpEvent event;
  LGCP::RtpPDEvent& pd = event.select_pd();
  pd.set_value(static_cast<int>(static_cast<uint32_t>(e.value)));
  pd.set_timeout(static_cast<int>(static_cast<uint32_t>(e.timeout)));
  OnRtpEvent(event);
}
