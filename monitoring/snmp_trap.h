#pragma once
// SNMPv2c trap messages (SNMPv2-Trap-PDU in BER) packed into a fixed buffer
// held in a caller-owned context, with the BER builders they are made of.
// No I/O: the caller sends trap_context::buffer[0 .. packed_length).
//
// Constructed headers are always written in the four-byte form (tag, 0x82,
// two length bytes) so that their lengths can be patched once the contents
// are known. Every builder checks the remaining space before it writes and
// returns null instead of overrunning.
#include <cstdint>

enum : uint32_t {
  TRAP_BUFFER_SIZE = 2048,
  TRAP_COMMUNITY_SIZE = 32,  // 31 characters and the terminating zero
  TRAP_MAX_OID_ARCS = 128,
};

// BER tags of the values a variable binding may carry.
enum : uint8_t {
  ASN_INTEGER = 0x02,
  ASN_BIT_STR = 0x03,
  ASN_OCTET_STR = 0x04,
  ASN_NULL = 0x05,
  ASN_OBJECT_ID = 0x06,
  ASN_SEQUENCE = 0x30,
  ASN_IPADDRESS = 0x40,
  ASN_COUNTER = 0x41,
  ASN_GAUGE = 0x42,
  ASN_TIMETICKS = 0x43,
  ASN_OPAQUE = 0x44,
  ASN_NSAP = 0x45,
  ASN_UINTEGER = 0x47,
  SNMP_MSG_TRAP2 = 0xA7,
};

enum : uint32_t {
  TRAP_STATE_INIT = 0,
  TRAP_STATE_BEGUN = 1,
  TRAP_STATE_ADDED = 2,
  TRAP_STATE_ENDED = 3,
};

// The marks point into the context's own buffer: a context is not copied.
struct trap_context {
  uint32_t version;
  uint32_t pdu_type;
  uint32_t request_id;  // the seed until trap_init derives the id from it
  uint32_t error_status;
  uint32_t error_index;
  char community[TRAP_COMMUNITY_SIZE];
  uint32_t state;
  uint8_t buffer[TRAP_BUFFER_SIZE];
  uint32_t remaining;
  uint32_t packed_length;
  uint8_t* message_start;   // after the message header
  uint8_t* pdu_header;      // at the PDU header
  uint8_t* pdu_start;       // after the PDU header
  uint8_t* bindings_header; // at the variable-bindings header
  uint8_t* bindings_start;  // after the variable-bindings header
  uint8_t* write_pos;       // null once a build step failed
};

// Results: 0 success, -1 failure.
int snmp_session_seed(trap_context* ctx, uint32_t seed);
// Advances the request id and resets the context; community null: "kestra".
int trap_init(trap_context* ctx, const char* community);
int trap_pack_begin(trap_context* ctx);
// One variable binding. Integers and unsigned integers take a 4-byte value;
// an OBJECT IDENTIFIER value is an array of uint32_t, its length in bytes.
// A failure makes every later add and end fail until trap_init.
int trap_pack_add(trap_context* ctx, const uint32_t* oid, uint32_t oid_count, uint8_t type, const void* value,
                  uint32_t value_length);
int trap_pack_end(trap_context* ctx);

// System uptime in hundredths of a second (TimeTicks).
uint32_t get_uptime();
// Dotted decimal text into at most max_count sub-identifiers; returns how
// many were stored (0 for a null array or text or max_count <= 0).
int parse_oid(uint32_t* oid, int max_count, const char* text);

// The BER builders: each writes at data, decrements *remaining by what it
// wrote and returns the position after it, or null when it does not fit or
// the value is refused.
uint8_t* asn_build_length(uint8_t* data, uint32_t* remaining, uint32_t length);
uint8_t* asn_build_header(uint8_t* data, uint32_t* remaining, uint8_t type, uint32_t length);
uint8_t* asn_build_sequence(uint8_t* data, uint32_t* remaining, uint8_t type, uint32_t length);
uint8_t* asn_build_int(uint8_t* data, uint32_t* remaining, uint8_t type, const int32_t* value, uint32_t value_size);
uint8_t* asn_build_unsigned_int(uint8_t* data, uint32_t* remaining, uint8_t type, const uint32_t* value,
                                uint32_t value_size);
// A null value writes `length` zero bytes.
uint8_t* asn_build_string(uint8_t* data, uint32_t* remaining, uint8_t type, const uint8_t* value, uint32_t length);
uint8_t* asn_build_bitstring(uint8_t* data, uint32_t* remaining, uint8_t type, const uint8_t* value,
                             uint32_t length);
uint8_t* asn_build_null(uint8_t* data, uint32_t* remaining, uint8_t type);
uint8_t* asn_build_objid(uint8_t* data, uint32_t* remaining, uint8_t type, const uint32_t* oid, uint32_t count);
uint8_t* snmp_build_var_op(uint8_t* data, uint32_t* remaining, const uint32_t* oid, uint32_t oid_count,
                           uint8_t type, const void* value, uint32_t value_length);
