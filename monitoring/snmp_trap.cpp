#include "monitoring/snmp_trap.h"

#include <cstring>
#include <sys/sysinfo.h>
#include <sys/time.h>

namespace {

const char kDefaultCommunity[] = "kestra";

// Null when the header step failed or the contents will not fit after it.
uint8_t* _asn_build_header_check(uint8_t* data, const uint32_t* remaining, uint32_t needed) {
  if (!data || !remaining || *remaining < needed)
    return nullptr;
  return data;
}

// Bytes of one base-128 sub-identifier.
uint32_t subid_length(uint32_t value) {
  if (value < 0x80)
    return 1;
  if (value < 0x4000)
    return 2;
  if (value < 0x200000)
    return 3;
  if (value < 0x10000000)
    return 4;
  return 5;
}

uint8_t* put_subid(uint8_t* data, uint32_t value) {
  for (uint32_t i = subid_length(value); i-- > 0;) {
    uint8_t group = static_cast<uint8_t>((value >> (7 * i)) & 0x7F);
    *data++ = i ? (group | 0x80) : group;
  }
  return data;
}

// Writes the top `count` bytes of `value`, behind an optional 0x00.
uint8_t* put_big_endian(uint8_t* data, uint32_t value, uint32_t count, bool leading_zero) {
  if (leading_zero)
    *data++ = 0;
  for (uint32_t i = 0; i < count; ++i) {
    *data++ = static_cast<uint8_t>(value >> 24);
    value <<= 8;
  }
  return data;
}

uint8_t* build_bytes(uint8_t* data, uint32_t* remaining, uint8_t type, const uint8_t* value, uint32_t length) {
  data = _asn_build_header_check(asn_build_header(data, remaining, type, length), remaining, length);
  if (!data)
    return nullptr;
  if (value)
    memcpy(data, value, length);
  else
    memset(data, 0, length);
  *remaining -= length;
  return data + length;
}

}  // namespace

uint8_t* asn_build_length(uint8_t* data, uint32_t* remaining, uint32_t length) {
  uint32_t needed = length < 0x80 ? 1 : length <= 0xFF ? 2 : length <= 0xFFFF ? 3 : 0;
  if (needed == 0 || !_asn_build_header_check(data, remaining, needed))
    return nullptr;
  if (needed == 2)
    *data++ = 0x81;
  else if (needed == 3) {
    *data++ = 0x82;
    *data++ = static_cast<uint8_t>(length >> 8);
  }
  *data++ = static_cast<uint8_t>(length);
  *remaining -= needed;
  return data;
}

uint8_t* asn_build_header(uint8_t* data, uint32_t* remaining, uint8_t type, uint32_t length) {
  if (!_asn_build_header_check(data, remaining, 1))
    return nullptr;
  *data++ = type;
  --*remaining;
  return asn_build_length(data, remaining, length);
}

uint8_t* asn_build_sequence(uint8_t* data, uint32_t* remaining, uint8_t type, uint32_t length) {
  if (length > 0xFFFF || !_asn_build_header_check(data, remaining, 4))
    return nullptr;
  data[0] = type;
  data[1] = 0x82;
  data[2] = static_cast<uint8_t>(length >> 8);
  data[3] = static_cast<uint8_t>(length);
  *remaining -= 4;
  return data + 4;
}

uint8_t* asn_build_int(uint8_t* data, uint32_t* remaining, uint8_t type, const int32_t* value, uint32_t value_size) {
  if (!value || value_size != 4)
    return nullptr;
  uint32_t bits = static_cast<uint32_t>(*value);
  uint32_t count = 4;
  const uint32_t top9 = 0xFF800000u;
  while (count > 1 && ((bits & top9) == 0 || (bits & top9) == top9)) {
    bits <<= 8;
    --count;
  }
  data = _asn_build_header_check(asn_build_header(data, remaining, type, count), remaining, count);
  if (!data)
    return nullptr;
  *remaining -= count;
  return put_big_endian(data, bits, count, false);
}

uint8_t* asn_build_unsigned_int(uint8_t* data, uint32_t* remaining, uint8_t type, const uint32_t* value,
                                uint32_t value_size) {
  if (!value || value_size != 4)
    return nullptr;
  uint32_t bits = *value;
  bool leading_zero = (bits & 0x80000000u) != 0;
  uint32_t count = 4;
  while (count > 1 && (bits & 0xFF800000u) == 0) {
    bits <<= 8;
    --count;
  }
  uint32_t length = count + (leading_zero ? 1 : 0);
  data = _asn_build_header_check(asn_build_header(data, remaining, type, length), remaining, length);
  if (!data)
    return nullptr;
  *remaining -= length;
  return put_big_endian(data, bits, count, leading_zero);
}

