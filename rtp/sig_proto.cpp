#include "rtp/sig_proto.h"

#include <cstring>

const sig_proto_const_name sig_proto_packet_const_name[SIG_PROTO_NAME_TABLE_SIZE] = {
    {SIG_PROTO_GW_FLAG, "GW_FLAG"},
    {SIG_PROTO_GW_ADJUST_CHAN, "GW_ADJUST_CHAN"},
    {SIG_PROTO_GW_FLAG_PTT, "GW_FLAG_PTT"},
    {SIG_PROTO_GW_FLAG_BSS, "GW_FLAG_BSS"},
    {SIG_PROTO_GW_FLAG_RV, "GW_FLAG_RV"},
    {SIG_PROTO_GW_FLAG_SH, "GW_FLAG_SH"},
    {SIG_PROTO_GW_FLAG_PW, "GW_FLAG_PW"},
    {SIG_PROTO_GW_FLAG_RS, "GW_FLAG_RS"},
    {SIG_PROTO_GW_SEL_CALL, "GW_SEL_CALL"},
    {SIG_PROTO_GW_SELECT_RC_CHAN, "GW_SELECT_RC_CHAN"},
    {SIG_PROTO_GW_ADJUST_SQUELSHE, "GW_ADJUST_SQUELSHE"},
    {SIG_PROTO_GW_ADJUST_RTE, "GW_ADJUST_RTE"},
    {SIG_PROTO_GW_ADJUST_STANDBY, "GW_ADJUST_STANDBY"},
    {SIG_PROTO_WM_FLAG, "WM_FLAG"},
    {SIG_PROTO_WM_TRANS, "WM_TRANS"},
    {SIG_PROTO_WM_RADIO_QUALITY, "WM_RADIO_QUALITY"},
    {SIG_PROTO_WM_CHAN, "WM_CHAN"},
    {SIG_PROTO_WM_SEL_CALL_TRANS, "WM_SEL_CALL_TRANS"},
    {SIG_PROTO_WM_SELECT_RC_CHAN, "WM_SELECT_RC_CHAN"},
    {SIG_PROTO_WM_STANDBY, "WM_STANDBY"},
    {-1, ""},
};

namespace {

constexpr size_t HeaderSize = 4;
constexpr size_t MaxCallerId = SIG_PROTO_CALLER_ID_SIZE - 1;

size_t roundUp4(size_t n) { return (n + 3) & ~size_t(3); }

void put32(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v >> 24);
  out[1] = static_cast<uint8_t>(v >> 16);
  out[2] = static_cast<uint8_t>(v >> 8);
  out[3] = static_cast<uint8_t>(v);
}

uint32_t get32(const uint8_t* in) {
  return (uint32_t(in[0]) << 24) | (uint32_t(in[1]) << 16) | (uint32_t(in[2]) << 8) | in[3];
}

void putFloat(uint8_t* out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  put32(out, bits);
}

