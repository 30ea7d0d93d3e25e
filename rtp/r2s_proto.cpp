#include "rtp/r2s_proto.h"

#include <cstring>

namespace {

// Type/length bytes of the features on the wire.
constexpr uint8_t SqiTag = 0x11;
constexpr uint8_t RrcShortTag = 0x31;
constexpr uint8_t RrcLongTag = 0x34;
constexpr uint8_t MamTag = 0x4C;
constexpr uint8_t TimeDelayTag = 0x21;
constexpr uint8_t RrmTag = 0x43;

uint8_t bit(uint32_t v, int position) { return static_cast<uint8_t>((v & 1u) << position); }

void putHeader(uint8_t* out, uint32_t pttType, uint32_t squ, uint32_t pttId, uint32_t mute, uint32_t summation,
               uint32_t sct, bool more) {
  out[0] = static_cast<uint8_t>(((pttType & 7u) << 5) | bit(squ, 4) | ((pttId >> 2) & 0x0Fu));
  out[1] = static_cast<uint8_t>(((pttId & 3u) << 6) | bit(mute, 5) | bit(summation, 4) | bit(sct, 3) |
                                (more ? 1u : 0u));
}

uint8_t flagsByte(const uint32_t* flags) {
  uint8_t b = 0;
  for (int i = 0; i < 8; ++i)
    b = static_cast<uint8_t>(b | bit(flags[i], 7 - i));
  return b;
}

void flagsFrom(uint8_t b, uint32_t* flags) {
  for (int i = 0; i < 8; ++i)
    flags[i] = (b >> (7 - i)) & 1u;
}

// A mark bit and a 23-bit time in three bytes.
void putMarked(uint8_t* out, uint32_t mark, uint32_t time) {
  out[0] = static_cast<uint8_t>(bit(mark, 7) | ((time >> 16) & 0x7Fu));
  out[1] = static_cast<uint8_t>(time >> 8);
  out[2] = static_cast<uint8_t>(time);
}

void getMarked(const uint8_t* in, uint32_t& mark, uint32_t& time) {
  mark = in[0] >> 7;
  time = (uint32_t(in[0] & 0x7Fu) << 16) | (uint32_t(in[1]) << 8) | in[2];
}

void put16(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v >> 8);
  out[1] = static_cast<uint8_t>(v);
}

uint32_t get16(const uint8_t* in) { return (uint32_t(in[0]) << 8) | in[1]; }

uint32_t featureCount(const r2s_proto& r) {
  return r.additional_count < R2S_PROTO_MAX_ADDITIONALS ? r.additional_count : R2S_PROTO_MAX_ADDITIONALS;
}

// Clears the buffer and writes the header; the bytes written so far, or an
// error when not even the header fits.
int begin(uint8_t* buffer, size_t size, const r2s_proto& r, bool rx) {
  if (size < 2)
    return R2S_PROTO_ESHORT;
  std::memset(buffer, 0, size);
  if (rx)
    putHeader(buffer, r.rx.ptt_type, r.rx.squ, r.rx.ptt_id, r.rx.ptt_mute, r.rx.ptt_summation, r.rx.sct,
              r.additional_count != 0);
  else
    putHeader(buffer, r.tx.ptt_type, 0, r.tx.ptt_id, r.tx.ptt_mute, r.tx.ptt_summation, 0, r.additional_count != 0);
  if (r.additional_count != 0)
    return 2;
  return size < 4 ? R2S_PROTO_ESHORT : 4;  // header and two zero bytes
}