uint8_t* asn_build_string(uint8_t* data, uint32_t* remaining, uint8_t type, const uint8_t* value, uint32_t length) {
  return build_bytes(data, remaining, type, value, length);
}

uint8_t* asn_build_bitstring(uint8_t* data, uint32_t* remaining, uint8_t type, const uint8_t* value,
                             uint32_t length) {
  // The first byte is the count of unused bits, so there is at least one.
  if (length < 1)
    return nullptr;
  return build_bytes(data, remaining, type, value, length);
}

uint8_t* asn_build_null(uint8_t* data, uint32_t* remaining, uint8_t type) {
  return asn_build_header(data, remaining, type, 0);
}

uint8_t* asn_build_objid(uint8_t* data, uint32_t* remaining, uint8_t type, const uint32_t* oid, uint32_t count) {
  if (count > TRAP_MAX_OID_ARCS || (count > 0 && !oid))
    return nullptr;
  // The first two arcs share one sub-identifier: x * 40 + y.
  uint32_t first = 0;
  if (count >= 1) {
    uint32_t x = oid[0];
    uint32_t y = count >= 2 ? oid[1] : 0;
    if (x > 2 || (x < 2 && y > 39) || y > UINT32_MAX - 80)
      return nullptr;
    first = x * 40 + y;
  }
  uint32_t length = subid_length(first);
  for (uint32_t i = 2; i < count; ++i)
    length += subid_length(oid[i]);
  data = _asn_build_header_check(asn_build_header(data, remaining, type, length), remaining, length);
  if (!data)
    return nullptr;
  data = put_subid(data, first);
  for (uint32_t i = 2; i < count; ++i)
    data = put_subid(data, oid[i]);
  *remaining -= length;
  return data;
}

uint8_t* snmp_build_var_op(uint8_t* data, uint32_t* remaining, const uint32_t* oid, uint32_t oid_count,
                           uint8_t type, const void* value, uint32_t value_length) {
  uint8_t* const header = _asn_build_header_check(data, remaining, 4);
  if (!header)
    return nullptr;
  *remaining -= 4;
  data = asn_build_objid(header + 4, remaining, ASN_OBJECT_ID, oid, oid_count);
  if (!data)
    return nullptr;

  const uint8_t* bytes = static_cast<const uint8_t*>(value);
  // Numbers are copied out: the caller's value need not be aligned.
  uint32_t number = 0;
  uint32_t arcs[TRAP_MAX_OID_ARCS];
  switch (type) {
    case ASN_INTEGER:
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
      if (!bytes || value_length != sizeof number)
        return nullptr;
      memcpy(&number, bytes, sizeof number);
      if (type == ASN_INTEGER) {
        int32_t signed_number = static_cast<int32_t>(number);
        data = asn_build_int(data, remaining, type, &signed_number, sizeof signed_number);
      } else {
        data = asn_build_unsigned_int(data, remaining, type, &number, sizeof number);
      }
      break;
    case ASN_BIT_STR:
      data = asn_build_bitstring(data, remaining, type, bytes, value_length);
      break;
    case ASN_OCTET_STR:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
    case ASN_NSAP:
      data = asn_build_string(data, remaining, type, bytes, value_length);
      break;
    case ASN_NULL:
      data = asn_build_null(data, remaining, type);
      break;
    case ASN_OBJECT_ID:
      if (value_length % sizeof arcs[0] != 0 || value_length > sizeof arcs || (value_length > 0 && !bytes))
        return nullptr;
      if (value_length > 0)
        memcpy(arcs, bytes, value_length);
      data = asn_build_objid(data, remaining, type, arcs, value_length / sizeof arcs[0]);
      break;
    default:
      return nullptr;
  }
  if (!data)
    return nullptr;
  uint32_t header_room = 4;
  asn_build_sequence(header, &header_room, ASN_SEQUENCE, static_cast<uint32_t>(data - header - 4));
  return data;
}

int snmp_session_seed(trap_context* ctx, uint32_t seed) {
  if (ctx)
    ctx->request_id = seed;
  return 0;
}

int trap_init(trap_context* ctx, const char* community) {
  if (!ctx)
    return 0;
  uint32_t next = ctx->request_id * 850009u + 991873u;  // modulo 2^32
  ctx->version = 1;
  ctx->pdu_type = SNMP_MSG_TRAP2;
  ctx->request_id = (next & 0x7FFFFFFFu) | 1u;
  ctx->error_status = 0;
  ctx->error_index = 0;
  memset(ctx->community, 0, sizeof ctx->community);
  strncpy(ctx->community, community ? community : kDefaultCommunity, sizeof ctx->community - 1);
  ctx->state = TRAP_STATE_INIT;
  memset(ctx->buffer, 0, sizeof ctx->buffer);
  ctx->remaining = TRAP_BUFFER_SIZE;
  ctx->packed_length = 0;
  ctx->message_start = ctx->pdu_header = ctx->pdu_start = nullptr;
  ctx->bindings_header = ctx->bindings_start = ctx->write_pos = nullptr;
  return 0;
}

