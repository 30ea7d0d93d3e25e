// The LEMZ radio signalling codec: packets against hand-computed bytes,
// length and type errors, a round trip of every type, hostile input, the
// name table, setters, comparisons and the trace printers.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "rtp/sig_proto.h"

namespace {

using Bytes = std::vector<uint8_t>;

sig_proto fresh(uint32_t type) {
  sig_proto r;
  sig_proto_init(&r);
  r.type = type;
  return r;
}

in_addr addr(const char* dotted) {
  in_addr a;
  inet_pton(AF_INET, dotted, &a);
  return a;
}

Bytes pack(const sig_proto& r, size_t size = 1024) {
  Bytes out(size);
  int n = sig_proto_pack(&r, out.data(), out.size());
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

struct Golden {
  const char* name;
  std::function<void(sig_proto&)> fill;
  Bytes wire;
  size_t shortest;  // the least input that unpacks
};

const std::vector<Golden>& goldens() {
  static const std::vector<Golden> table = {
      {"GW_FLAG prio 15 ptt", [](sig_proto& r) { r.type = 1; sig_proto_set_base(&r, 15, -1, 1, -1, -1, -1, -1, -1, -1, -1, -1, 0); },
       {0x01, 0xF4, 0x00, 0x00}, 4},
      {"status 511", [](sig_proto& r) { r.type = 1; r.status = 511; }, {0x01, 0x00, 0x0F, 0xF8}, 4},
      {"GW_ADJUST_CHAN", [](sig_proto& r) { r.type = 2; sig_proto_set_gw_adjust_chan(&r, 0x01020304, 1.5f); },
       {0x02, 0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0x3F, 0xC0, 0x00, 0x00}, 12},
      {"GW_SEL_CALL 3 bytes", [](sig_proto& r) { r.type = 9; sig_proto_set_gw_selcall(&r, "123", 3); },
       {0x09, 0, 0, 0, 0x03, '1', '2', '3'}, 8},
      {"GW_SEL_CALL 4 bytes", [](sig_proto& r) { r.type = 9; sig_proto_set_gw_selcall(&r, "1234", 4); },
       {0x09, 0, 0, 0, 0x04, '1', '2', '3', '4', 0, 0, 0}, 9},
      {"GW_SELECT_RC_CHAN", [](sig_proto& r) { r.type = 10; sig_proto_set_gw_select_rc_chan(&r, 3, 4); },
       {0x0A, 0, 0, 0, 0x03, 0x04, 0, 0}, 8},
      {"GW_ADJUST_SQUELSHE", [](sig_proto& r) { r.type = 11; sig_proto_set_gw_adjust_squelsh(&r, 42); },
       {0x0B, 0, 0, 0, 42, 0, 0, 0}, 8},
      {"GW_ADJUST_RTE", [](sig_proto& r) { r.type = 12; sig_proto_set_gw_adjust_rte(&r, 7); },
       {0x0C, 0, 0, 0, 7, 0, 0, 0}, 8},
      {"GW_ADJUST_STANDBY", [](sig_proto& r) { r.type = 13; sig_proto_set_gw_adjust_standby(&r, 1); },
       {0x0D, 0, 0, 0, 1, 0, 0, 0}, 8},
      {"WM_TRANS", [](sig_proto& r) { r.type = 130; sig_proto_set_wm_transmite(&r, addr("10.1.2.3"), 1); },
       {0x82, 0, 0, 0, 0x03, 0x02, 0x01, 0x0A, 0, 0, 0, 0x01}, 12},
      {"WM_RADIO_QUALITY", [](sig_proto& r) { r.type = 131; sig_proto_set_wm_radio_quality(&r, 0.25f); },
       {0x83, 0, 0, 0, 0x3E, 0x80, 0x00, 0x00}, 8},
      {"WM_CHAN", [](sig_proto& r) { r.type = 132; sig_proto_set_wm_chan(&r, 5, 123.5f, 7, 3); },
       {0x84, 0, 0, 0, 0, 0, 0, 5, 0x42, 0xF7, 0x00, 0x00, 7, 3, 0, 0}, 16},
      {"WM_SEL_CALL_TRANS",
       [](sig_proto& r) {
         r.type = 133;
         sig_proto_set_wm_selcall_transmite(&r, addr("192.168.0.1"), 0xA0B0C0D0, "AB", 2);
       },
       {0x85, 0, 0, 0, 0x01, 0x00, 0xA8, 0xC0, 0xA0, 0xB0, 0xC0, 0xD0, 0x02, 'A', 'B', 0}, 15},
      {"WM_SELECT_RC_CHAN", [](sig_proto& r) { r.type = 134; sig_proto_set_wm_select_rc_chan(&r, 0, 255); },
       {0x86, 0, 0, 0, 0x00, 0xFF, 0, 0}, 8},
      {"WM_STANDBY", [](sig_proto& r) { r.type = 135; sig_proto_set_wm_standby(&r, 1, 7, 0); },
       {0x87, 0, 0, 0, 1, 7, 0, 0}, 8},
  };
  return table;
}

TEST(SigProto, PacksAndUnpacksHandComputedPackets) {
  for (const Golden& g : goldens()) {
    SCOPED_TRACE(g.name);
    sig_proto r = fresh(0);
    g.fill(r);
    EXPECT_EQ(pack(r), g.wire);

    sig_proto back = fresh(0);
    back.source_addr = 0x11223344;
    back.source_ssrc = 77;
    ASSERT_EQ(sig_proto_unpack(&back, g.wire.data(), g.wire.size()), 0);
    EXPECT_EQ(back.source_addr, 0x11223344u);  // the receiver's, never the codec's
    EXPECT_EQ(back.source_ssrc, 77u);
    back.source_addr = back.source_ssrc = 0;
    EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);

    // Every shorter input is refused and leaves the record alone.
    for (size_t n = 0; n < g.shortest; ++n) {
      sig_proto before = fresh(99);
      before.wm_chan.id = 1234;
      sig_proto after = before;
      EXPECT_EQ(sig_proto_unpack(&after, g.wire.data(), n), SIG_PROTO_ESHORT) << n;
      EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << n;
    }
    sig_proto enough = fresh(0);
    EXPECT_EQ(sig_proto_unpack(&enough, g.wire.data(), g.shortest), 0);
  }
}

// One header field at a time, so that no two fields can trade places.
TEST(SigProto, HeaderBitPositions) {
  struct Case {
    int field;  // argument position of sig_proto_set_base
    int value;
    uint8_t b1, b2, b3;
  } cases[] = {
      {0, 1, 0x10, 0x00, 0x00}, {0, 8, 0x80, 0x00, 0x00},   // priority
      {1, 1, 0x08, 0x00, 0x00}, {2, 1, 0x04, 0x00, 0x00},   // t, p
      {3, 1, 0x02, 0x00, 0x00}, {4, 1, 0x01, 0x00, 0x00},   // r, s
      {5, 1, 0x00, 0x80, 0x00}, {6, 1, 0x00, 0x40, 0x00},   // b, rv
      {7, 1, 0x00, 0x20, 0x00}, {8, 1, 0x00, 0x10, 0x00},   // sh, pw
      {9, 1, 0x00, 0x00, 0x01}, {10, 1, 0x00, 0x00, 0x02},  // rs, c
      {10, 2, 0x00, 0x00, 0x04}, {11, 1, 0x00, 0x00, 0x08},  // c, status bit 0
      {11, 0x10, 0x00, 0x00, 0x80}, {11, 0x20, 0x00, 0x01, 0x00}, {11, 0x100, 0x00, 0x08, 0x00},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "field " << c.field << " value " << c.value);
    int a[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    a[c.field] = c.value;
    sig_proto r = fresh(SIG_PROTO_WM_FLAG);
    sig_proto_set_base(&r, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11]);
    const Bytes wire = {0x81, c.b1, c.b2, c.b3};
    EXPECT_EQ(pack(r), wire);
    sig_proto back = fresh(0);
    ASSERT_EQ(sig_proto_unpack(&back, wire.data(), wire.size()), 0);
    EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);
  }
}