// One feature of the record written at `pos`: the bytes it takes, 0 for a
// kind the direction does not carry, or an error. `room` is what the
// features need so far, checked against the size before anything is written.
int packRx(const r2s_proto_additional& f, uint8_t* out, size_t size, size_t& room) {
  switch (f.kind) {
  case R2S_PROTO_RX_SQI:
    if (size < (room += 2))
      return R2S_PROTO_ESHORT;
    out[0] = SqiTag;
    out[1] = static_cast<uint8_t>(((f.rx_sqi.quality & 0x1Fu) << 3) | (f.rx_sqi.method & 7u));
    return 2;
  case R2S_PROTO_RX_RRC:
    // Room for the long form whatever the form.
    if (size < (room += 5))
      return R2S_PROTO_ESHORT;
    if (f.rx_rrc.form == 0) {
      out[0] = RrcShortTag;
      out[1] = flagsByte(f.rx_rrc.flags);
      return 2;
    }
    if (f.rx_rrc.form != 1)
      return R2S_PROTO_ETYPE;
    out[0] = RrcLongTag;
    out[1] = flagsByte(f.rx_rrc.flags);
    out[2] = static_cast<uint8_t>(bit(f.rx_rrc.ext_flags[0], 7) | bit(f.rx_rrc.ext_flags[1], 6));
    out[3] = static_cast<uint8_t>(f.rx_rrc.values[0]);
    out[4] = static_cast<uint8_t>(f.rx_rrc.values[1]);
    return 5;
  case R2S_PROTO_RX_MAM:
    if (size < (room += 13))
      return R2S_PROTO_ESHORT;
    out[0] = MamTag;
    putMarked(out + 1, f.rx_mam.tqg, f.rx_mam.t1);
    putMarked(out + 4, f.rx_mam.nmr, f.rx_mam.t2);
    put16(out + 7, f.rx_mam.tsd);
    put16(out + 9, f.rx_mam.tj1);
    put16(out + 11, f.rx_mam.tid);
    return 13;
  default:
    return 0;
  }
}

int packTx(const r2s_proto_additional& f, uint8_t* out, size_t size, size_t& room) {
  switch (f.kind) {
  case R2S_PROTO_TX_CLIMAX_TIME_DELAY:
    if (size < (room += 2))
      return R2S_PROTO_ESHORT;
    out[0] = TimeDelayTag;
    out[1] = static_cast<uint8_t>(f.tx_time_delay.value);
    return 2;
  case R2S_PROTO_TX_RRC:
    if (size < (room += 2))
      return R2S_PROTO_ESHORT;
    out[0] = RrcShortTag;
    out[1] = flagsByte(f.tx_rrc.flags);
    return 2;
  case R2S_PROTO_TX_RRM:
    if (size < (room += 4))
      return R2S_PROTO_ESHORT;
    out[0] = RrmTag;
    putMarked(out + 1, f.tx_rrm.tqv, f.tx_rrm.t1);
    return 4;
  default:
    return 0;
  }
}

int pack(const r2s_proto* record, uint8_t* buffer, size_t size, bool rx) {
  if (!record || !buffer)
    return 0;
  int pos = begin(buffer, size, *record, rx);
  if (pos < 0 || record->additional_count == 0)
    return pos;
  size_t room = 2;
  for (uint32_t i = 0; i < featureCount(*record); ++i) {
    const r2s_proto_additional& f = record->additionals[i];
    int n = rx ? packRx(f, buffer + pos, size, room) : packTx(f, buffer + pos, size, room);
    if (n < 0)
      return n;
    pos += n;
  }
  return pos;
}

// Stores the feature of tag `tag` with value `v` when the direction knows
// the pair; false skips it.
bool unpackRx(uint8_t tag, const uint8_t* v, r2s_proto_additional& f) {
  std::memset(&f, 0, sizeof f);
  switch (tag) {
  case SqiTag:
    f.kind = R2S_PROTO_RX_SQI;
    f.rx_sqi.quality = v[0] >> 3;
    f.rx_sqi.method = v[0] & 7u;
    return true;
  case RrcShortTag:
  case RrcLongTag:
    f.kind = R2S_PROTO_RX_RRC;
    flagsFrom(v[0], f.rx_rrc.flags);
    if (tag == RrcLongTag) {
      f.rx_rrc.form = 1;
      f.rx_rrc.ext_flags[0] = v[1] >> 7;
      f.rx_rrc.ext_flags[1] = (v[1] >> 6) & 1u;
      f.rx_rrc.values[0] = v[2];
      f.rx_rrc.values[1] = v[3];
    }
    return true;
  case MamTag:
    f.kind = R2S_PROTO_RX_MAM;
    getMarked(v, f.rx_mam.tqg, f.rx_mam.t1);
    getMarked(v + 3, f.rx_mam.nmr, f.rx_mam.t2);
    f.rx_mam.tsd = get16(v + 6);
    f.rx_mam.tj1 = get16(v + 8);
    f.rx_mam.tid = get16(v + 10);
    return true;
  default:
    return false;
  }
}

