#include "rtp/lemz_radio_state.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "messages/access.h"

namespace RTPSignalling {

namespace {

using Params = TERM::LemzRadioModifierParams;
using Log = LemzRadioMapping::SubstitutionLog;

// Each command and the modifier alternative that carries it. The flag
// commands are not in the order of their alternatives: RV is 6, SH 4, PW 5.
const struct {
  int command;
  int alternative;
} Commands[] = {
    {SIG_PROTO_GW_FLAG, Params::alt_gw_set_flags},
    {SIG_PROTO_GW_ADJUST_CHAN, Params::alt_gw_set_freq},
    {SIG_PROTO_GW_FLAG_PTT, Params::alt_gw_set_ptt},
    {SIG_PROTO_GW_FLAG_BSS, Params::alt_gw_set_bss},
    {SIG_PROTO_GW_FLAG_RV, Params::alt_gw_set_rv},
    {SIG_PROTO_GW_FLAG_SH, Params::alt_gw_set_sh},
    {SIG_PROTO_GW_FLAG_PW, Params::alt_gw_set_pwr},
    {SIG_PROTO_GW_FLAG_RS, Params::alt_gw_set_resv},
    {SIG_PROTO_GW_SEL_CALL, Params::alt_gw_set_selcall},
    {SIG_PROTO_GW_SELECT_RC_CHAN, Params::alt_gw_set_remote},
    {SIG_PROTO_GW_ADJUST_SQUELSHE, Params::alt_gw_set_squelshe},
    {SIG_PROTO_GW_ADJUST_RTE, Params::alt_gw_set_rte},
    {SIG_PROTO_GW_ADJUST_STANDBY, Params::alt_gw_set_standby},
    {SIG_PROTO_WM_FLAG, Params::alt_wm_flags},
    {SIG_PROTO_WM_TRANS, Params::alt_wm_trans},
    {SIG_PROTO_WM_RADIO_QUALITY, Params::alt_wm_quality},
    {SIG_PROTO_WM_CHAN, Params::alt_wm_chan},
    {SIG_PROTO_WM_SEL_CALL_TRANS, Params::alt_wm_selcall},
    {SIG_PROTO_WM_SELECT_RC_CHAN, Params::alt_wm_remote},
    {SIG_PROTO_WM_STANDBY, Params::alt_wm_standby},
};

// The highest value of each ranged field of the controller's records.
constexpr long MaxSquelshe = 103;
constexpr long MaxRte = 7;
constexpr long MaxStandby = 1;
constexpr long MaxByte = 255;
constexpr long MaxSelcall = 3;
constexpr long MaxLi = 511;

// The value when the record can hold it, else 0 (told to the log).
long encodable(const char* field, long value, long max, Log* log) {
  if (value >= 0 && value <= max)
    return value;
  if (log)
    log->Substituted(field, value, 0);
  return 0;
}

void setCallerId(LemzRadioState& s, const char* text, size_t length) {
  std::memset(s.caller_id, 0, sizeof s.caller_id);
  std::memcpy(s.caller_id, text, length < sizeof s.caller_id - 1 ? length : sizeof s.caller_id - 1);
}

std::string dotted(uint32_t addr) {
  in_addr a;
  a.s_addr = addr;
  char text[INET_ADDRSTRLEN];
  return inet_ntop(AF_INET, &a, text, sizeof text) ? text : "";
}

std::string printed(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%4.6f", static_cast<double>(value));
  return text;
}

float parsed(const ASN1::IA5String& text) { return static_cast<float>(std::strtod(text.getValue().c_str(), nullptr)); }

void decodeFlags(const TERM::RadioFlags& f, LemzRadioState& s) {
  s.priority = f.get_prio().getValue();
  s.ptt = f.get_ptt();
  s.bss = f.get_bss();
  s.vad_rx = f.get_vad_rx();
  s.vad_tx = f.get_vad_tx();
  s.sql = f.get_sql();
  s.sh = f.get_sh();
  s.pwr = f.get_pwr();
  s.rv = f.get_rv();
  s.resv = f.get_resv();
  s.selcall = f.get_selcall().getValue();
  s.li = f.get_li().getValue();
}

void encodeFlags(const LemzRadioState& s, TERM::RadioFlags& f, Log* log) {
  f.set_prio(s.priority);
  f.set_ptt(s.ptt != 0);
  f.set_bss(s.bss != 0);
  f.set_vad_rx(s.vad_rx != 0);
  f.set_vad_tx(s.vad_tx != 0);
  f.set_sql(s.sql != 0);
  f.set_sh(s.sh != 0);
  f.set_pwr(s.pwr != 0);
  f.set_rv(s.rv != 0);
  f.set_resv(s.resv != 0);
  f.set_selcall(static_cast<unsigned>(encodable("selcall", s.selcall, MaxSelcall, log)));
  f.set_li(static_cast<unsigned>(encodable("li", s.li, MaxLi, log)));
}

void decodeFreq(const TERM::RadioFrequency& f, LemzRadioState& s) {
  s.channel = f.get_channel().getValue();
  s.frequency = parsed(f.get_frequency());
}

void encodeFreq(int32_t channel, float frequency, TERM::RadioFrequency& f) {
  f.set_channel(channel);
  f.set_frequency(printed(frequency));
}

void decodeRemote(const TERM::RadioRemote& r, LemzRadioState& s) {
  s.remote_no = static_cast<int32_t>(r.get_no().getValue());
  s.remote_ch = static_cast<int32_t>(r.get_ch().getValue());
}

void encodeRemote(const LemzRadioState& s, TERM::RadioRemote& r, Log* log) {
  r.set_no(static_cast<unsigned>(encodable("remote no", s.remote_no, MaxByte, log)));
  r.set_ch(static_cast<unsigned>(encodable("remote ch", s.remote_ch, MaxByte, log)));
}

// The enumerations hold their value as an int.
int squelshe(const LemzRadioState& s, Log* log) {
  return static_cast<int>(encodable("squelshe", s.squelshe, MaxSquelshe, log));
}
int rte(const LemzRadioState& s, Log* log) { return static_cast<int>(encodable("rte", s.rte, MaxRte, log)); }
int standby(const char* field, int32_t value, Log* log) {
  return static_cast<int>(encodable(field, value, MaxStandby, log));
}

// The records that name a transmitting session: ip, ssrc and, with selcall,
// a caller ID.
template <class R>
void decodeSession(const R& r, LemzRadioState& s) {
  decodeFlags(r.get_flags(), s);
  s.session_addr = inet_addr(r.get_ip().getValue().c_str());
  s.session_ssrc = r.get_ssrc().getValue();
}

template <class R>
void encodeSession(const LemzRadioState& s, R& r, Log* log) {
  encodeFlags(s, r.mutable_flags(), log);
  r.set_ip(dotted(s.session_addr));
  r.set_ssrc(s.session_ssrc);
}

template <class R>
void decodeSelcall(const R& r, LemzRadioState& s) {
  decodeSession(r, s);
  const std::string& cid = r.get_cid().getValue();
  setCallerId(s, cid.data(), cid.size());
}

template <class R>
void encodeSelcall(const LemzRadioState& s, R& r, Log* log) {
  encodeSession(s, r, log);
  r.set_cid(s.caller_id);
}

}  // namespace

int LemzRadioMapping::AlternativeOf(int command) {
  for (const auto& c : Commands)
    if (c.command == command)
      return c.alternative;
  return -1;
}

int LemzRadioMapping::CommandOf(int alternative) {
  for (const auto& c : Commands)
    if (c.alternative == alternative)
      return c.command;
  return -1;
}

int LemzRadioMapping::DecodeProto(sig_proto const& p, LemzRadioState& s) {
  s.command = static_cast<int32_t>(p.type);
  s.source_addr = p.source_addr;
  s.source_ssrc = p.source_ssrc;
  s.priority = static_cast<int32_t>(p.priority);
  s.ptt = p.flag_p;
  s.bss = p.flag_b;
  s.vad_rx = p.flag_r;
  s.vad_tx = p.flag_t;
  s.sql = p.flag_s;
  s.sh = p.flag_sh;
  s.pwr = p.flag_pw;
  s.rv = p.flag_rv;
  s.resv = p.flag_rs;
  s.selcall = p.flag_c;
  s.li = p.status;
  switch (p.type) {
  case SIG_PROTO_GW_ADJUST_CHAN:
    s.channel = static_cast<int32_t>(p.gw_adjust_chan.id);
    s.frequency = p.gw_adjust_chan.freq;
    break;
  case SIG_PROTO_GW_SEL_CALL:
    setCallerId(s, p.gw_sel_call.callerID, strnlen(p.gw_sel_call.callerID, p.gw_sel_call.callerID_length));
    break;
  case SIG_PROTO_GW_SELECT_RC_CHAN:
  case SIG_PROTO_WM_SELECT_RC_CHAN: {
    const sig_proto_select_rc_chan& r = p.type == SIG_PROTO_GW_SELECT_RC_CHAN ? p.gw_select_rc_chan : p.wm_select_rc_chan;
    s.remote_no = r.interface;
    s.remote_ch = r.channel;
    break;
  }
  case SIG_PROTO_GW_ADJUST_SQUELSHE:
    s.squelshe = p.gw_adjust_squelsh.squelsh;
    break;
  case SIG_PROTO_GW_ADJUST_RTE:
    s.rte = p.gw_adjust_rte.rte;
    break;
  case SIG_PROTO_GW_ADJUST_STANDBY:
    s.standby_state_channel = p.gw_adjust_standby.state;
    break;
  case SIG_PROTO_WM_TRANS:
    s.session_addr = p.wm_trans.session_addr.s_addr;
    s.session_ssrc = p.wm_trans.ssrc;
    break;
  case SIG_PROTO_WM_RADIO_QUALITY:
    s.quality = p.wm_radio_quality.radio_quality;
    break;
  case SIG_PROTO_WM_CHAN:
    s.channel = static_cast<int32_t>(p.wm_chan.id);
    s.frequency = p.wm_chan.freq;
    s.squelshe = p.wm_chan.squelsh;
    s.rte = p.wm_chan.rte;
    break;
  case SIG_PROTO_WM_SEL_CALL_TRANS: {
    const sig_proto_wm_sel_call_trans& t = p.wm_sel_call_trans;
    s.session_addr = t.session_addr.s_addr;
    s.session_ssrc = t.ssrc;
    setCallerId(s, t.callerID, strnlen(t.callerID, t.callerID_length));
    break;
  }
  case SIG_PROTO_WM_STANDBY:
    s.standby_state_channel = p.wm_standby.state;
    s.standby_group = p.wm_standby.group;
    s.standby_state_receiver = p.wm_standby.receiver_state;
    break;
  default:  // the flag commands carry nothing more
    break;
  }
  return AlternativeOf(s.command) < 0 ? -1 : 0;
}

int LemzRadioMapping::DecodeASN(TERM::LemzRadioModifier const& modifier, LemzRadioState& s) {
  s.command = 0;
  s.source_addr = inet_addr(modifier.get_addr().get_session_addr().getValue().c_str());
  s.source_ssrc = modifier.get_addr().get_session_ssrc().getValue();
  const Params& p = modifier.get_params();
  const int alternative = p.currentSelection();
  const int command = CommandOf(alternative);
  if (command > 0)
    s.command = command;
  switch (alternative) {
  case Params::alt_gw_set_flags:
  case Params::alt_gw_set_ptt:
  case Params::alt_gw_set_bss:
  case Params::alt_gw_set_sh:
  case Params::alt_gw_set_pwr:
  case Params::alt_gw_set_rv:
  case Params::alt_gw_set_resv:
    decodeFlags(Messages::alternative<TERM::RadioCommandGWSetFlags>(p, alternative).get_flags(), s);
    break;
  case Params::alt_gw_set_freq:
    decodeFreq(p.get_gw_set_freq().get_freq(), s);
    break;
  case Params::alt_gw_set_selcall:
    decodeSelcall(p.get_gw_set_selcall(), s);
    break;
  case Params::alt_gw_set_remote:
    decodeRemote(p.get_gw_set_remote().get_remote(), s);
    break;
  case Params::alt_gw_set_squelshe:
    s.squelshe = p.get_gw_set_squelshe().get_squelshe().getValue();
    break;
  case Params::alt_gw_set_rte:
    s.rte = p.get_gw_set_rte().get_rte().getValue();
    break;
  case Params::alt_gw_set_standby:
    s.standby_state_channel = p.get_gw_set_standby().get_state().getValue();
    break;
  case Params::alt_wm_flags:
    decodeFlags(p.get_wm_flags().get_flags(), s);
    break;
  case Params::alt_wm_trans:
    decodeSession(p.get_wm_trans(), s);
    break;
  case Params::alt_wm_quality:
    s.quality = parsed(p.get_wm_quality().get_bss_val());
    break;
  case Params::alt_wm_chan: {
    const TERM::RadioCommandWMChan& c = p.get_wm_chan();
    decodeFreq(c.get_freq(), s);
    s.squelshe = c.get_squelshe().getValue();
    s.rte = c.get_rte().getValue();
    break;
  }
  case Params::alt_wm_selcall:
    decodeSelcall(p.get_wm_selcall(), s);
    break;
  case Params::alt_wm_remote:
    decodeRemote(p.get_wm_remote().get_remote(), s);
    break;
  case Params::alt_wm_standby: {
    const TERM::RadioCommandWMStandby& w = p.get_wm_standby();
    s.standby_state_channel = w.get_state_channel().getValue();
    s.standby_group = static_cast<int32_t>(w.get_group().getValue());
    s.standby_state_receiver = w.get_state_receiver().getValue();
    break;
  }
  default:
    break;
  }
  return 0;
}

int LemzRadioMapping::DecodeASN(TERM::LemzRadioStatus const& status, LemzRadioState& s) {
  s.command = 0;
  decodeFlags(status.get_flags(), s);
  decodeFreq(status.get_freq(), s);
  decodeRemote(status.get_remote(), s);
  s.squelshe = status.get_squelshe().getValue();
  s.rte = status.get_rte().getValue();
  s.standby_state_channel = status.get_standby_state_channel().getValue();
  s.standby_group = static_cast<int32_t>(status.get_standby_group().getValue());
  s.standby_state_receiver = status.get_standby_state_receiver().getValue();
  return 0;
}

int LemzRadioMapping::EncodeStatusASN(LemzRadioState const& s, TERM::RtpRadioRequest& request, Log* log) {
  TERM::LemzRadioStatus& status = request.mutable_status().select_lemz();
  encodeFlags(s, status.mutable_flags(), log);
  encodeFreq(s.channel, s.frequency, status.mutable_freq());
  encodeRemote(s, status.mutable_remote(), log);
  status.mutable_squelshe().setValue(squelshe(s, log));
  status.mutable_rte().setValue(rte(s, log));
  status.mutable_standby_state_channel().setValue(standby("standby-state-channel", s.standby_state_channel, log));
  status.set_standby_group(static_cast<unsigned>(encodable("standby-group", s.standby_group, MaxByte, log)));
  status.mutable_standby_state_receiver().setValue(standby("standby-state-receiver", s.standby_state_receiver, log));
  return 0;
}

int LemzRadioMapping::EncodeASN(LemzRadioState const& radioState, LemzRadioState const& r,
                                TERM::RtpRadioRequest& request, Log* log) {
  EncodeStatusASN(radioState, request, log);
  const int alternative = AlternativeOf(r.command);
  if (alternative < 0)
    return -1;
  TERM::LemzRadioModifier& modifier = request.mutable_request().select_lemz();
  modifier.mutable_addr().set_session_addr(dotted(r.source_addr));
  modifier.mutable_addr().set_session_ssrc(r.source_ssrc);
  Params& p = modifier.mutable_params();
  switch (alternative) {
  case Params::alt_gw_set_freq:
    encodeFreq(r.channel, r.frequency, p.select_gw_set_freq().mutable_freq());
    break;
  case Params::alt_gw_set_selcall:
    encodeSelcall(r, p.select_gw_set_selcall(), log);
    break;
  case Params::alt_gw_set_remote:
    encodeRemote(r, p.select_gw_set_remote().mutable_remote(), log);
    break;
  case Params::alt_gw_set_squelshe:
    p.select_gw_set_squelshe().mutable_squelshe().setValue(squelshe(r, log));
    break;
  case Params::alt_gw_set_rte:
    p.select_gw_set_rte().mutable_rte().setValue(rte(r, log));
    break;
  case Params::alt_gw_set_standby:
    p.select_gw_set_standby().mutable_state().setValue(standby("state", r.standby_state_channel, log));
    break;
  case Params::alt_wm_flags:
    encodeFlags(r, p.select_wm_flags().mutable_flags(), log);
    break;
  case Params::alt_wm_trans:
    encodeSession(r, p.select_wm_trans(), log);
    break;
  case Params::alt_wm_quality:
    p.select_wm_quality().set_bss_val(printed(r.quality));
    break;
  case Params::alt_wm_chan: {
    TERM::RadioCommandWMChan& c = p.select_wm_chan();
    encodeFreq(r.channel, r.frequency, c.mutable_freq());
    c.mutable_squelshe().setValue(squelshe(r, log));
    c.mutable_rte().setValue(rte(r, log));
    break;
  }
  case Params::alt_wm_selcall:
    encodeSelcall(r, p.select_wm_selcall(), log);
    break;
  case Params::alt_wm_remote:
    encodeRemote(r, p.select_wm_remote().mutable_remote(), log);
    break;
  case Params::alt_wm_standby: {
    TERM::RadioCommandWMStandby& w = p.select_wm_standby();
    w.mutable_state_channel().setValue(standby("state-channel", r.standby_state_channel, log));
    w.set_group(static_cast<unsigned>(encodable("group", r.standby_group, MaxByte, log)));
    w.mutable_state_receiver().setValue(standby("state-receiver", r.standby_state_receiver, log));
    break;
  }
  default:  // the flag commands
    encodeFlags(r, Messages::select<TERM::RadioCommandGWSetFlags>(p, alternative).mutable_flags(), log);
    break;
  }
  return 0;
}

}  // namespace RTPSignalling