TEST(SigProto, PackRefusesSmallBuffersAndPacksUnknownTypesAsHeaders) {
  struct Case {
    const char* name;
    uint32_t type;
    uint8_t callerLength;
    size_t size;
    int result;
  } cases[] = {
      {"header", 1, 0, 3, SIG_PROTO_ESHORT},     {"header fits", 129, 0, 4, 4},
      {"WM_CHAN", 132, 0, 15, SIG_PROTO_ESHORT}, {"WM_CHAN fits", 132, 0, 16, 16},
      {"WM_TRANS", 130, 0, 11, SIG_PROTO_ESHORT}, {"GW_ADJUST_RTE", 12, 0, 7, SIG_PROTO_ESHORT},
      {"GW_SEL_CALL n+11", 9, 3, 14, SIG_PROTO_ESHORT}, {"GW_SEL_CALL n+12", 9, 3, 15, 8},
      {"WM_SEL_CALL_TRANS n+19", 133, 2, 21, SIG_PROTO_ESHORT}, {"WM_SEL_CALL_TRANS n+20", 133, 2, 22, 16},
      {"GW_SEL_CALL 255", 9, 255, 267, 260},     {"type 50", 50, 0, 4, 4},
      {"type 0", 0, 0, 64, 4},                   {"type 255", 255, 0, 64, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sig_proto r = fresh(c.type);
    r.priority = 1;
    r.gw_sel_call.callerID_length = c.callerLength;
    if (c.type == 133)
      r.wm_sel_call_trans.callerID_length = c.callerLength;
    Bytes out(c.size, 0xEE);
    EXPECT_EQ(sig_proto_pack(&r, out.data(), out.size()), c.result);
    if (c.result == SIG_PROTO_ESHORT && c.size >= 4) {
      // The cleared header is all that was written.
      Bytes expect(c.size, 0);
      expect[0] = static_cast<uint8_t>(c.type);
      expect[1] = 0x10;
      EXPECT_EQ(out, expect);
    }
  }
  sig_proto r = fresh(1);
  uint8_t buffer[8];
  EXPECT_EQ(sig_proto_pack(nullptr, buffer, sizeof buffer), 0);
  EXPECT_EQ(sig_proto_pack(&r, nullptr, sizeof buffer), 0);
}

TEST(SigProto, UnpackReportsNullUnknownTypesAndOverlongCallerIds) {
  sig_proto r = fresh(0);
  const uint8_t header[] = {0x01, 0, 0, 0};
  EXPECT_EQ(sig_proto_unpack(nullptr, header, 4), SIG_PROTO_ENULL);
  EXPECT_EQ(sig_proto_unpack(&r, nullptr, 4), SIG_PROTO_ENULL);

  // An unknown type is kept and nothing else is.
  sig_proto before = fresh(5);
  before.priority = 3;
  before.wm_standby.state = 9;
  sig_proto after = before;
  const uint8_t unknown[] = {200, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4};
  EXPECT_EQ(sig_proto_unpack(&after, unknown, sizeof unknown), SIG_PROTO_ETYPE);
  EXPECT_EQ(after.type, 200u);
  after.type = before.type;
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);

  // Caller-ID lengths that run past the input.
  const Bytes selcall = {0x09, 0, 0, 0, 5, 'a', 'b', 'c', 'd'};
  EXPECT_EQ(sig_proto_unpack(&r, selcall.data(), selcall.size()), SIG_PROTO_ESHORT);
  Bytes whole = selcall;
  whole.push_back('e');
  EXPECT_EQ(sig_proto_unpack(&r, whole.data(), whole.size()), 0);
  EXPECT_STREQ(r.gw_sel_call.callerID, "abcde");
  const Bytes trans = {0x85, 0, 0, 0, 1, 2, 3, 4, 0, 0, 0, 1, 200, 'x', 'y', 'z'};
  EXPECT_EQ(sig_proto_unpack(&r, trans.data(), trans.size()), SIG_PROTO_ESHORT);
}

