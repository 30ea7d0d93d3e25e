#include "rtp/ed137_radio_control.h"

#include <arpa/inet.h>
#include <cstring>
#include <iostream>

#include "asn1/printer.h"
#include "foundation/mux_time.h"

namespace RTPSignalling {

namespace {

// Copies a state, its quality words only when they are valid.
void takeState(ED137RadioState& to, ED137RadioState const& from) {
  const uint32_t method = to.bss_method, quality = to.bss_quality;
  to = from;
  if (!(from.flags & ED137RadioState::QualityValid)) {
    to.bss_method = method;
    to.bss_quality = quality;
  }
}

}  // namespace

void ED137RadioControl::OnRtpExtEvent(int fd, short revents) {
  if (!(revents & POLLIN))
    return;
  RadioControl::OnRtpExtEvent(fd, revents);
  lastStatus_ = Mux::milliseconds();
  if (ReadBatch(this, &ED137RadioControl::TakePacket))
    OnRtpProtoRXEvent(pending_);
}

void ED137RadioControl::TakePacket(const uint8_t* payload, size_t length, uint32_t ssrc, uint32_t address,
                                   bool& pending) {
  std::memset(&received_, 0, sizeof received_);
  if (r2s_proto_unpack_tx(&received_, payload, length) != 0)
    return;
  lastReceive_ = lastStatus_;
  received_.source_addr = address;
  received_.source_ssrc = ssrc;
  if (pending && cmp_r2s_proto_source(&pending_, &received_) != 0)
    OnRtpProtoRXEvent(pending_);
  pending_ = received_;
  pending = true;
}

int ED137RadioControl::DecodeProto(r2s_proto const& record, ED137RadioState& s) {
  s = ED137RadioState();
  s.session_addr = record.source_addr;
  s.session_ssrc = record.source_ssrc;
  switch (record.type) {
  case R2S_PROTO_TYPE_TX:
    s.flags |= ED137RadioState::Tx | ED137RadioState::HeaderValid;
    s.ptt = record.tx.ptt_type;
    s.ptt_id = record.tx.ptt_id;
    s.ptt_mute = record.tx.ptt_mute;
    s.ptt_summation = record.tx.ptt_summation;
    return 0;
  case R2S_PROTO_TYPE_RX: {
    s.flags |= ED137RadioState::Rx | ED137RadioState::HeaderValid;
    s.ptt = record.rx.ptt_type;
    s.squ = record.rx.squ;
    s.ptt_id = record.rx.ptt_id;
    s.ptt_mute = record.rx.ptt_mute;
    s.ptt_summation = record.rx.ptt_summation;
    s.sct = record.rx.sct;
    const uint32_t count = record.additional_count < R2S_PROTO_MAX_ADDITIONALS ? record.additional_count
                                                                               : R2S_PROTO_MAX_ADDITIONALS;
    for (uint32_t i = 0; i < count; ++i)
      if (record.additionals[i].kind == R2S_PROTO_RX_SQI) {
        s.flags |= ED137RadioState::QualityValid;
        s.bss_quality = record.additionals[i].rx_sqi.quality;
        s.bss_method = record.additionals[i].rx_sqi.method;
      }
    return 0;
  }
  default:
    return -1;
  }
}

void ED137RadioControl::OnRtpProtoRXEvent(r2s_proto const& record) {
  ED137RadioState s;
  DecodeProto(record, s);
  if (!AccessFormChanToRadio(s))
    return;
  // An unchanged state is reported at most once an interval.
  if (s.IsEqual(chanState_) && lastStatus_ - lastReport_ < interval())
    return;
  PutProtoFromChanToRadio(s);
  TERM::RtpRadioRequest request;
  EncodeASN(radioState_, s, request);
  if (trace())
    std::clog << GetPrefix() << " command=0x" << std::hex << s.flags << std::dec
              << " send extension to controller: " << request << std::endl;
  lastReport_ = lastStatus_;
  if (notify())
    notify()->RadioControlNotify(request);
}

void ED137RadioControl::EncodeStatusASN(ED137RadioState const& state, TERM::RtpRadioRequest& request) {
  state.EncodeStatusASN(request.mutable_status().select_ed_137());
}

void ED137RadioControl::EncodeASN(ED137RadioState const& radio, ED137RadioState const& chan,
                                  TERM::RtpRadioRequest& request) {
  for (const ED137RadioState* s : {&radio, &chan})
    if (trace() && s->ptt != s->ReportedPtt())
      std::clog << GetPrefix() << "report: ptt " << s->ptt << " cannot be sent, sent as " << s->ReportedPtt()
                << std::endl;
  EncodeStatusASN(radio, request);
  TERM::ED137RadioModifier& modifier = request.mutable_request().select_ed_137();
  in_addr address;
  address.s_addr = chan.session_addr;
  char text[INET_ADDRSTRLEN];
  modifier.mutable_addr().set_session_addr(inet_ntop(AF_INET, &address, text, sizeof text));
  modifier.mutable_addr().set_session_ssrc(chan.session_ssrc);
  chan.EncodeASN(modifier.mutable_params());
}

template <class Record>
bool ED137RadioControl::SendToChan(Record const& record) {
  if (!record.is_ed_137())
    return false;
  ED137RadioState s = radioState_;
  DecodeASN(record.get_ed_137(), s);
  SendRadioStateToChan(s);
  return true;
}

bool ED137RadioControl::SendASNToChan(TERM::RadioStatus const& status) { return SendToChan(status); }

bool ED137RadioControl::SendASNToChan(TERM::RadioModifier const& modifier) { return SendToChan(modifier); }

bool ED137RadioControl::NeedSendProto(ED137RadioState const& state) {
  // Words 3 and 4 of the driver's init record (K and S): without them every
  // state goes out, with them only a change.
  const int32_t k = static_cast<int32_t>(init_params().words[2]);
  const int32_t s = static_cast<int32_t>(init_params().words[3]);
  if (k <= 0 || s <= 0)
    return true;
  return !state.IsEqual(radioState_);
}

bool ED137RadioControl::SendProtoToChan(r2s_proto& record) {
  uint8_t payload[PayloadRoom];
  const int n = r2s_proto_pack(&record, payload, sizeof payload);
  return n > 0 && Write(payload, static_cast<size_t>(n));
}

void ED137RadioControl::SendRadioStateToChan(ED137RadioState const& state) {
  if (!NeedSendProto(state))
    return;
  if (PutProtoFromRadioToChan(state) == 0 && EncodeProto(state, transmit_) == 0) {
    SendProtoToChan(transmit_);
    const uint32_t now = Mux::milliseconds();
    lastStatus_ = now;
    if (role_flag() == 0 && state.direction() == ED137RadioState::Rx)
      lastKeepAlive_ = now;
  }
  if (trace()) {
    TERM::RtpRadioRequest status;
    EncodeStatusASN(radioState_, status);
    std::clog << GetPrefix() << "command=0x" << std::hex << state.flags << std::dec
              << " receive extension from controller: " << status.get_status() << std::endl;
  }
  // While PTT is on, only the far end's packets are taken.
  in_addr source;
  source.s_addr = radioState_.session_addr;
  UpdateAccess(radioState_.ptt != 0, source);
}

int ED137RadioGWControl::PutProtoFromRadioToChan(ED137RadioState const& state) {
  takeState(radioState_, state);
  return 0;
}

int ED137RadioGWControl::PutProtoFromChanToRadio(ED137RadioState const& state) {
  takeState(chanState_, state);
  return 0;
}

bool ED137RadioGWControl::AccessFormChanToRadio(ED137RadioState const&) {
  const bool transmits = params_.type == 2 || params_.type == 3 || params_.type == 4;
  const bool txMode = params_.txrxmode == 0 || params_.txrxmode == 2;
  return transmits && txMode;
}

int ED137RadioGWControl::EncodeProto(ED137RadioState const& state, r2s_proto& record) {
  switch (state.direction()) {
  case ED137RadioState::Rx:
    r2s_proto_init(&record, R2S_PROTO_TYPE_RX);
    r2s_proto_set_rx_header(&record, state.ptt, state.squ, state.ptt_id, state.ptt_mute, state.ptt_summation,
                            state.sct);
    // The quality index takes the 5-bit place, the method the 3-bit one.
    if (state.flags & ED137RadioState::QualityValid)
      r2s_proto_add_rx_sqi(&record, state.bss_quality, state.bss_method);
    break;
  case ED137RadioState::Tx:
    r2s_proto_init(&record, R2S_PROTO_TYPE_TX);
    r2s_proto_set_tx_header(&record, state.ptt, state.ptt_id, state.ptt_mute, state.ptt_summation);
    break;
  default:
    return -1;
  }
  record.source_addr = state.session_addr;
  record.source_ssrc = state.session_ssrc;
  return 0;
}

unsigned long ED137RadioGWControl::ProcessRadioStatus(unsigned long now, unsigned long interval) {
  const uint32_t at = static_cast<uint32_t>(now);
  const uint32_t limit = static_cast<uint32_t>(params_.keepalive_period * params_.keepalive_multiplier);
  const bool receiveInFuture = static_cast<int32_t>(lastReceive_ - at) > 0;
  if (limit != 0 && !receiveInFuture && at - lastReceive_ >= limit && notify())
    notify()->RadioControlNotify(FarEndLost);
  if (Since(lastKeepAlive_, at) >= interval) {
    // The keep-alive repeats the radio's state towards the positions, as
    // an RX packet whatever the controller last sent.
    radioState_.SetDirection(ED137RadioState::Rx);
    r2s_proto keepAlive;
    if (EncodeProto(radioState_, keepAlive) == 0)
      SendProtoToChan(keepAlive);
    lastKeepAlive_ = at;
  }
  return NextDelay(Since(lastKeepAlive_, at), interval);
}

}  // namespace RTPSignalling
