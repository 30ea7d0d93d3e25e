#pragma once
// The ED-137 radio-to-server payload carried in the RTP header extension of
// every voice and keep-alive packet: PTT from the positions (TX direction),
// squelch and signal quality from the radio (RX direction).
//
// A payload is a two-byte header and, when its X bit is set, additional
// features, each a type/length byte (type in bits 7-4, value length in
// bytes in bits 3-0) and the value, most significant byte first. Without
// features the header is followed by two zero bytes.
//
// Plain records and free functions: nothing allocates, nothing keeps state.
// Packers return the bytes written or a negative code, unpackers 0 or a
// negative code.
#include <cstddef>
#include <cstdint>

enum : int {
  R2S_PROTO_ENULL = -7,      // null record or input
  R2S_PROTO_ETYPE = -8,      // a type or form the packer does not handle
  R2S_PROTO_ESHORT = -9,     // the buffer or the input is too short
};

enum : uint32_t {
  R2S_PROTO_TYPE_TX = 1,  // a position towards the radio
  R2S_PROTO_TYPE_RX = 2,  // the radio towards the positions
};

// Feature kinds, per direction.
enum : uint32_t {
  R2S_PROTO_RX_SQI = 1,
  R2S_PROTO_RX_RRC = 3,
  R2S_PROTO_RX_MAM = 4,
  R2S_PROTO_TX_CLIMAX_TIME_DELAY = 2,
  R2S_PROTO_TX_RRC = 3,
  R2S_PROTO_TX_RRM = 4,
};

constexpr uint32_t R2S_PROTO_MAX_ADDITIONALS = 16;

// Signal quality: a 5-bit value in bits 7-3 and a 3-bit value in bits 2-0
// of its one byte (the quality index and the method that measured it).
struct r2s_proto_rx_additional_sqi {
  uint32_t quality;  // 5 bits
  uint32_t method;   // 3 bits
};

// Radio remote control as the radio reports it: eight flags (bit 7 first),
// in the short form (one byte) or the long one (four bytes), which adds two
// flags and two byte values.
struct r2s_proto_rx_additional_rrc {
  uint32_t flags[8];
  uint32_t form;  // 0 short, 1 long
  uint32_t ext_flags[2];
  uint32_t values[2];
};

// Delay measurement answer: two 1-bit marks each before a 23-bit time, then
// three 16-bit values.
struct r2s_proto_rx_additional_mam {
  uint32_t tqg;
  uint32_t t1;
  uint32_t nmr;
  uint32_t t2;
  uint32_t tsd;
  uint32_t tj1;
  uint32_t tid;
};

struct r2s_proto_tx_additional_climax_time_delay {
  uint32_t value;  // one byte
};

struct r2s_proto_tx_additional_rrc {
  uint32_t flags[8];
};

// Delay measurement request: a 1-bit mark and a 23-bit time.
struct r2s_proto_tx_additional_rrm {
  uint32_t tqv;
  uint32_t t1;
};

struct r2s_proto_additional {
  uint32_t kind;
  union {
    uint32_t words[13];
    r2s_proto_rx_additional_sqi rx_sqi;
    r2s_proto_rx_additional_rrc rx_rrc;
    r2s_proto_rx_additional_mam rx_mam;
    r2s_proto_tx_additional_climax_time_delay tx_time_delay;
    r2s_proto_tx_additional_rrc tx_rrc;
    r2s_proto_tx_additional_rrm tx_rrm;
  };
};

struct r2s_proto_rx_header {
  uint32_t ptt_type;
  uint32_t squ;
  uint32_t ptt_id;
  uint32_t ptt_mute;
  uint32_t ptt_summation;
  uint32_t sct;
};

struct r2s_proto_tx_header {
  uint32_t ptt_type;
  uint32_t ptt_id;
  uint32_t ptt_mute;
  uint32_t ptt_summation;
  uint32_t unused[2];
};

struct r2s_proto {
  uint32_t source_addr;  // network order; filled by the receiver
  uint32_t source_ssrc;  // filled by the receiver
  uint32_t type;         // R2S_PROTO_TYPE_TX or R2S_PROTO_TYPE_RX
  union {
    r2s_proto_rx_header rx;
    r2s_proto_tx_header tx;
  };
  uint32_t additional_count;
  r2s_proto_additional additionals[R2S_PROTO_MAX_ADDITIONALS];
};

static_assert(sizeof(r2s_proto_additional) == 14 * 4, "a kind word and 13 value words");
static_assert(sizeof(r2s_proto) == (3 + 6 + 1 + 16 * 14) * 4, "every field a 32-bit word");

// By the record's type; R2S_PROTO_ETYPE for another type, R2S_PROTO_ENULL
// for a null record.
int r2s_proto_pack(const r2s_proto* record, uint8_t* buffer, size_t size);
// Bytes written; 0 for a null record or buffer; R2S_PROTO_ESHORT when the
// buffer is too small, R2S_PROTO_ETYPE for an RX RRC of an unknown form.
int r2s_proto_pack_rx(const r2s_proto* record, uint8_t* buffer, size_t size);
int r2s_proto_pack_tx(const r2s_proto* record, uint8_t* buffer, size_t size);
// 0, R2S_PROTO_ENULL, or R2S_PROTO_ESHORT (the header and the features read
// before the fault stay in the record). Unknown features are skipped.
int r2s_proto_unpack_rx(r2s_proto* record, const uint8_t* bytes, size_t length);
int r2s_proto_unpack_tx(r2s_proto* record, const uint8_t* bytes, size_t length);

// Setters: each returns 0 and does nothing for a null record. The add_
// functions append a feature while fewer than 16 are in use.
int r2s_proto_init(r2s_proto* record, uint32_t type);
int r2s_proto_set_type(r2s_proto* record, uint32_t type);
int r2s_proto_set_tx_header(r2s_proto* record, uint32_t ptt_type, uint32_t ptt_id, uint32_t ptt_mute,
                            uint32_t ptt_summation);
int r2s_proto_set_rx_header(r2s_proto* record, uint32_t ptt_type, uint32_t squ, uint32_t ptt_id, uint32_t ptt_mute,
                            uint32_t ptt_summation, uint32_t sct);
int r2s_proto_reset_additionals(r2s_proto* record);
int r2s_proto_add_rx_sqi(r2s_proto* record, const r2s_proto_rx_additional_sqi& sqi);
int r2s_proto_add_rx_sqi(r2s_proto* record, uint32_t quality, uint32_t method);
int r2s_proto_add_rx_rrc(r2s_proto* record, const r2s_proto_rx_additional_rrc& rrc);
int r2s_proto_add_rx_mam(r2s_proto* record, const r2s_proto_rx_additional_mam& mam);
int r2s_proto_add_tx_time_delay(r2s_proto* record, const r2s_proto_tx_additional_climax_time_delay& delay);
int r2s_proto_add_tx_rrc(r2s_proto* record, const r2s_proto_tx_additional_rrc& rrc);
int r2s_proto_add_tx_rrm(r2s_proto* record, const r2s_proto_tx_additional_rrm& rrm);

// 0 when both came from the same stream: type, then SSRC, then address
// compared as b - a; -1 when either is null.
int cmp_r2s_proto_source(const r2s_proto* a, const r2s_proto* b);