bool unpackTx(uint8_t tag, const uint8_t* v, r2s_proto_additional& f) {
  std::memset(&f, 0, sizeof f);
  switch (tag) {
  case TimeDelayTag:
    f.kind = R2S_PROTO_TX_CLIMAX_TIME_DELAY;
    f.tx_time_delay.value = v[0];
    return true;
  case RrcShortTag:
    f.kind = R2S_PROTO_TX_RRC;
    flagsFrom(v[0], f.tx_rrc.flags);
    return true;
  case RrmTag:
    f.kind = R2S_PROTO_TX_RRM;
    getMarked(v, f.tx_rrm.tqv, f.tx_rrm.t1);
    return true;
  default:
    return false;
  }
}

int unpack(r2s_proto* record, const uint8_t* bytes, size_t length, bool rx) {
  if (!record || !bytes)
    return R2S_PROTO_ENULL;
  if (length < 2)
    return R2S_PROTO_ESHORT;
  const uint32_t pttType = bytes[0] >> 5;
  const uint32_t pttId = (uint32_t(bytes[0] & 0x0Fu) << 2) | (bytes[1] >> 6);
  const uint32_t mute = (bytes[1] >> 5) & 1u, summation = (bytes[1] >> 4) & 1u;
  if (rx) {
    record->type = R2S_PROTO_TYPE_RX;
    record->rx.ptt_type = pttType;
    record->rx.squ = (bytes[0] >> 4) & 1u;
    record->rx.ptt_id = pttId;
    record->rx.ptt_mute = mute;
    record->rx.ptt_summation = summation;
    record->rx.sct = (bytes[1] >> 3) & 1u;
  } else {
    record->type = R2S_PROTO_TYPE_TX;
    record->tx.ptt_type = pttType;
    record->tx.ptt_id = pttId;
    record->tx.ptt_mute = mute;
    record->tx.ptt_summation = summation;
  }
  record->additional_count = 0;
  if (!(bytes[1] & 1u))
    return 0;
  int result = 0;
  uint32_t stored = 0;
  for (size_t pos = 2; pos < length && stored < R2S_PROTO_MAX_ADDITIONALS;) {
    const uint8_t tag = bytes[pos];
    const size_t valueLength = tag & 0x0Fu;
    if (valueLength > length - pos - 1) {
      result = R2S_PROTO_ESHORT;
      break;
    }
    r2s_proto_additional& f = record->additionals[stored];
    if (rx ? unpackRx(tag, bytes + pos + 1, f) : unpackTx(tag, bytes + pos + 1, f))
      ++stored;
    pos += 1 + valueLength;
  }
  record->additional_count = stored;
  return result;
}

int add(r2s_proto* record, uint32_t kind, const void* value, size_t size) {
  if (!record || record->additional_count >= R2S_PROTO_MAX_ADDITIONALS)
    return 0;
  r2s_proto_additional& f = record->additionals[record->additional_count++];
  std::memset(&f, 0, sizeof f);
  f.kind = kind;
  std::memcpy(f.words, value, size);
  return 0;
}

}  // namespace

int r2s_proto_pack(const r2s_proto* record, uint8_t* buffer, size_t size) {
  if (!record)
    return R2S_PROTO_ENULL;
  switch (record->type) {
  case R2S_PROTO_TYPE_TX: return r2s_proto_pack_tx(record, buffer, size);
  case R2S_PROTO_TYPE_RX: return r2s_proto_pack_rx(record, buffer, size);
  default: return R2S_PROTO_ETYPE;
  }
}

