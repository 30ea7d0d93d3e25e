#include "monitoring/snmp_trap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <sys/sysinfo.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const uint32_t kSysUpTime[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const Bytes kSysUpTimeBer = {0x06, 0x08, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x03, 0x00};

Bytes word(uint32_t v) {
  Bytes b(4);
  memcpy(b.data(), &v, 4);
  return b;
}

Bytes arcs(std::vector<uint32_t> v) {
  Bytes b(v.size() * 4);
  if (!v.empty())
    memcpy(b.data(), v.data(), b.size());
  return b;
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A context starts zeroed, as a caller's static or value-initialised record
// does: nothing a test reads is left to whatever the memory held.
std::unique_ptr<trap_context> fresh(uint32_t seed = 0) {
  std::unique_ptr<trap_context> ctx(new trap_context());
  snmp_session_seed(ctx.get(), seed);
  trap_init(ctx.get(), nullptr);
  return ctx;
}

// One binding of sysUpTime.0 with the given value.
struct BindingCase {
  const char* what;
  uint8_t tag;
  Bytes value;      // passed as given (its size is the length)
  bool null_value;  // no value pointer
  Bytes encoded;    // the value's TLV; empty: the binding must fail
};

const std::vector<BindingCase>& binding_cases() {
  static const std::vector<BindingCase> cases = {
      {"INTEGER 127", ASN_INTEGER, word(127), false, {0x02, 0x01, 0x7F}},
      {"INTEGER 128", ASN_INTEGER, word(128), false, {0x02, 0x02, 0x00, 0x80}},
      {"INTEGER -1", ASN_INTEGER, word(0xFFFFFFFFu), false, {0x02, 0x01, 0xFF}},
      {"INTEGER -129", ASN_INTEGER, word(static_cast<uint32_t>(-129)), false, {0x02, 0x02, 0xFF, 0x7F}},
      {"INTEGER min", ASN_INTEGER, word(0x80000000u), false, {0x02, 0x04, 0x80, 0x00, 0x00, 0x00}},
      {"INTEGER -128", ASN_INTEGER, word(static_cast<uint32_t>(-128)), false, {0x02, 0x01, 0x80}},
      {"INTEGER 32767", ASN_INTEGER, word(32767), false, {0x02, 0x02, 0x7F, 0xFF}},
      {"INTEGER 32768", ASN_INTEGER, word(32768), false, {0x02, 0x03, 0x00, 0x80, 0x00}},
      {"INTEGER of 2 bytes", ASN_INTEGER, Bytes{1, 0}, false, {}},
      {"INTEGER without value", ASN_INTEGER, word(1), true, {}},
      {"TimeTicks bit 31", ASN_TIMETICKS, word(0x80000000u), false, {0x43, 0x05, 0x00, 0x80, 0x00, 0x00, 0x00}},
      {"Counter32 0", ASN_COUNTER, word(0), false, {0x41, 0x01, 0x00}},
      {"Gauge32 0x80", ASN_GAUGE, word(0x80), false, {0x42, 0x02, 0x00, 0x80}},
      {"Gauge32 0x7F80", ASN_GAUGE, word(0x7F80), false, {0x42, 0x02, 0x7F, 0x80}},
      {"Gauge32 0x7F", ASN_GAUGE, word(0x7F), false, {0x42, 0x01, 0x7F}},
      {"Gauge32 0x7FFFFF", ASN_GAUGE, word(0x7FFFFF), false, {0x42, 0x03, 0x7F, 0xFF, 0xFF}},
      {"Gauge32 0x800000", ASN_GAUGE, word(0x800000), false, {0x42, 0x04, 0x00, 0x80, 0x00, 0x00}},
      {"UInteger32 max", ASN_UINTEGER, word(0xFFFFFFFFu), false, {0x47, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"Counter32 of 8 bytes", ASN_COUNTER, Bytes(8, 0), false, {}},
      {"OCTET STRING", ASN_OCTET_STR, Bytes{'h', 'i'}, false, {0x04, 0x02, 'h', 'i'}},
      // Each bound of the three length forms, met exactly and passed by one.
      {"OCTET STRING of 127", ASN_OCTET_STR, Bytes(127, 'x'), false, concat({0x04, 0x7F}, Bytes(127, 'x'))},
      {"OCTET STRING of 128", ASN_OCTET_STR, Bytes(128, 'x'), false, concat({0x04, 0x81, 0x80}, Bytes(128, 'x'))},
      {"OCTET STRING of 200", ASN_OCTET_STR, Bytes(200, 'x'), false, concat({0x04, 0x81, 0xC8}, Bytes(200, 'x'))},
      {"OCTET STRING of 255", ASN_OCTET_STR, Bytes(255, 'x'), false, concat({0x04, 0x81, 0xFF}, Bytes(255, 'x'))},
      {"OCTET STRING of 256", ASN_OCTET_STR, Bytes(256, 'x'), false,
       concat({0x04, 0x82, 0x01, 0x00}, Bytes(256, 'x'))},
      {"OCTET STRING of 300", ASN_OCTET_STR, Bytes(300, 'y'), false,
       concat({0x04, 0x82, 0x01, 0x2C}, Bytes(300, 'y'))},
      {"IpAddress", ASN_IPADDRESS, Bytes{10, 0, 0, 1}, false, {0x40, 0x04, 10, 0, 0, 1}},
      {"Opaque without value", ASN_OPAQUE, Bytes(3, 0xEE), true, {0x44, 0x03, 0x00, 0x00, 0x00}},
      {"NULL", ASN_NULL, Bytes(), true, {0x05, 0x00}},
      {"BIT STRING", ASN_BIT_STR, Bytes{0x06, 0xC0}, false, {0x03, 0x02, 0x06, 0xC0}},
      {"empty BIT STRING", ASN_BIT_STR, Bytes(), false, {}},
      {"OID 1.3.6.1.4.1.200000", ASN_OBJECT_ID, arcs({1, 3, 6, 1, 4, 1, 200000}), false,
       {0x06, 0x08, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x8C, 0x9A, 0x40}},
      {"OID 2.999.3", ASN_OBJECT_ID, arcs({2, 999, 3}), false, {0x06, 0x03, 0x88, 0x37, 0x03}},
      {"OID 1.3.0xFFFFFFFF", ASN_OBJECT_ID, arcs({1, 3, 0xFFFFFFFFu}), false,
       {0x06, 0x06, 0x2B, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}},
      // Sub-identifiers at each bound of their one- to five-byte forms.
      {"OID sub-identifier bounds", ASN_OBJECT_ID,
       arcs({1, 3, 0x7F, 0x80, 0x3FFF, 0x4000, 0x1FFFFF, 0x200000, 0x0FFFFFFF, 0x10000000}), false,
       {0x06, 0x19, 0x2B, 0x7F, 0x81, 0x00, 0xFF, 0x7F, 0x81, 0x80, 0x00, 0xFF, 0xFF, 0x7F, 0x81,
        0x80, 0x80, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x81, 0x80, 0x80, 0x80, 0x00}},
      {"OID 2.47", ASN_OBJECT_ID, arcs({2, 47}), false, {0x06, 0x01, 0x7F}},
      {"OID 2.48", ASN_OBJECT_ID, arcs({2, 48}), false, {0x06, 0x02, 0x81, 0x00}},
      {"OID of 128 arcs", ASN_OBJECT_ID, arcs(std::vector<uint32_t>(128, 1)), false,
       concat({0x06, 0x7F, 0x29}, Bytes(126, 0x01))},
      {"OID of one arc", ASN_OBJECT_ID, arcs({2}), false, {0x06, 0x01, 0x50}},
      {"OID of no arc", ASN_OBJECT_ID, arcs({}), true, {0x06, 0x01, 0x00}},
      {"OID first arc 3", ASN_OBJECT_ID, arcs({3, 1}), false, {}},
      {"OID 0.40", ASN_OBJECT_ID, arcs({0, 40}), false, {}},
      {"OID 1.40", ASN_OBJECT_ID, arcs({1, 40}), false, {}},
      {"OID 2.(2^32-1)", ASN_OBJECT_ID, arcs({2, 0xFFFFFFFFu}), false, {}},
      {"OID of 129 arcs", ASN_OBJECT_ID, arcs(std::vector<uint32_t>(129, 1)), false, {}},
      {"OID of 6 bytes", ASN_OBJECT_ID, Bytes(6, 0), false, {}},
      {"unsupported tag 0x46", 0x46, word(1), false, {}},
  };
  return cases;
}

Bytes binding_bytes(const Bytes& value_tlv) {
  const size_t length = kSysUpTimeBer.size() + value_tlv.size();
  Bytes b = {0x30, 0x82, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  return concat(concat(b, kSysUpTimeBer), value_tlv);
}

TEST(SnmpTrap, RequestIdSequence) {
  trap_context ctx = {};
  EXPECT_EQ(0, snmp_session_seed(&ctx, 0));
  EXPECT_EQ(0, trap_init(&ctx, nullptr));
  EXPECT_EQ(991873u, ctx.request_id);
  trap_init(&ctx, nullptr);
  const uint32_t second = static_cast<uint32_t>((991873ull * 850009ull + 991873ull) % (1ull << 32)) & 0x7FFFFFFFu;
  EXPECT_EQ(second | 1u, ctx.request_id);
  // A seed restarts the sequence; the id is cut to 31 bits and made odd
  // (raw value 0x981A6DD2 for this seed).
  snmp_session_seed(&ctx, 3001);
  trap_init(&ctx, nullptr);
  EXPECT_EQ(0x181A6DD3u, ctx.request_id);
  EXPECT_EQ(0x181A6DD3u, fresh(3001)->request_id);
  EXPECT_EQ(0, snmp_session_seed(nullptr, 5));
  EXPECT_EQ(0, trap_init(nullptr, "x"));
}

TEST(SnmpTrap, MessageWithoutBindings) {
  auto ctx = fresh();
  ASSERT_EQ(0, trap_pack_begin(ctx.get()));
  EXPECT_EQ(-1, trap_pack_begin(ctx.get()));  // only once per init
  ASSERT_EQ(0, trap_pack_end(ctx.get()));
  const Bytes expected = {0x30, 0x82, 0x00, 0x1E, 0x02, 0x01, 0x01, 0x04, 0x06, 'k',  'e',  's',
                          't',  'r',  'a',  0xA7, 0x82, 0x00, 0x0F, 0x02, 0x03, 0x0F, 0x22, 0x81,
                          0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x82, 0x00, 0x00};
  EXPECT_EQ(expected, Bytes(ctx->buffer, ctx->buffer + ctx->packed_length));
  EXPECT_EQ(TRAP_STATE_ENDED, ctx->state);
  EXPECT_EQ(-1, trap_pack_end(ctx.get()));
  EXPECT_EQ(-1, trap_pack_add(ctx.get(), kSysUpTime, 9, ASN_NULL, nullptr, 0));

  // The community is cut to 31 characters.
  trap_init(ctx.get(), std::string(40, 'c').c_str());
  ASSERT_EQ(0, trap_pack_begin(ctx.get()));
  EXPECT_EQ(std::string(31, 'c'), std::string(ctx->community));
  EXPECT_EQ(Bytes({0x04, 31, 'c'}), Bytes(ctx->buffer + 7, ctx->buffer + 10));
}

TEST(SnmpTrap, Bindings) {
  for (const BindingCase& c : binding_cases()) {
    SCOPED_TRACE(c.what);
    auto ctx = fresh();
    ASSERT_EQ(0, trap_pack_begin(ctx.get()));
    uint8_t* const bindings = ctx->bindings_start;
    const int rc = trap_pack_add(ctx.get(), kSysUpTime, 9, c.tag, c.null_value ? nullptr : c.value.data(),
                                 static_cast<uint32_t>(c.value.size()));
    if (c.encoded.empty()) {
      EXPECT_EQ(-1, rc);
      EXPECT_EQ(nullptr, ctx->write_pos);
      EXPECT_EQ(-1, trap_pack_end(ctx.get()));
      continue;
    }
    ASSERT_EQ(0, rc);
    ASSERT_EQ(0, trap_pack_end(ctx.get()));
    const Bytes binding = binding_bytes(c.encoded);
    EXPECT_EQ(binding, Bytes(bindings, ctx->buffer + ctx->packed_length));
    // Every enclosing length covers the binding.
    EXPECT_EQ(ctx->packed_length - 4, (ctx->buffer[2] << 8) + ctx->buffer[3]);
    EXPECT_EQ(binding.size(), static_cast<size_t>((bindings[-2] << 8) + bindings[-1]));
    EXPECT_EQ(binding.size() + 15, static_cast<size_t>((ctx->pdu_start[-2] << 8) + ctx->pdu_start[-1]));
  }
}

TEST(SnmpTrap, FailureIsStickyUntilInit) {
  auto ctx = fresh();
  const int32_t one = 1;
  EXPECT_EQ(-1, trap_pack_add(ctx.get(), kSysUpTime, 9, ASN_INTEGER, &one, 4));  // before begin
  EXPECT_EQ(-1, trap_pack_end(ctx.get()));
  ASSERT_EQ(0, trap_pack_begin(ctx.get()));
  ASSERT_EQ(0, trap_pack_add(ctx.get(), kSysUpTime, 9, ASN_INTEGER, &one, 4));
  EXPECT_EQ(-1, trap_pack_add(ctx.get(), kSysUpTime, 9, 0x46, &one, 4));
  EXPECT_EQ(-1, trap_pack_add(ctx.get(), kSysUpTime, 9, ASN_INTEGER, &one, 4));
  EXPECT_EQ(-1, trap_pack_end(ctx.get()));
  EXPECT_EQ(0u, ctx->packed_length);

  trap_init(ctx.get(), "public");
  ASSERT_EQ(0, trap_pack_begin(ctx.get()));
  EXPECT_EQ(0, trap_pack_add(ctx.get(), kSysUpTime, 9, ASN_INTEGER, &one, 4));
  EXPECT_EQ(0, trap_pack_end(ctx.get()));

  EXPECT_EQ(-1, trap_pack_begin(nullptr));
  EXPECT_EQ(-1, trap_pack_add(nullptr, kSysUpTime, 9, ASN_INTEGER, &one, 4));
  EXPECT_EQ(-1, trap_pack_end(nullptr));
}

// Every binding, built into a heap block of exactly n bytes for every n up
// to its size: it fits exactly when n is its size, and otherwise fails
// without touching a byte past the block (the sanitizer build watches).
TEST(SnmpTrap, BuildersNeverOverrun) {
  for (const BindingCase& c : binding_cases()) {
    if (c.encoded.empty())
      continue;
    SCOPED_TRACE(c.what);
    const uint32_t size = static_cast<uint32_t>(binding_bytes(c.encoded).size());
    for (uint32_t n = 0; n <= size; ++n) {
      std::unique_ptr<uint8_t[]> block(new uint8_t[n]);
      uint32_t remaining = n;
      uint8_t* end = snmp_build_var_op(block.get(), &remaining, kSysUpTime, 9, c.tag,
                                       c.null_value ? nullptr : c.value.data(), static_cast<uint32_t>(c.value.size()));
      EXPECT_EQ(n < size ? nullptr : block.get() + size, end) << n;
      EXPECT_LE(remaining, n);
      if (n == size) {
        EXPECT_EQ(0u, remaining);  // an exact fit accounts every byte
      }
    }
  }
  // Lengths beyond the two-byte form are refused without writing.
  uint32_t remaining = 8;
  uint8_t block[8];
  EXPECT_EQ(nullptr, asn_build_length(block, &remaining, 0x10000));
  EXPECT_EQ(nullptr, asn_build_sequence(block, &remaining, ASN_SEQUENCE, 0x10000));
  EXPECT_EQ(8u, remaining);
}

TEST(SnmpTrap, FullBufferFailsTheTrap) {
  // Each binding of a 100-byte string takes 116 bytes and the empty trap 34:
  // 17 bindings fit in 2048 bytes, the 18th does not.
  auto ctx = fresh();
  ASSERT_EQ(0, trap_pack_begin(ctx.get()));
  const Bytes text(100, 't');
  int added = 0;
  while (trap_pack_add(ctx.get(), kSysUpTime, 9, ASN_OCTET_STR, text.data(), 100) == 0)
    ++added;
  EXPECT_EQ(17, added);
  EXPECT_LE(ctx->remaining, TRAP_BUFFER_SIZE);
  EXPECT_EQ(-1, trap_pack_end(ctx.get()));
}

TEST(SnmpTrap, ParseOid) {
  std::string ones;
  for (int i = 0; i < 100; ++i)
    ones += "1.";
  struct Case {
    const char* text;
    int max;
    std::vector<uint32_t> expected;
  };
  const Case cases[] = {
      {"1.3.6.1.4.1", 16, {1, 3, 6, 1, 4, 1}},
      {"1.3.6.1", 2, {1, 3}},
      {".1..3.", 16, {1, 3}},
      {"1.x.3", 16, {1, 0, 3}},
      {"4294967295.4294967296", 16, {0xFFFFFFFFu, 0}},
      {"", 16, {}},
      {"1.3", 0, {}},
      {nullptr, 16, {}},
      {ones.c_str(), 128, std::vector<uint32_t>(64, 1)},  // the first 127 characters only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    std::vector<uint32_t> out(128, 77);
    const int n = parse_oid(out.data(), c.max, c.text);
    EXPECT_EQ(c.expected, std::vector<uint32_t>(out.begin(), out.begin() + n));
    EXPECT_EQ(77u, out[n]);
  }
  EXPECT_EQ(0, parse_oid(nullptr, 4, "1.3"));
}

TEST(SnmpTrap, UptimeIsInHundredths) {
  struct sysinfo before, after;
  ASSERT_EQ(0, sysinfo(&before));
  const uint32_t ticks = get_uptime();
  ASSERT_EQ(0, sysinfo(&after));
  EXPECT_GE(ticks, static_cast<uint32_t>(before.uptime * 100));
  EXPECT_LT(ticks, static_cast<uint32_t>(after.uptime * 100 + 100));
}

}  // namespace
