#include "rtp/lemz_radio_control.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <iostream>

#include "asn1/printer.h"
#include "foundation/mux_time.h"

namespace RTPSignalling {

namespace {

constexpr uint32_t StatusPeriod = 999;  // ms a status packet waits after the last of its kind

in_addr inAddr(uint32_t networkOrder) {
  in_addr a;
  a.s_addr = networkOrder;
  return a;
}

// The groups of state fields the copy rules move together.
enum Group {
  Ptt,
  Bss,
  Sh,
  Rv,
  Pwr,
  Resv,
  Vad,  // vad_rx, vad_tx, sql, selcall, li
  Freq,
  CallerId,
  Remote,
  Squelshe,
  Rte,
  Standby,         // all three standby fields
  StandbyChannel,  // standby_state_channel alone
  Session,
  Quality,
};

// A rule says for each group whether a command copies it: Never (not even
// a full state), Always, or the commands listed (and a full state).
enum Copy { Never, Always, Listed, NotListed };

template <size_t N>
Copy listed(int command, const int (&commands)[N]) {
  for (int c : commands)
    if (c == command)
      return Listed;
  return NotListed;
}

using Rule = Copy (*)(Group, int command);

// What the controller's records set in the radio's state (the gateway's
// radio side; the workstation's channel side).
Copy controllerRule(Group g, int command) {
  switch (g) {
  case Freq:
  case Squelshe:
  case Rte:
    return listed(command, {SIG_PROTO_WM_CHAN});
  case CallerId:
  case StandbyChannel:
    return Never;
  case Remote:
    return listed(command, {SIG_PROTO_WM_SELECT_RC_CHAN});
  case Standby:
    return listed(command, {SIG_PROTO_WM_STANDBY});
  case Session:
    return listed(command, {SIG_PROTO_WM_TRANS, SIG_PROTO_WM_SEL_CALL_TRANS});
  case Quality:
    return listed(command, {SIG_PROTO_WM_RADIO_QUALITY});
  default:
    return Always;
  }
}

// What a workstation's command sets (the gateway's channel side; the
// workstation's radio side). The session comes from the packet's source.
Copy workstationRule(Group g, int command) {
  switch (g) {
  case Ptt:
    return listed(command, {SIG_PROTO_GW_FLAG, SIG_PROTO_GW_FLAG_PTT});
  case Bss:
    return listed(command, {SIG_PROTO_GW_FLAG, SIG_PROTO_GW_FLAG_BSS});
  case Sh:
    return listed(command, {SIG_PROTO_GW_FLAG, SIG_PROTO_GW_FLAG_SH});
  case Rv:
    return listed(command, {SIG_PROTO_GW_FLAG, SIG_PROTO_GW_FLAG_RV});
  case Pwr:
    return listed(command, {SIG_PROTO_GW_FLAG, SIG_PROTO_GW_FLAG_PW});
  case Resv:
    return listed(command, {SIG_PROTO_GW_FLAG, SIG_PROTO_GW_FLAG_RS});
  case Freq:
    return listed(command, {SIG_PROTO_GW_ADJUST_CHAN});
  case CallerId:
    return listed(command, {SIG_PROTO_GW_SEL_CALL});
  case Remote:
    return listed(command, {SIG_PROTO_GW_SELECT_RC_CHAN});
  case Squelshe:
    return listed(command, {SIG_PROTO_GW_ADJUST_SQUELSHE});
  case Rte:
    return listed(command, {SIG_PROTO_GW_ADJUST_RTE});
  case StandbyChannel:
    return listed(command, {SIG_PROTO_GW_ADJUST_STANDBY});
  default:  // Vad, Standby, Session, Quality
    return Never;
  }
}

// The workstation takes the transmitting session from WM_SEL_CALL_TRANS
// only; WM_TRANS leaves the packet's source in place.
Copy workstationChannelRule(Group g, int command) {
  if (g == Session)
    return listed(command, {SIG_PROTO_WM_SEL_CALL_TRANS});
  return controllerRule(g, command);
}

// Copies command and priority, and each group the rule copies for the
// state's command; -1 for a full state, else 0.
int copyByRule(Rule rule, LemzRadioState const& from, LemzRadioState& to) {
  const bool full = isDefaultInitCommand(from.command);
  auto take = [&](Group g) {
    const Copy c = rule(g, from.command);
    return c == Always || c == Listed || (full && c == NotListed);
  };
  to.command = from.command;
  to.priority = from.priority;
  if (take(Ptt))
    to.ptt = from.ptt;
  if (take(Bss))
    to.bss = from.bss;
  if (take(Sh))
    to.sh = from.sh;
  if (take(Rv))
    to.rv = from.rv;
  if (take(Pwr))
    to.pwr = from.pwr;
  if (take(Resv))
    to.resv = from.resv;
  if (take(Vad)) {
    to.vad_rx = from.vad_rx;
    to.vad_tx = from.vad_tx;
    to.sql = from.sql;
    to.selcall = from.selcall;
    to.li = from.li;
  }
  if (take(Freq)) {
    to.channel = from.channel;
    to.frequency = from.frequency;
  }
  if (take(CallerId))
    std::memcpy(to.caller_id, from.caller_id, sizeof to.caller_id);
  if (take(Remote)) {
    to.remote_no = from.remote_no;
    to.remote_ch = from.remote_ch;
  }
  if (take(Squelshe))
    to.squelshe = from.squelshe;
  if (take(Rte))
    to.rte = from.rte;
  if (take(Standby)) {
    to.standby_state_channel = from.standby_state_channel;
    to.standby_group = from.standby_group;
    to.standby_state_receiver = from.standby_state_receiver;
  } else if (take(StandbyChannel)) {
    to.standby_state_channel = from.standby_state_channel;
  }
  if (take(Session)) {
    to.session_addr = from.session_addr;
    to.session_ssrc = from.session_ssrc;
  }
  if (take(Quality))
    to.quality = from.quality;
  return full ? -1 : 0;
}

void setCallerId(sig_proto& packet, LemzRadioState const& state, bool transmit) {
  const size_t n = strnlen(state.caller_id, SIG_PROTO_CALLER_ID_SIZE - 1);
  if (transmit)
    sig_proto_set_wm_selcall_transmite(&packet, inAddr(state.session_addr), state.session_ssrc, state.caller_id,
                                       static_cast<unsigned>(n));
  else
    sig_proto_set_gw_selcall(&packet, state.caller_id, static_cast<unsigned>(n));
}

}  // namespace

bool isPTTCommand(int command) {
  sig_proto p;
  p.type = static_cast<uint32_t>(command);
  return command > 0 && sig_proto_is_ptt_command(&p) != 0;
}

void LemzRadioControl::Substituted(const char* field, long value, long sent) {
  std::clog << GetPrefix() << "report: " << field << " " << value << " cannot be sent, sent as " << sent
            << std::endl;
}

void LemzRadioControl::OnRtpExtEvent(int fd, short revents) {
  if (!(revents & POLLIN))
    return;
  RadioControl::OnRtpExtEvent(fd, revents);
  if (ReadBatch(this, &LemzRadioControl::TakePacket))
    OnRtpProtoRXEvent(pending_);
}

void LemzRadioControl::TakePacket(const uint8_t* payload, size_t length, uint32_t ssrc, uint32_t address,
                                  bool& pending) {
  sig_proto_init(&received_);
  if (sig_proto_unpack(&received_, payload, length) != 0)
    return;
  received_.source_addr = address;
  received_.source_ssrc = ssrc;
  if (pending && cmp_sig_proto_header(&pending_, &received_) != 0)
    OnRtpProtoRXEvent(pending_);
  pending_ = received_;
  pending = true;
}

void LemzRadioControl::OnRtpProtoRXEvent(sig_proto const& packet) {
  LemzRadioState s;
  DecodeProto(packet, s);
  if (AccessFormChanToRadio(s)) {
    PutProtoFromChanToRadio(s);
    TERM::RtpRadioRequest request;
    EncodeASN(radioState_, s, request, log());
    if (trace())
      std::clog << GetPrefix() << "command=0x" << std::hex << s.command << std::dec
                << " send extension to controller: " << request << std::endl;
    if (notify())
      notify()->RadioControlNotify(request);
  }
  // While the radio transmits, only the transmitting session is heard.
  UpdateAccess(radioState_.ptt != 0, inAddr(radioState_.session_addr));
}

template <class Record>
bool LemzRadioControl::SendToChan(Record const& record) {
  if (!record.is_lemz())
    return false;
  LemzRadioState s = radioState_;
  DecodeASN(record.get_lemz(), s);
  SendRadioStateToChan(s);
  return true;
}

bool LemzRadioControl::SendASNToChan(TERM::RadioStatus const& status) { return SendToChan(status); }

bool LemzRadioControl::SendASNToChan(TERM::RadioModifier const& modifier) { return SendToChan(modifier); }

bool LemzRadioControl::SendProtoToChan(sig_proto& packet) {
  uint8_t payload[PayloadRoom];
  const int n = sig_proto_pack(&packet, payload, sizeof payload);
  return n > 0 && Write(payload, static_cast<size_t>(n));
}

bool LemzRadioControl::SendState(LemzRadioState const& state) {
  sig_proto packet;
  if (EncodeProto(state, packet) != 0)
    return false;
  SendProtoToChan(packet);  // a failed write waits for the next status tick
  lastStatus_ = Mux::milliseconds();
  return true;
}

void LemzRadioControl::SendRadioStateToChan(LemzRadioState const& state) {
  if (PutProtoFromRadioToChan(state) == 0 && SendState(state) && role_flag() == 0) {
    switch (state.command) {
    case SIG_PROTO_WM_FLAG:
    case SIG_PROTO_WM_TRANS:
    case SIG_PROTO_WM_SEL_CALL_TRANS:
      tFlag_ = lastStatus_;
      break;
    case SIG_PROTO_WM_CHAN:
      tChan_ = lastStatus_;
      break;
    case SIG_PROTO_WM_SELECT_RC_CHAN:
      tRemote_ = lastStatus_;
      break;
    case SIG_PROTO_WM_STANDBY:
      tStandby_ = lastStatus_;
      break;
    }
  }
  if (trace()) {
    TERM::RtpRadioRequest status;
    EncodeStatusASN(radioState_, status, log());
    std::clog << GetPrefix() << "command=0x" << std::hex << state.command << std::dec
              << " receive extension from controller: " << status.get_status() << std::endl;
  }
  UpdateAccess(radioState_.ptt != 0, inAddr(radioState_.session_addr));
}

void LemzRadioControl::EncodeProtoHeader(LemzRadioState const& s, sig_proto& p) {
  sig_proto_init(&p);
  p.type = static_cast<uint32_t>(s.command);
  p.source_addr = s.source_addr;
  p.source_ssrc = s.source_ssrc;
  p.priority = static_cast<uint32_t>(s.priority);
  p.flag_p = s.ptt;
  p.flag_b = s.bss;
  p.flag_r = s.vad_rx;
  p.flag_t = s.vad_tx;
  p.flag_s = s.sql;
  p.flag_sh = s.sh;
  p.flag_pw = s.pwr;
  p.flag_rv = s.rv;
  p.flag_rs = s.resv;
  p.flag_c = s.selcall;
  p.status = s.li;
}

// ---- gateway ----

int LemzRadioGWControl::PutProtoFromRadioToChan(LemzRadioState const& state) {
  return copyByRule(controllerRule, state, radioState_);
}

int LemzRadioGWControl::PutProtoFromChanToRadio(LemzRadioState const& state) {
  const int result = copyByRule(workstationRule, state, chanState_);
  chanState_.session_addr = state.source_addr;
  chanState_.session_ssrc = state.source_ssrc;
  return result;
}

bool LemzRadioGWControl::AccessFormChanToRadio(LemzRadioState const& s) {
  const LemzRadioState& r = radioState_;
  if (r.ptt == 0)
    return true;
  if (r.session_addr == local_addr().sockaddr().sin_addr.s_addr)
    return true;
  if (isPTTCommand(s.command) && s.priority < r.priority && s.ptt != 0)
    return true;
  return s.source_addr == r.session_addr;
}

int LemzRadioGWControl::EncodeProto(LemzRadioState const& s, sig_proto& p) {
  EncodeProtoHeader(s, p);
  switch (s.command) {
  case SIG_PROTO_WM_FLAG:
    return 0;
  case SIG_PROTO_WM_TRANS:
    sig_proto_set_wm_transmite(&p, inAddr(s.session_addr), s.session_ssrc);
    return 0;
  case SIG_PROTO_WM_RADIO_QUALITY:
    sig_proto_set_wm_radio_quality(&p, s.quality);
    return 0;
  case SIG_PROTO_WM_CHAN:
    sig_proto_set_wm_chan(&p, static_cast<uint32_t>(s.channel), s.frequency, static_cast<uint8_t>(s.squelshe),
                          static_cast<uint8_t>(s.rte));
    return 0;
  case SIG_PROTO_WM_SEL_CALL_TRANS:
    setCallerId(p, s, true);
    return 0;
  case SIG_PROTO_WM_SELECT_RC_CHAN:
    sig_proto_set_wm_select_rc_chan(&p, static_cast<uint8_t>(s.remote_no), static_cast<uint8_t>(s.remote_ch));
    return 0;
  case SIG_PROTO_WM_STANDBY:
    sig_proto_set_wm_standby(&p, static_cast<uint8_t>(s.standby_state_channel), static_cast<uint8_t>(s.standby_group),
                             static_cast<uint8_t>(s.standby_state_receiver));
    return 0;
  default:  // a gateway sends no GW_* packets
    return -1;
  }
}

unsigned long LemzRadioGWControl::ProcessRadioStatus(unsigned long now, unsigned long interval) {
  const uint32_t at = static_cast<uint32_t>(now);
  LemzRadioState& r = radioState_;
  auto send = [&](int32_t command, uint32_t& time) {
    r.command = command;
    if (SendState(r))
      time = at;
  };
  if (Since(tFlag_, at) > StatusPeriod)
    send(r.ptt == 0 ? SIG_PROTO_WM_FLAG : r.caller_id[0] ? SIG_PROTO_WM_SEL_CALL_TRANS : SIG_PROTO_WM_TRANS, tFlag_);
  if (Since(tChan_, at) > StatusPeriod && r.channel >= 0 && r.frequency >= 0.0f)
    send(SIG_PROTO_WM_CHAN, tChan_);
  if (r.remote_no >= 0 && r.remote_ch >= 0)
    send(SIG_PROTO_WM_SELECT_RC_CHAN, tRemote_);
  if (Since(tStandby_, at) > StatusPeriod && r.standby_state_channel >= 0 && r.standby_group >= 0 &&
      r.standby_state_receiver >= 0)
    send(SIG_PROTO_WM_STANDBY, tStandby_);
  uint32_t oldest = 0;
  for (uint32_t t : {tFlag_, tChan_, tRemote_, tStandby_})
    oldest = std::max(oldest, Since(t, at));
  return NextDelay(oldest, interval);
}

// ---- workstation ----

int LemzRadioWSControl::PutProtoFromRadioToChan(LemzRadioState const& state) {
  return copyByRule(workstationRule, state, radioState_);
}

int LemzRadioWSControl::PutProtoFromChanToRadio(LemzRadioState const& state) {
  chanState_.session_addr = state.source_addr;
  chanState_.session_ssrc = state.source_ssrc;
  return copyByRule(workstationChannelRule, state, chanState_);
}

int LemzRadioWSControl::EncodeProto(LemzRadioState const& s, sig_proto& p) {
  EncodeProtoHeader(s, p);
  switch (s.command) {
  case SIG_PROTO_GW_ADJUST_CHAN:
    sig_proto_set_gw_adjust_chan(&p, static_cast<uint32_t>(s.channel), s.frequency);
    return 0;
  case SIG_PROTO_GW_SEL_CALL:
    setCallerId(p, s, false);
    return 0;
  case SIG_PROTO_GW_SELECT_RC_CHAN:
    sig_proto_set_gw_select_rc_chan(&p, static_cast<uint8_t>(s.remote_no), static_cast<uint8_t>(s.remote_ch));
    return 0;
  case SIG_PROTO_GW_ADJUST_SQUELSHE:
    sig_proto_set_gw_adjust_squelsh(&p, static_cast<uint8_t>(s.squelshe));
    return 0;
  case SIG_PROTO_GW_ADJUST_RTE:
    sig_proto_set_gw_adjust_rte(&p, static_cast<uint8_t>(s.rte));
    return 0;
  case SIG_PROTO_GW_ADJUST_STANDBY:
    sig_proto_set_gw_adjust_standby(&p, static_cast<uint8_t>(s.standby_state_channel));
    return 0;
  default:  // the flag commands carry nothing more; a workstation sends no WM_* packets
    return s.command >= int{SIG_PROTO_GW_FLAG} && s.command <= int{SIG_PROTO_GW_ADJUST_STANDBY} ? 0 : -1;
  }
}

}  // namespace RTPSignalling