// Random field values, over-wide ones included: the header fields come back
// cut to their widths, and the packet unpacks to a record that packs to the
// same bytes (the field positions are the hand-computed packets' business).
TEST(SigProto, RoundTripOfEveryTypeWithRandomValues) {
  std::mt19937 rng(17);
  for (int i = 0; sig_proto_packet_const_name[i].id >= 0; ++i) {
    const uint32_t type = static_cast<uint32_t>(sig_proto_packet_const_name[i].id);
    for (int round = 0; round < 50; ++round) {
      SCOPED_TRACE(std::string(sig_proto_packet_const_name[i].name) + " round " + std::to_string(round));
      sig_proto r;
      for (uint8_t* p = reinterpret_cast<uint8_t*>(&r); p < reinterpret_cast<uint8_t*>(&r + 1); ++p)
        *p = static_cast<uint8_t>(rng());
      r.type = type;
      const Bytes wire = pack(r);
      ASSERT_GE(wire.size(), 4u);
      EXPECT_EQ(wire.size() % 4, 0u);
      sig_proto b = fresh(0);
      ASSERT_EQ(sig_proto_unpack(&b, wire.data(), wire.size()), 0);
      EXPECT_EQ(b.type, type);
      EXPECT_EQ(b.priority, r.priority & 15);
      const uint32_t sig_proto::*bits[] = {&sig_proto::flag_t,  &sig_proto::flag_p,  &sig_proto::flag_r,
                                           &sig_proto::flag_s,  &sig_proto::flag_b,  &sig_proto::flag_rv,
                                           &sig_proto::flag_sh, &sig_proto::flag_rs, &sig_proto::flag_pw};
      for (auto bit : bits)
        EXPECT_EQ(b.*bit, r.*bit & 1);
      EXPECT_EQ(b.flag_c, r.flag_c & 3);
      EXPECT_EQ(b.status, r.status & 511);
      EXPECT_EQ(pack(b), wire);
    }
  }
}