float getFloat(const uint8_t* in) {
  uint32_t bits = get32(in);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void put32le(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v);
  out[1] = static_cast<uint8_t>(v >> 8);
  out[2] = static_cast<uint8_t>(v >> 16);
  out[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t get32le(const uint8_t* in) {
  return (uint32_t(in[3]) << 24) | (uint32_t(in[2]) << 16) | (uint32_t(in[1]) << 8) | in[0];
}

// The address's octets as they lie in memory (network order), reversed:
// the address word most significant byte first on a little-endian host,
// least significant first on a big-endian one.
void putAddr(uint8_t* out, in_addr a) {
  if (is_little_endian())
    put32(out, a.s_addr);
  else
    put32le(out, a.s_addr);
}

in_addr getAddr(const uint8_t* in) {
  in_addr a;
  a.s_addr = is_little_endian() ? get32(in) : get32le(in);
  return a;
}

void putHeader(uint8_t* out, const sig_proto& r) {
  out[0] = static_cast<uint8_t>(r.type);
  out[1] = static_cast<uint8_t>(((r.priority & 0x0Fu) << 4) | ((r.flag_t & 1u) << 3) | ((r.flag_p & 1u) << 2) |
                                ((r.flag_r & 1u) << 1) | (r.flag_s & 1u));
  uint32_t status = r.status & 0x1FFu;
  out[2] = static_cast<uint8_t>(((r.flag_b & 1u) << 7) | ((r.flag_rv & 1u) << 6) | ((r.flag_sh & 1u) << 5) |
                                ((r.flag_pw & 1u) << 4) | (status >> 5));
  out[3] = static_cast<uint8_t>(((status & 0x1Fu) << 3) | ((r.flag_c & 3u) << 1) | (r.flag_rs & 1u));
}

void getHeader(const uint8_t* in, sig_proto& r) {
  r.type = in[0];
  r.priority = in[1] >> 4;
  r.flag_t = (in[1] >> 3) & 1u;
  r.flag_p = (in[1] >> 2) & 1u;
  r.flag_r = (in[1] >> 1) & 1u;
  r.flag_s = in[1] & 1u;
  r.flag_b = in[2] >> 7;
  r.flag_rv = (in[2] >> 6) & 1u;
  r.flag_sh = (in[2] >> 5) & 1u;
  r.flag_pw = (in[2] >> 4) & 1u;
  r.status = (uint32_t(in[2] & 0x0Fu) << 5) | (in[3] >> 3);
  r.flag_c = (in[3] >> 1) & 3u;
  r.flag_rs = in[3] & 1u;
}

// The caller ID at `out`: n bytes of it; the rest stays cleared.
void putCallerId(uint8_t* out, const char* id, uint8_t n) { std::memcpy(out, id, n); }

// n bytes of caller ID into the area, the rest cleared.
void getCallerId(char* area, const uint8_t* in, uint8_t n) {
  std::memset(area, 0, SIG_PROTO_CALLER_ID_SIZE);
  std::memcpy(area, in, n);
}

void setCallerId(char* area, uint8_t& length, const char* text, unsigned n) {
  std::memset(area, 0, SIG_PROTO_CALLER_ID_SIZE);
  if (!text) {
    length = 0;
    return;
  }
  size_t copy = strnlen(text, MaxCallerId);
  std::memcpy(area, text, copy);
  length = static_cast<uint8_t>(n < MaxCallerId ? n : MaxCallerId);
}

}  // namespace

int is_little_endian() {
  const uint32_t word = 0x01234567;
  uint8_t first;
  std::memcpy(&first, &word, 1);
  return first == 0x67;
}

int sig_proto_pack(const sig_proto* record, uint8_t* buffer, size_t size) {
  if (!record || !buffer)
    return 0;
  if (size < HeaderSize)
    return SIG_PROTO_ESHORT;
  std::memset(buffer, 0, size);
  const sig_proto& r = *record;
  putHeader(buffer, r);
  uint8_t* p = buffer + HeaderSize;
  switch (r.type) {
  case SIG_PROTO_GW_ADJUST_CHAN:
    if (size < 12)
      return SIG_PROTO_ESHORT;
    put32(p, r.gw_adjust_chan.id);
    putFloat(p + 4, r.gw_adjust_chan.freq);
    return 12;
  case SIG_PROTO_GW_SEL_CALL: {
    uint8_t n = r.gw_sel_call.callerID_length;
    if (size < n + 12u)
      return SIG_PROTO_ESHORT;
    p[0] = n;
    putCallerId(p + 1, r.gw_sel_call.callerID, n);
    return static_cast<int>(roundUp4(5u + n));
  }
  case SIG_PROTO_GW_SELECT_RC_CHAN:
  case SIG_PROTO_WM_SELECT_RC_CHAN: {
    if (size < 8)
      return SIG_PROTO_ESHORT;
    const sig_proto_select_rc_chan& s =
        r.type == SIG_PROTO_GW_SELECT_RC_CHAN ? r.gw_select_rc_chan : r.wm_select_rc_chan;
    p[0] = s.interface;
    p[1] = s.channel;
    return 8;
  }
  case SIG_PROTO_GW_ADJUST_SQUELSHE:
  case SIG_PROTO_GW_ADJUST_RTE:
  case SIG_PROTO_GW_ADJUST_STANDBY:
    if (size < 8)
      return SIG_PROTO_ESHORT;
    p[0] = r.type == SIG_PROTO_GW_ADJUST_SQUELSHE ? r.gw_adjust_squelsh.squelsh
           : r.type == SIG_PROTO_GW_ADJUST_RTE    ? r.gw_adjust_rte.rte
                                                  : r.gw_adjust_standby.state;
    return 8;
  case SIG_PROTO_WM_TRANS:
    if (size < 12)
      return SIG_PROTO_ESHORT;
    putAddr(p, r.wm_trans.session_addr);
    put32(p + 4, r.wm_trans.ssrc);
    return 12;
  case SIG_PROTO_WM_RADIO_QUALITY:
    if (size < 8)
      return SIG_PROTO_ESHORT;
    putFloat(p, r.wm_radio_quality.radio_quality);
    return 8;
  case SIG_PROTO_WM_CHAN:
    if (size < 16)
      return SIG_PROTO_ESHORT;
    put32(p, r.wm_chan.id);
    putFloat(p + 4, r.wm_chan.freq);
    p[8] = r.wm_chan.squelsh;
    p[9] = r.wm_chan.rte;
    return 16;
  case SIG_PROTO_WM_SEL_CALL_TRANS: {
    uint8_t n = r.wm_sel_call_trans.callerID_length;
    if (size < n + 20u)
      return SIG_PROTO_ESHORT;
    putAddr(p, r.wm_sel_call_trans.session_addr);
    put32(p + 4, r.wm_sel_call_trans.ssrc);
    p[8] = n;
    putCallerId(p + 9, r.wm_sel_call_trans.callerID, n);
    return static_cast<int>(roundUp4(13u + n));
  }
  case SIG_PROTO_WM_STANDBY:
    if (size < 8)
      return SIG_PROTO_ESHORT;
    p[0] = r.wm_standby.state;
    p[1] = r.wm_standby.group;
    p[2] = r.wm_standby.receiver_state;
    return 8;
  default:
    return static_cast<int>(HeaderSize);
  }
}

int sig_proto_unpack(sig_proto* record, const uint8_t* bytes, size_t length) {
  if (!record || !bytes)
    return SIG_PROTO_ENULL;
  if (length < HeaderSize)
    return SIG_PROTO_ESHORT;
  // Decoded into a copy, stored only when the whole packet was there.
  sig_proto r = *record;
  getHeader(bytes, r);
  const uint8_t* p = bytes + HeaderSize;
  switch (r.type) {
  case SIG_PROTO_GW_FLAG:
  case SIG_PROTO_GW_FLAG_PTT:
  case SIG_PROTO_GW_FLAG_BSS:
  case SIG_PROTO_GW_FLAG_RV:
  case SIG_PROTO_GW_FLAG_SH:
  case SIG_PROTO_GW_FLAG_PW:
  case SIG_PROTO_GW_FLAG_RS:
  case SIG_PROTO_WM_FLAG:
    break;
  case SIG_PROTO_GW_ADJUST_CHAN:
    if (length < 12)
      return SIG_PROTO_ESHORT;
    r.gw_adjust_chan.id = get32(p);
    r.gw_adjust_chan.freq = getFloat(p + 4);
    break;
  case SIG_PROTO_GW_SEL_CALL: {
    if (length < 5 || length < 5u + p[0])
      return SIG_PROTO_ESHORT;
    r.gw_sel_call.callerID_length = p[0];
    getCallerId(r.gw_sel_call.callerID, p + 1, p[0]);
    break;
  }
  case SIG_PROTO_GW_SELECT_RC_CHAN:
  case SIG_PROTO_WM_SELECT_RC_CHAN: {
    if (length < 8)
      return SIG_PROTO_ESHORT;
    sig_proto_select_rc_chan& s = r.type == SIG_PROTO_GW_SELECT_RC_CHAN ? r.gw_select_rc_chan : r.wm_select_rc_chan;
    s.interface = p[0];
    s.channel = p[1];
    break;
  }
  case SIG_PROTO_GW_ADJUST_SQUELSHE:
  case SIG_PROTO_GW_ADJUST_RTE:
  case SIG_PROTO_GW_ADJUST_STANDBY:
    if (length < 8)
      return SIG_PROTO_ESHORT;
    (r.type == SIG_PROTO_GW_ADJUST_SQUELSHE ? r.gw_adjust_squelsh.squelsh
     : r.type == SIG_PROTO_GW_ADJUST_RTE    ? r.gw_adjust_rte.rte
                                            : r.gw_adjust_standby.state) = p[0];
    break;
  case SIG_PROTO_WM_TRANS:
    if (length < 12)
      return SIG_PROTO_ESHORT;
    r.wm_trans.session_addr = getAddr(p);
    r.wm_trans.ssrc = get32(p + 4);
    break;
  case SIG_PROTO_WM_RADIO_QUALITY:
    if (length < 8)
      return SIG_PROTO_ESHORT;
    r.wm_radio_quality.radio_quality = getFloat(p);
    break;
  case SIG_PROTO_WM_CHAN:
    if (length < 16)
      return SIG_PROTO_ESHORT;
    r.wm_chan.id = get32(p);
    r.wm_chan.freq = getFloat(p + 4);
    r.wm_chan.squelsh = p[8];
    r.wm_chan.rte = p[9];
    break;
  case SIG_PROTO_WM_SEL_CALL_TRANS:
    if (length < 13 || length < 13u + p[8])
      return SIG_PROTO_ESHORT;
    r.wm_sel_call_trans.session_addr = getAddr(p);
    r.wm_sel_call_trans.ssrc = get32(p + 4);
    r.wm_sel_call_trans.callerID_length = p[8];
    getCallerId(r.wm_sel_call_trans.callerID, p + 9, p[8]);
    break;
  case SIG_PROTO_WM_STANDBY:
    if (length < 8)
      return SIG_PROTO_ESHORT;
    r.wm_standby.state = p[0];
    r.wm_standby.group = p[1];
    r.wm_standby.receiver_state = p[2];
    break;
  default:
    record->type = r.type;
    return SIG_PROTO_ETYPE;
  }
  *record = r;
  return 0;
}

int sig_proto_init(sig_proto* record) {
  if (record)
    std::memset(record, 0, sizeof *record);
  return 0;
}

int sig_proto_set_base(sig_proto* record, int priority, int flag_t, int flag_p, int flag_r, int flag_s, int flag_b,
                       int flag_rv, int flag_sh, int flag_pw, int flag_rs, int flag_c, int status) {
  if (!record)
    return 0;
  struct {
    int value;
    uint32_t& field;
  } fields[] = {{priority, record->priority}, {flag_t, record->flag_t},   {flag_p, record->flag_p},
                {flag_r, record->flag_r},     {flag_s, record->flag_s},   {flag_b, record->flag_b},
                {flag_rv, record->flag_rv},   {flag_sh, record->flag_sh}, {flag_pw, record->flag_pw},
                {flag_rs, record->flag_rs},   {flag_c, record->flag_c},   {status, record->status}};
  for (auto& f : fields)
    if (f.value >= 0)
      f.field = static_cast<uint32_t>(f.value);
  return 0;
}

int sig_proto_set_ptt(sig_proto* record, int p) {
  if (record && p >= 0)
    record->flag_p = static_cast<uint32_t>(p);
  return 0;
}

int sig_proto_set_gw_adjust_chan(sig_proto* record, uint32_t id, float freq) {
  if (record) {
    record->gw_adjust_chan.id = id;
    record->gw_adjust_chan.freq = freq;
  }
  return 0;
}

int sig_proto_set_gw_selcall(sig_proto* record, const char* callerID, unsigned length) {
  if (record)
    setCallerId(record->gw_sel_call.callerID, record->gw_sel_call.callerID_length, callerID, length);
  return 0;
}

int sig_proto_set_gw_select_rc_chan(sig_proto* record, uint8_t interface, uint8_t channel) {
  if (record) {
    record->gw_select_rc_chan.interface = interface;
    record->gw_select_rc_chan.channel = channel;
  }
  return 0;
}

int sig_proto_set_gw_adjust_squelsh(sig_proto* record, uint8_t squelsh) {
  if (record)
    record->gw_adjust_squelsh.squelsh = squelsh;
  return 0;
}

int sig_proto_set_gw_adjust_rte(sig_proto* record, uint8_t rte) {
  if (record)
    record->gw_adjust_rte.rte = rte;
  return 0;
}

int sig_proto_set_gw_adjust_standby(sig_proto* record, uint8_t state) {
  if (record)
    record->gw_adjust_standby.state = state;
  return 0;
}

int sig_proto_set_wm_transmite(sig_proto* record, in_addr session_addr, uint32_t ssrc) {
  if (record) {
    record->wm_trans.session_addr = session_addr;
    record->wm_trans.ssrc = ssrc;
  }
  return 0;
}

int sig_proto_set_wm_radio_quality(sig_proto* record, float radio_quality) {
  if (record)
    record->wm_radio_quality.radio_quality = radio_quality;
  return 0;
}

int sig_proto_set_wm_chan(sig_proto* record, uint32_t id, float freq, uint8_t squelsh, uint8_t rte) {
  if (record) {
    record->wm_chan.id = id;
    record->wm_chan.freq = freq;
    record->wm_chan.squelsh = squelsh;
    record->wm_chan.rte = rte;
  }
  return 0;
}

int sig_proto_set_wm_selcall_transmite(sig_proto* record, in_addr session_addr, uint32_t ssrc, const char* callerID,
                                       unsigned length) {
  if (!record)
    return 0;
  sig_proto_wm_sel_call_trans& t = record->wm_sel_call_trans;
  t.session_addr = session_addr;
  t.ssrc = ssrc;
  setCallerId(t.callerID, t.callerID_length, callerID, length);
  return 0;
}

int sig_proto_set_wm_select_rc_chan(sig_proto* record, uint8_t interface, uint8_t channel) {
  if (record) {
    record->wm_select_rc_chan.interface = interface;
    record->wm_select_rc_chan.channel = channel;
  }
  return 0;
}

int sig_proto_set_wm_standby(sig_proto* record, uint8_t state, uint8_t group, uint8_t receiver_state) {
  if (record) {
    record->wm_standby.state = state;
    record->wm_standby.group = group;
    record->wm_standby.receiver_state = receiver_state;
  }
  return 0;
}

int sig_proto_is_ptt_command(const sig_proto* record) {
  if (!record)
    return 0;
  switch (record->type) {
  case SIG_PROTO_GW_FLAG:
  case SIG_PROTO_GW_FLAG_PTT:
  case SIG_PROTO_GW_SEL_CALL:
  case SIG_PROTO_WM_FLAG:
  case SIG_PROTO_WM_TRANS:
  case SIG_PROTO_WM_SEL_CALL_TRANS:
    return 1;
  default:
    return 0;
  }
}

int cmp_sig_proto_header(const sig_proto* a, const sig_proto* b) {
  if (!a || !b)
    return -1;
  if (b->type != a->type)
    return static_cast<int>(b->type - a->type);
  if (b->source_ssrc != a->source_ssrc)
    return static_cast<int>(b->source_ssrc - a->source_ssrc);
  return static_cast<int>(b->source_addr - a->source_addr);
}

const char* sig_proto_find_name_by_id(const sig_proto_const_name* table, int id) {
  if (!table)
    return nullptr;
  for (size_t i = 0; i < SIG_PROTO_NAME_TABLE_SIZE && table[i].id >= 0; ++i)
    if (table[i].id == id)
      return table[i].name;
  return nullptr;
}

int sig_proto_find_id_by_name(const sig_proto_const_name* table, const char* name) {
  if (!table || !name)
    return -1;
  for (size_t i = 0; i < SIG_PROTO_NAME_TABLE_SIZE && table[i].id >= 0; ++i)
    if (table[i].name && std::strcmp(table[i].name, name) == 0)
      return table[i].id;
  return -1;
}