int r2s_proto_pack_rx(const r2s_proto* record, uint8_t* buffer, size_t size) {
  return pack(record, buffer, size, true);
}

int r2s_proto_pack_tx(const r2s_proto* record, uint8_t* buffer, size_t size) {
  return pack(record, buffer, size, false);
}

int r2s_proto_unpack_rx(r2s_proto* record, const uint8_t* bytes, size_t length) {
  return unpack(record, bytes, length, true);
}

int r2s_proto_unpack_tx(r2s_proto* record, const uint8_t* bytes, size_t length) {
  return unpack(record, bytes, length, false);
}

int r2s_proto_init(r2s_proto* record, uint32_t type) {
  if (record) {
    std::memset(record, 0, sizeof *record);
    record->type = type;
  }
  return 0;
}

int r2s_proto_set_type(r2s_proto* record, uint32_t type) {
  if (record)
    record->type = type;
  return 0;
}

int r2s_proto_set_tx_header(r2s_proto* record, uint32_t ptt_type, uint32_t ptt_id, uint32_t ptt_mute,
                            uint32_t ptt_summation) {
  if (record) {
    record->type = R2S_PROTO_TYPE_TX;
    record->tx.ptt_type = ptt_type;
    record->tx.ptt_id = ptt_id;
    record->tx.ptt_mute = ptt_mute;
    record->tx.ptt_summation = ptt_summation;
  }
  return 0;
}

int r2s_proto_set_rx_header(r2s_proto* record, uint32_t ptt_type, uint32_t squ, uint32_t ptt_id, uint32_t ptt_mute,
                            uint32_t ptt_summation, uint32_t sct) {
  if (record) {
    record->type = R2S_PROTO_TYPE_RX;
    record->rx.ptt_type = ptt_type;
    record->rx.squ = squ;
    record->rx.ptt_id = ptt_id;
    record->rx.ptt_mute = ptt_mute;
    record->rx.ptt_summation = ptt_summation;
    record->rx.sct = sct;
  }
  return 0;
}

int r2s_proto_reset_additionals(r2s_proto* record) {
  if (record)
    record->additional_count = 0;
  return 0;
}

int r2s_proto_add_rx_sqi(r2s_proto* record, const r2s_proto_rx_additional_sqi& sqi) {
  return add(record, R2S_PROTO_RX_SQI, &sqi, sizeof sqi);
}

int r2s_proto_add_rx_sqi(r2s_proto* record, uint32_t quality, uint32_t method) {
  return r2s_proto_add_rx_sqi(record, r2s_proto_rx_additional_sqi{quality, method});
}

int r2s_proto_add_rx_rrc(r2s_proto* record, const r2s_proto_rx_additional_rrc& rrc) {
  return add(record, R2S_PROTO_RX_RRC, &rrc, sizeof rrc);
}

int r2s_proto_add_rx_mam(r2s_proto* record, const r2s_proto_rx_additional_mam& mam) {
  return add(record, R2S_PROTO_RX_MAM, &mam, sizeof mam);
}

int r2s_proto_add_tx_time_delay(r2s_proto* record, const r2s_proto_tx_additional_climax_time_delay& delay) {
  return add(record, R2S_PROTO_TX_CLIMAX_TIME_DELAY, &delay, sizeof delay);
}

int r2s_proto_add_tx_rrc(r2s_proto* record, const r2s_proto_tx_additional_rrc& rrc) {
  return add(record, R2S_PROTO_TX_RRC, &rrc, sizeof rrc);
}

int r2s_proto_add_tx_rrm(r2s_proto* record, const r2s_proto_tx_additional_rrm& rrm) {
  return add(record, R2S_PROTO_TX_RRM, &rrm, sizeof rrm);
}

int cmp_r2s_proto_source(const r2s_proto* a, const r2s_proto* b) {
  if (!a || !b)
    return -1;
  if (int d = static_cast<int>(b->type - a->type))
    return d;
  if (int d = static_cast<int>(b->source_ssrc - a->source_ssrc))
    return d;
  return static_cast<int>(b->source_addr - a->source_addr);
}