// Random and cut input must neither crash nor read past its end (the
// sanitizer build checks the latter: each input has a buffer of its own).
TEST(SigProto, UnpackSurvivesRandomInput) {
  std::mt19937 rng(1717);
  const uint8_t types[] = {0, 1, 2, 9, 10, 13, 14, 128, 129, 130, 131, 132, 133, 135, 136, 255};
  for (int i = 0; i < 20000; ++i) {
    size_t length = rng() % 40;
    if (rng() % 8 == 0)
      length = rng() % 300;
    std::unique_ptr<uint8_t[]> input(new uint8_t[length ? length : 1]);
    for (size_t k = 0; k < length; ++k)
      input[k] = static_cast<uint8_t>(rng());
    if (length > 0)
      input[0] = types[rng() % sizeof types];
    sig_proto r = fresh(0);
    int result = sig_proto_unpack(&r, input.get(), length);
    ASSERT_TRUE(result == 0 || result == SIG_PROTO_ETYPE || result == SIG_PROTO_ESHORT) << result;
    if (result == 0) {
      Bytes out = pack(r);
      ASSERT_GE(out.size(), 4u);
    }
  }
}

TEST(SigProto, NamesAndPttCommands) {
  const sig_proto_const_name* t = sig_proto_packet_const_name;
  EXPECT_EQ(sig_proto_find_id_by_name(t, "WM_CHAN"), 132);
  EXPECT_EQ(sig_proto_find_id_by_name(t, "GW_FLAG"), 1);
  EXPECT_EQ(sig_proto_find_id_by_name(t, "WM_STANDBY"), 135);
  EXPECT_EQ(sig_proto_find_id_by_name(t, ""), -1);  // the search stops at the terminator
  EXPECT_EQ(sig_proto_find_id_by_name(t, "WM_CHANX"), -1);
  EXPECT_EQ(sig_proto_find_id_by_name(t, nullptr), -1);
  EXPECT_STREQ(sig_proto_find_name_by_id(t, 13), "GW_ADJUST_STANDBY");
  EXPECT_STREQ(sig_proto_find_name_by_id(t, 129), "WM_FLAG");
  EXPECT_EQ(sig_proto_find_name_by_id(t, 14), nullptr);
  EXPECT_EQ(sig_proto_find_name_by_id(t, 0), nullptr);
  EXPECT_EQ(sig_proto_find_name_by_id(t, -1), nullptr);
  EXPECT_EQ(sig_proto_find_name_by_id(nullptr, 1), nullptr);

  std::string ptt;
  for (uint32_t type = 0; type < 256; ++type) {
    sig_proto r = fresh(type);
    if (sig_proto_is_ptt_command(&r))
      ptt += std::to_string(type) + " ";
  }
  EXPECT_EQ(ptt, "1 3 9 129 130 133 ");
  EXPECT_EQ(sig_proto_is_ptt_command(nullptr), 0);
}

TEST(SigProto, CallerIdSettersCutToTheArea) {
  sig_proto r = fresh(9);
  const std::string longId(300, 'x');
  sig_proto_set_gw_selcall(&r, longId.c_str(), 300);
  EXPECT_EQ(r.gw_sel_call.callerID_length, 255);
  EXPECT_EQ(std::string(r.gw_sel_call.callerID), std::string(255, 'x'));
  sig_proto_set_gw_selcall(&r, "ab", 2);
  EXPECT_STREQ(r.gw_sel_call.callerID, "ab");  // the rest cleared
  EXPECT_EQ(r.gw_sel_call.callerID[3], 0);
  sig_proto_set_wm_selcall_transmite(&r, addr("1.2.3.4"), 9, nullptr, 12);
  EXPECT_EQ(r.wm_sel_call_trans.callerID_length, 0);
  EXPECT_STREQ(r.wm_sel_call_trans.callerID, "");
}

