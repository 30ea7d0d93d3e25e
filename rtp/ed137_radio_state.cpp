#include "rtp/ed137_radio_state.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace RTPSignalling {

namespace {

void takeHeader(ED137RadioState& s, TERM::ED137RadioHeader const& h) {
  s.ptt = static_cast<uint32_t>(h.get_ptt().getValue());
  s.squ = static_cast<uint32_t>(h.get_squ().getValue());
  s.ptt_id = h.get_ptt_id().getValue();
  s.ptt_mute = h.get_ptt_mute().getValue() ? 1 : 0;
  s.ptt_summation = h.get_ptt_summation().getValue() ? 1 : 0;
  s.sct = h.get_sct().getValue() ? 1 : 0;
}

void takeQuality(ED137RadioState& s, TERM::ED137RadioExtensionSQI const& sqi) {
  s.flags |= ED137RadioState::QualityValid;
  s.bss_method = static_cast<uint32_t>(sqi.get_bss_method().getValue());
  s.bss_quality = sqi.get_bss_quality().getValue();
}

void putHeader(ED137RadioState const& s, TERM::ED137RadioHeader& h) {
  h.mutable_ptt().setValue(static_cast<int>(s.ReportedPtt()));
  h.mutable_squ().setValue(static_cast<int>(s.squ));
  h.set_ptt_id(s.ptt_id);
  h.set_ptt_mute(s.ptt_mute != 0);
  h.set_ptt_summation(s.ptt_summation != 0);
  h.set_sct(s.sct != 0);
}

void putQuality(ED137RadioState const& s, TERM::ED137RadioExtensionSQI& sqi) {
  sqi.mutable_bss_method().setValue(static_cast<int>(s.bss_method));
  sqi.set_bss_quality(s.bss_quality);
}

}  // namespace

void ED137RadioParams::Init(TERM::ED137RadioResponse const& r) {
  if (r.has_transmission_depend_on_squ())
    transmission_depend_on_squ = r.get_transmission_depend_on_squ().getValue() ? 1 : 0;
  if (r.has_sigtime())
    sigtime = static_cast<int32_t>(r.get_sigtime().getValue());
  if (r.has_r2s_keepalive_period())
    keepalive_period = static_cast<int32_t>(r.get_r2s_keepalive_period().getValue());
  if (r.has_r2s_keepalive_multiplier())
    keepalive_multiplier = static_cast<int32_t>(r.get_r2s_keepalive_multiplier().getValue());
  type = r.get_type().getValue();
  txrxmode = r.get_txrxmode().getValue();
}

bool ED137RadioState::IsEqual(ED137RadioState const& o) const {
  return flags == o.flags && ptt == o.ptt && squ == o.squ && ptt_id == o.ptt_id && ptt_mute == o.ptt_mute &&
         ptt_summation == o.ptt_summation && sct == o.sct && bss_method == o.bss_method &&
         bss_quality == o.bss_quality && session_addr == o.session_addr && session_ssrc == o.session_ssrc;
}

void ED137RadioState::DecodeASN(TERM::ED137RadioStatus const& status) {
  flags = Rx | HeaderValid;
  takeHeader(*this, status.get_header());
  if (status.has_sqi())
    takeQuality(*this, status.get_sqi());
}

void ED137RadioState::DecodeASN(TERM::ED137RadioModifier const& modifier) {
  flags = 0;
  session_addr = inet_addr(modifier.get_addr().get_session_addr().getValue().c_str());
  session_ssrc = modifier.get_addr().get_session_ssrc().getValue();
  TERM::ED137RadioModifierParams const& params = modifier.get_params();
  if (params.is_tx()) {
    flags |= Tx | HeaderValid;
    takeHeader(*this, params.get_tx().get_header());
  } else if (params.is_rx()) {
    flags |= Rx | HeaderValid;
    takeHeader(*this, params.get_rx().get_header());
    if (params.get_rx().has_sqi())
      takeQuality(*this, params.get_rx().get_sqi());
  }
}

void ED137RadioState::EncodeStatusASN(TERM::ED137RadioStatus& status) const {
  putHeader(*this, status.mutable_header());
  putQuality(*this, status.mutable_sqi());
}

bool ED137RadioState::EncodeASN(TERM::ED137RadioModifierParams& params) const {
  switch (direction()) {
  case Rx: {
    TERM::ED137RadioRxCommand& rx = params.select_rx();
    putHeader(*this, rx.mutable_header());
    if (flags & QualityValid)
      putQuality(*this, rx.mutable_sqi());
    return true;
  }
  case Tx:
    putHeader(*this, params.select_tx().mutable_header());
    return true;
  default:
    return false;
  }
}

}  // namespace RTPSignalling
