#pragma once
// The LEMZ radio signalling packets carried as RTP header-extension
// payloads. GW_* packets go from a workstation to the gateway (commands to
// the radio), WM_* packets from the gateway to the workstations (the
// radio's state).
//
// A packet is a four-byte header (type, priority, flags, a nine-bit status)
// and a payload that depends on the type. Multi-byte fields travel most
// significant byte first, except the session address, whose four octets
// travel in reverse order (d, c, b, a for a.b.c.d).
//
// Plain records and free functions: nothing allocates, nothing keeps state.
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>

enum : int {
  SIG_PROTO_ENULL = -7,   // null record or input
  SIG_PROTO_ETYPE = -8,   // a type the unpacker does not know
  SIG_PROTO_ESHORT = -9,  // the buffer or the input is too short
};

enum sig_proto_type : uint32_t {
  SIG_PROTO_GW_FLAG = 1,
  SIG_PROTO_GW_ADJUST_CHAN = 2,
  SIG_PROTO_GW_FLAG_PTT = 3,
  SIG_PROTO_GW_FLAG_BSS = 4,
  SIG_PROTO_GW_FLAG_RV = 5,
  SIG_PROTO_GW_FLAG_SH = 6,
  SIG_PROTO_GW_FLAG_PW = 7,
  SIG_PROTO_GW_FLAG_RS = 8,
  SIG_PROTO_GW_SEL_CALL = 9,
  SIG_PROTO_GW_SELECT_RC_CHAN = 10,
  SIG_PROTO_GW_ADJUST_SQUELSHE = 11,
  SIG_PROTO_GW_ADJUST_RTE = 12,
  SIG_PROTO_GW_ADJUST_STANDBY = 13,
  SIG_PROTO_WM_FLAG = 129,
  SIG_PROTO_WM_TRANS = 130,
  SIG_PROTO_WM_RADIO_QUALITY = 131,
  SIG_PROTO_WM_CHAN = 132,
  SIG_PROTO_WM_SEL_CALL_TRANS = 133,
  SIG_PROTO_WM_SELECT_RC_CHAN = 134,
  SIG_PROTO_WM_STANDBY = 135,
};

constexpr size_t SIG_PROTO_CALLER_ID_SIZE = 256;  // at most 255 bytes used, NUL-padded

struct sig_proto_gw_adjust_chan {
  uint32_t id;
  float freq;
};

struct sig_proto_gw_sel_call {
  uint8_t callerID_length;
  char callerID[SIG_PROTO_CALLER_ID_SIZE];
};

struct sig_proto_select_rc_chan {
  uint8_t interface;
  uint8_t channel;
};

struct sig_proto_gw_adjust_squelsh {
  uint8_t squelsh;
};

struct sig_proto_gw_adjust_rte {
  uint8_t rte;
};

struct sig_proto_gw_adjust_standby {
  uint8_t state;
};

struct sig_proto_wm_trans {
  in_addr session_addr;  // network order
  uint32_t ssrc;
};

struct sig_proto_wm_radio_quality {
  float radio_quality;
};

struct sig_proto_wm_chan {
  uint32_t id;
  float freq;
  uint8_t squelsh;
  uint8_t rte;
};

struct sig_proto_wm_sel_call_trans {
  in_addr session_addr;  // network order
  uint32_t ssrc;
  uint8_t callerID_length;
  char callerID[SIG_PROTO_CALLER_ID_SIZE];
};

struct sig_proto_wm_standby {
  uint8_t state;
  uint8_t group;
  uint8_t receiver_state;
};

struct sig_proto {
  uint32_t source_addr;  // network order; filled by the receiver, never by the codec
  uint32_t source_ssrc;  // the same
  uint32_t type;
  uint32_t priority;  // 4 bits
  uint32_t flag_t;
  uint32_t flag_p;
  uint32_t flag_r;
  uint32_t flag_s;
  uint32_t flag_b;
  uint32_t flag_rv;
  uint32_t flag_sh;
  uint32_t flag_rs;
  uint32_t flag_pw;
  uint32_t flag_c;  // 2 bits
  uint32_t status;  // 9 bits
  union {
    sig_proto_gw_adjust_chan gw_adjust_chan;
    sig_proto_gw_sel_call gw_sel_call;
    sig_proto_select_rc_chan gw_select_rc_chan;
    sig_proto_gw_adjust_squelsh gw_adjust_squelsh;
    sig_proto_gw_adjust_rte gw_adjust_rte;
    sig_proto_gw_adjust_standby gw_adjust_standby;
    sig_proto_wm_trans wm_trans;
    sig_proto_wm_radio_quality wm_radio_quality;
    sig_proto_wm_chan wm_chan;
    sig_proto_wm_sel_call_trans wm_sel_call_trans;
    sig_proto_select_rc_chan wm_select_rc_chan;
    sig_proto_wm_standby wm_standby;
  };
};

// 1 on a host that keeps the least significant byte of a word first.
int is_little_endian();