TEST(SigProto, Comparisons) {
  sig_proto a = fresh(3), b = fresh(3);
  a.source_ssrc = b.source_ssrc = 10;
  a.source_addr = b.source_addr = 100;
  EXPECT_EQ(cmp_sig_proto_header(&a, &b), 0);
  b.priority = 4;  // not part of the header comparison
  EXPECT_EQ(cmp_sig_proto_header(&a, &b), 0);
  b.source_addr = 103;
  EXPECT_EQ(cmp_sig_proto_header(&a, &b), 3);
  b.source_ssrc = 8;
  EXPECT_EQ(cmp_sig_proto_header(&a, &b), -2);
  b.type = 1;
  EXPECT_EQ(cmp_sig_proto_header(&a, &b), -2);
  EXPECT_EQ(cmp_sig_proto_header(nullptr, &b), -1);

  sig_proto c = fresh(132), d = fresh(132);
  sig_proto_set_wm_chan(&c, 5, 1.0f, 1, 1);
  sig_proto_set_wm_chan(&d, 5, 1.0f, 1, 1);
  EXPECT_EQ(cmp_sig_proto(&c, &d), 0);
  d.wm_chan.id = 50;  // one character longer
  EXPECT_EQ(cmp_sig_proto(&c, &d), 1);
  d.wm_chan.id = 6;
  EXPECT_LT(cmp_sig_proto(&c, &d), 0);
  EXPECT_EQ(cmp_sig_proto_flags(&c, &d), 0);  // flags only
  d.flag_b = 1;
  EXPECT_NE(cmp_sig_proto_flags(&c, &d), 0);
  EXPECT_EQ(cmp_sig_proto(&c, nullptr), -1);
}

std::string print(const sig_proto& r, int mode, size_t size = 8192) {
  std::vector<char> text(size, 'Z');
  int n = sprintf_sig_proto(text.data(), text.size(), &r, mode);
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(text.data()));
  return std::string(text.data(), static_cast<size_t>(n));
}

const char* const Flags0 =
    "flag_t   : 0,\nflag_p   : 1,\nflag_r   : 0,\nflag_s   : 0,\nflag_b   : 0,\n"
    "flag_rv  : 0,\nflag_sh  : 0,\nflag_rs  : 0,\nflag_pw  : 0,\nflag_c   : 2,\n";

TEST(SigProto, PrinterSnapshots) {
  sig_proto ptt = fresh(3);
  sig_proto_set_base(&ptt, 6, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 17);
  EXPECT_EQ(print(ptt, SIG_PROTO_PRINT_TYPE_NAME),
            std::string("type      : GW_FLAG_PTT,\n") + Flags0 + "priority : 6,\nstatus   : 17,\n");
  EXPECT_EQ(print(ptt, SIG_PROTO_PRINT_FLAGS_ONLY), Flags0);
  ptt.type = 0;
  EXPECT_EQ(print(ptt, SIG_PROTO_PRINT_TYPE_NAME | SIG_PROTO_PRINT_FLAGS_ONLY),
            std::string("type      : 0x00000000,\n") + Flags0);

  sig_proto chan = fresh(132);
  sig_proto_set_base(&chan, 6, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 17);
  sig_proto_set_wm_chan(&chan, 5, 123.5f, 12, 3);
  EXPECT_EQ(print(chan, SIG_PROTO_PRINT_TYPE_HEX),
            std::string("type      : 0x00000084,\n") + Flags0 +
                "priority : 6,\nstatus   : 17,\n"
                "wm_chan.id   : 5,\nwm_chan.freq : 123.5000,\nwm_chan.squelsh : 12,\nwm_chan.rte     : 3,\n");

  sig_proto trans = fresh(130);
  sig_proto_set_base(&trans, 6, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 17);
  sig_proto_set_wm_transmite(&trans, addr("10.1.2.3"), 0xAB);
  EXPECT_EQ(print(trans, SIG_PROTO_PRINT_TYPE_NAME),
            std::string("type      : WM_TRANS,\n") + Flags0 +
                "priority : 6,\nstatus   : 17,\n"
                "wm_trans.session_addr : 10.1.2.3,\nwm_trans.ssrc         : 0x000000AB,\n");

  sig_proto selcall = fresh(9);
  sig_proto_set_base(&selcall, 6, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 17);
  sig_proto_set_gw_selcall(&selcall, "A\x7F", 2);
  const std::string selcallText = std::string(Flags0) +
                                  "priority : 6,\nstatus   : 17,\n"
                                  "gw_sel_call.callerID_length: 2,\ngw_sel_call.callerID : \n"
                                  "[0] : 0x41,\n[1] : 0x7F,\n";
  EXPECT_EQ(print(selcall, 0), selcallText);
  // Cut to the buffer, always terminated.
  EXPECT_EQ(print(selcall, 0, 20), selcallText.substr(0, 19));

  sig_proto none = fresh(14);
  char text[16];
  EXPECT_EQ(sprintf_sig_proto(text, sizeof text, &none, 2), 0);
  EXPECT_EQ(sprintf_sig_proto(text, 0, &selcall, 2), 0);
  EXPECT_EQ(sprintf_sig_proto(nullptr, sizeof text, &selcall, 2), 0);
}

}  // namespace