int trap_pack_begin(trap_context* ctx) {
  if (!ctx || ctx->state != TRAP_STATE_INIT)
    return -1;
  ctx->state = TRAP_STATE_BEGUN;
  uint32_t* remaining = &ctx->remaining;
  const int32_t version = static_cast<int32_t>(ctx->version);
  const int32_t request_id = static_cast<int32_t>(ctx->request_id);
  const int32_t error_status = static_cast<int32_t>(ctx->error_status);
  const int32_t error_index = static_cast<int32_t>(ctx->error_index);

  uint8_t* p = asn_build_sequence(ctx->buffer, remaining, ASN_SEQUENCE, 0);
  ctx->message_start = p;
  p = asn_build_int(p, remaining, ASN_INTEGER, &version, sizeof version);
  p = asn_build_string(p, remaining, ASN_OCTET_STR, reinterpret_cast<const uint8_t*>(ctx->community),
                       static_cast<uint32_t>(strlen(ctx->community)));
  ctx->pdu_header = p;
  p = asn_build_sequence(p, remaining, static_cast<uint8_t>(ctx->pdu_type), 0);
  ctx->pdu_start = p;
  p = asn_build_int(p, remaining, ASN_INTEGER, &request_id, sizeof request_id);
  p = asn_build_int(p, remaining, ASN_INTEGER, &error_status, sizeof error_status);
  p = asn_build_int(p, remaining, ASN_INTEGER, &error_index, sizeof error_index);
  ctx->bindings_header = p;
  p = asn_build_sequence(p, remaining, ASN_SEQUENCE, 0);
  ctx->bindings_start = p;
  ctx->write_pos = p;
  return p ? 0 : -1;
}

int trap_pack_add(trap_context* ctx, const uint32_t* oid, uint32_t oid_count, uint8_t type, const void* value,
                  uint32_t value_length) {
  if (!ctx || (ctx->state != TRAP_STATE_BEGUN && ctx->state != TRAP_STATE_ADDED) || !ctx->write_pos)
    return -1;
  ctx->write_pos = snmp_build_var_op(ctx->write_pos, &ctx->remaining, oid, oid_count, type, value, value_length);
  if (!ctx->write_pos)
    return -1;
  ctx->state = TRAP_STATE_ADDED;
  return 0;
}

namespace {

void patch_length(uint8_t* header, const uint8_t* contents, const uint8_t* end) {
  uint32_t room = 4;
  asn_build_sequence(header, &room, header[0], static_cast<uint32_t>(end - contents));
}

}  // namespace

int trap_pack_end(trap_context* ctx) {
  if (!ctx || (ctx->state != TRAP_STATE_BEGUN && ctx->state != TRAP_STATE_ADDED) || !ctx->message_start ||
      !ctx->pdu_header || !ctx->pdu_start || !ctx->bindings_header || !ctx->bindings_start || !ctx->write_pos)
    return -1;
  patch_length(ctx->bindings_header, ctx->bindings_start, ctx->write_pos);
  patch_length(ctx->pdu_header, ctx->pdu_start, ctx->write_pos);
  patch_length(ctx->buffer, ctx->message_start, ctx->write_pos);
  ctx->packed_length = static_cast<uint32_t>(ctx->write_pos - ctx->buffer);
  ctx->state = TRAP_STATE_ENDED;
  return 0;
}

uint32_t get_uptime() {
  struct sysinfo info;
  if (sysinfo(&info) != 0)
    return 0;
  timeval now;
  gettimeofday(&now, nullptr);
  return static_cast<uint32_t>(static_cast<uint64_t>(info.uptime) * 100 + static_cast<uint64_t>(now.tv_usec) / 10000);
}

int parse_oid(uint32_t* oid, int max_count, const char* text) {
  if (!oid || !text || max_count <= 0)
    return 0;
  const size_t length = strnlen(text, 127);
  int stored = 0;
  size_t i = 0;
  while (i < length && stored < max_count) {
    if (text[i] == '.') {  // empty fields between dots are skipped
      ++i;
      continue;
    }
    // A field's leading decimal digits; none, or too many for 32 bits, give 0.
    uint64_t value = 0;
    bool digits = false;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
      digits = true;
      if (value <= UINT32_MAX)
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    while (i < length && text[i] != '.')
      ++i;
    oid[stored++] = digits && value <= UINT32_MAX ? static_cast<uint32_t>(value) : 0;
  }
  return stored;
}