// Bytes written (4 or more); 0 for a null record or buffer; SIG_PROTO_ESHORT
// when the buffer cannot hold the packet. A type without a payload of its
// own, known or not, packs as the header alone.
int sig_proto_pack(const sig_proto* record, uint8_t* buffer, size_t size);
// 0; SIG_PROTO_ENULL; SIG_PROTO_ETYPE (only `type` is stored); or
// SIG_PROTO_ESHORT (the record is left as it was). The source fields are
// never touched, nor payload members the type does not carry.
int sig_proto_unpack(sig_proto* record, const uint8_t* bytes, size_t length);

// Setters: each returns 0 and does nothing for a null record; none sets the
// type. sig_proto_set_base and sig_proto_set_ptt leave a field alone when its
// argument is negative. The caller-ID setters clear the whole area, copy at
// most 255 bytes of the text and store the given length (at most 255).
int sig_proto_init(sig_proto* record);
int sig_proto_set_base(sig_proto* record, int priority, int flag_t, int flag_p, int flag_r, int flag_s, int flag_b,
                       int flag_rv, int flag_sh, int flag_pw, int flag_rs, int flag_c, int status);
int sig_proto_set_ptt(sig_proto* record, int p);
int sig_proto_set_gw_adjust_chan(sig_proto* record, uint32_t id, float freq);
int sig_proto_set_gw_selcall(sig_proto* record, const char* callerID, unsigned length);
int sig_proto_set_gw_select_rc_chan(sig_proto* record, uint8_t interface, uint8_t channel);
int sig_proto_set_gw_adjust_squelsh(sig_proto* record, uint8_t squelsh);
int sig_proto_set_gw_adjust_rte(sig_proto* record, uint8_t rte);
int sig_proto_set_gw_adjust_standby(sig_proto* record, uint8_t state);
int sig_proto_set_wm_transmite(sig_proto* record, in_addr session_addr, uint32_t ssrc);
int sig_proto_set_wm_radio_quality(sig_proto* record, float radio_quality);
int sig_proto_set_wm_chan(sig_proto* record, uint32_t id, float freq, uint8_t squelsh, uint8_t rte);
int sig_proto_set_wm_selcall_transmite(sig_proto* record, in_addr session_addr, uint32_t ssrc, const char* callerID,
                                       unsigned length);
int sig_proto_set_wm_select_rc_chan(sig_proto* record, uint8_t interface, uint8_t channel);
int sig_proto_set_wm_standby(sig_proto* record, uint8_t state, uint8_t group, uint8_t receiver_state);

// 1 for the packets that carry the push-to-talk state (GW_FLAG, GW_FLAG_PTT,
// GW_SEL_CALL, WM_FLAG, WM_TRANS, WM_SEL_CALL_TRANS); 0 otherwise or for null.
int sig_proto_is_ptt_command(const sig_proto* record);

// 0 when both came from the same stream with the same type: type, then
// SSRC, then address, each compared as b - a; -1 when either is null.
int cmp_sig_proto_header(const sig_proto* a, const sig_proto* b);
// Compare the printed records (mode 1, respectively 4): the difference of
// the text lengths (b - a) when they differ, else strncmp; -1 for null. A
// type without a printer prints as the empty text.
int cmp_sig_proto(const sig_proto* a, const sig_proto* b);
int cmp_sig_proto_flags(const sig_proto* a, const sig_proto* b);

// The packet names: 128 entries, the twenty types in order, then {-1, ""}.
struct sig_proto_const_name {
  int id;
  const char* name;
};
constexpr size_t SIG_PROTO_NAME_TABLE_SIZE = 128;
extern const sig_proto_const_name sig_proto_packet_const_name[SIG_PROTO_NAME_TABLE_SIZE];

// Searches stop at the first negative id or after 128 entries. Null, or -1,
// when nothing matches.
const char* sig_proto_find_name_by_id(const sig_proto_const_name* table, int id);
int sig_proto_find_id_by_name(const sig_proto_const_name* table, const char* name);

// Print modes: bit value 2 names the type, 1 gives it in hexadecimal (2
// wins), 4 stops after the flags.
enum : int {
  SIG_PROTO_PRINT_TYPE_HEX = 1,
  SIG_PROTO_PRINT_TYPE_NAME = 2,
  SIG_PROTO_PRINT_FLAGS_ONLY = 4,
};
// One "label : value,\n" line per field; the characters written (the text
// is cut to fit the buffer, which always ends in NUL). 0 for a null pointer,
// a size below 1 or a type without a printer.
int sprintf_sig_proto(char* buffer, size_t size, const sig_proto* record, int mode);

// The packet types in the order the queue below takes them: seventeen,
// without the squelch and RTE adjustments and WM_SELECT_RC_CHAN.
constexpr size_t SIG_PROTO_QUEUE_TYPES = 17;
extern const uint32_t init_sig_proto_type[SIG_PROTO_QUEUE_TYPES];

// A block of 32 records followed by 128 bytes of zeroes; nothing sends
// from it.
constexpr size_t SIG_PROTO_QUEUE_SIZE = 32;
struct sig_proto_queue_block {
  sig_proto records[SIG_PROTO_QUEUE_SIZE];
  uint8_t tail[128];
};
extern sig_proto_queue_block sig_proto_queue;
// Clears the block and gives record i the type init_sig_proto_type[i], the
// records past the list the type -1 (all bits set); 0.
int init_sig_proto_queue();
