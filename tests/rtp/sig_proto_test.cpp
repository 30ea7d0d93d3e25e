// The LEMZ radio signalling codec: packets against hand-computed bytes
// with the room each needs, header bit positions, a round trip of every
// type, hostile input, the name table, setters and printers.
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

TEST(SigProto, PacksAndUnpacksHandComputedPackets) {
  const struct {
    const char* name;
    std::function<void(sig_proto&)> fill;
    Bytes wire;
    size_t room;      // the least buffer that packs
    size_t shortest;  // the least input that unpacks
  } goldens[] = {
      {"GW_FLAG prio 15 ptt", [](sig_proto& r) { r.type = 1; sig_proto_set_base(&r, 15, -1, 1, -1, -1, -1, -1, -1, -1, -1, -1, 0); },
       {0x01, 0xF4, 0x00, 0x00}, 4, 4},
      {"status 511", [](sig_proto& r) { r.type = 1; r.status = 511; }, {0x01, 0x00, 0x0F, 0xF8}, 4, 4},
      {"GW_ADJUST_CHAN", [](sig_proto& r) { r.type = 2; sig_proto_set_gw_adjust_chan(&r, 0x01020304, 1.5f); },
       {0x02, 0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0x3F, 0xC0, 0x00, 0x00}, 12, 12},
      {"GW_SEL_CALL 3 bytes", [](sig_proto& r) { r.type = 9; sig_proto_set_gw_selcall(&r, "123", 3); },
       {0x09, 0, 0, 0, 0x03, '1', '2', '3'}, 15, 8},
      {"GW_SEL_CALL 4 bytes", [](sig_proto& r) { r.type = 9; sig_proto_set_gw_selcall(&r, "1234", 4); },
       {0x09, 0, 0, 0, 0x04, '1', '2', '3', '4', 0, 0, 0}, 16, 9},
      {"GW_SELECT_RC_CHAN", [](sig_proto& r) { r.type = 10; sig_proto_set_gw_select_rc_chan(&r, 3, 4); },
       {0x0A, 0, 0, 0, 0x03, 0x04, 0, 0}, 8, 8},
      {"GW_ADJUST_SQUELSHE", [](sig_proto& r) { r.type = 11; sig_proto_set_gw_adjust_squelsh(&r, 42); },
       {0x0B, 0, 0, 0, 42, 0, 0, 0}, 8, 8},
      {"GW_ADJUST_RTE", [](sig_proto& r) { r.type = 12; sig_proto_set_gw_adjust_rte(&r, 7); },
       {0x0C, 0, 0, 0, 7, 0, 0, 0}, 8, 8},
      {"GW_ADJUST_STANDBY", [](sig_proto& r) { r.type = 13; sig_proto_set_gw_adjust_standby(&r, 1); },
       {0x0D, 0, 0, 0, 1, 0, 0, 0}, 8, 8},
      {"WM_TRANS", [](sig_proto& r) { r.type = 130; sig_proto_set_wm_transmite(&r, addr("10.1.2.3"), 1); },
       {0x82, 0, 0, 0, 0x03, 0x02, 0x01, 0x0A, 0, 0, 0, 0x01}, 12, 12},
      {"WM_RADIO_QUALITY", [](sig_proto& r) { r.type = 131; sig_proto_set_wm_radio_quality(&r, 0.25f); },
       {0x83, 0, 0, 0, 0x3E, 0x80, 0x00, 0x00}, 8, 8},
      {"WM_CHAN", [](sig_proto& r) { r.type = 132; sig_proto_set_wm_chan(&r, 5, 123.5f, 7, 3); },
       {0x84, 0, 0, 0, 0, 0, 0, 5, 0x42, 0xF7, 0x00, 0x00, 7, 3, 0, 0}, 16, 16},
      {"WM_SEL_CALL_TRANS",
       [](sig_proto& r) {
         r.type = 133;
         sig_proto_set_wm_selcall_transmite(&r, addr("192.168.0.1"), 0xA0B0C0D0, "AB", 2);
       },
       {0x85, 0, 0, 0, 0x01, 0x00, 0xA8, 0xC0, 0xA0, 0xB0, 0xC0, 0xD0, 0x02, 'A', 'B', 0}, 22, 15},
      {"WM_SELECT_RC_CHAN", [](sig_proto& r) { r.type = 134; sig_proto_set_wm_select_rc_chan(&r, 0, 255); },
       {0x86, 0, 0, 0, 0x00, 0xFF, 0, 0}, 8, 8},
      {"WM_STANDBY", [](sig_proto& r) { r.type = 135; sig_proto_set_wm_standby(&r, 1, 7, 0); },
       {0x87, 0, 0, 0, 1, 7, 0, 0}, 8, 8},
  };
  for (const auto& g : goldens) {
    SCOPED_TRACE(g.name);
    sig_proto r = fresh(0);
    g.fill(r);
    EXPECT_EQ(pack(r, g.room), g.wire);
    // One byte less: refused, and only the cleared header written.
    Bytes small(g.room - 1, 0xEE);
    EXPECT_EQ(sig_proto_pack(&r, small.data(), small.size()), SIG_PROTO_ESHORT);
    if (g.room > 4) {
      EXPECT_EQ(Bytes(small.begin() + 4, small.end()), Bytes(g.room - 5, 0));
    }

    sig_proto back = fresh(0);
    back.source_addr = 0x11223344;  // the receiver's, never the codec's
    ASSERT_EQ(sig_proto_unpack(&back, g.wire.data(), g.wire.size()), 0);
    EXPECT_EQ(back.source_addr, 0x11223344u);
    back.source_addr = 0;
    EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);
    // Every shorter input is refused and leaves the record alone.
    for (size_t n = 0; n < g.shortest; ++n) {
      sig_proto before = fresh(99);
      before.wm_chan.id = 1234;
      sig_proto after = before;
      EXPECT_EQ(sig_proto_unpack(&after, g.wire.data(), n), SIG_PROTO_ESHORT) << n;
      EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << n;
    }
    // The shortest input is enough: padding is not required.
    sig_proto enough = fresh(0);
    EXPECT_EQ(sig_proto_unpack(&enough, g.wire.data(), g.shortest), 0);
  }
  // Types without a payload of their own, known or not, pack as the header.
  for (uint32_t type : {0u, 50u, 129u, 255u})
    EXPECT_EQ(pack(fresh(type)).size(), 4u) << type;
  const sig_proto r = fresh(1);
  uint8_t buffer[8];
  EXPECT_EQ(sig_proto_pack(nullptr, buffer, sizeof buffer), 0);
  EXPECT_EQ(sig_proto_pack(&r, nullptr, sizeof buffer), 0);
}

// One header field at a time (by its place among sig_proto_set_base's
// arguments), so that no two fields can trade places: bytes 1 to 3.
TEST(SigProto, HeaderBitPositions) {
  const struct {
    int field, value;
    uint32_t bytes;
  } cases[] = {{0, 1, 0x100000}, {0, 8, 0x800000}, {1, 1, 0x080000},  {2, 1, 0x040000},  {3, 1, 0x020000},
               {4, 1, 0x010000}, {5, 1, 0x008000}, {6, 1, 0x004000},  {7, 1, 0x002000},  {8, 1, 0x001000},
               {9, 1, 0x000001}, {10, 1, 0x000002}, {10, 2, 0x000004}, {11, 1, 0x000008}, {11, 0x10, 0x000080},
               {11, 0x20, 0x000100}, {11, 0x100, 0x000800}};
  for (const auto& c : cases) {
    int a[12] = {};
    a[c.field] = c.value;
    sig_proto r = fresh(SIG_PROTO_WM_FLAG);
    sig_proto_set_base(&r, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10], a[11]);
    const Bytes wire = {0x81, uint8_t(c.bytes >> 16), uint8_t(c.bytes >> 8), uint8_t(c.bytes)};
    EXPECT_EQ(pack(r), wire) << c.field << " " << c.value;
    sig_proto back = fresh(0);
    ASSERT_EQ(sig_proto_unpack(&back, wire.data(), wire.size()), 0);
    EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0) << c.field << " " << c.value;
  }
}

// An unknown type is kept and nothing else is.
TEST(SigProto, UnpackKeepsAnUnknownTypeAlone) {
  sig_proto before = fresh(5), after = before;
  before.wm_standby.state = after.wm_standby.state = 9;
  const uint8_t unknown[] = {200, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4};
  EXPECT_EQ(sig_proto_unpack(&after, unknown, sizeof unknown), SIG_PROTO_ETYPE);
  EXPECT_EQ(after.type, 200u);
  after.type = before.type;
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_EQ(sig_proto_unpack(nullptr, unknown, 4), SIG_PROTO_ENULL);
  EXPECT_EQ(sig_proto_unpack(&after, nullptr, 4), SIG_PROTO_ENULL);
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
    const size_t length = rng() % 8 == 0 ? rng() % 300 : rng() % 40;
    std::unique_ptr<uint8_t[]> input(new uint8_t[length ? length : 1]);
    for (size_t k = 0; k < length; ++k)
      input[k] = static_cast<uint8_t>(rng());
    input[0] = length ? types[rng() % sizeof types] : 0;
    sig_proto r = fresh(0);
    const int result = sig_proto_unpack(&r, input.get(), length);
    ASSERT_TRUE(result == 0 || result == SIG_PROTO_ETYPE || result == SIG_PROTO_ESHORT) << result;
    if (result == 0) {
      ASSERT_GE(pack(r).size(), 4u);
    }
  }
}

TEST(SigProto, NamesPttCommandsAndCallerIdSetters) {
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
  EXPECT_EQ(sig_proto_find_name_by_id(t, -1), nullptr);  // the terminator is no entry
  EXPECT_EQ(sig_proto_find_name_by_id(nullptr, 1), nullptr);
  std::string ptt;
  for (uint32_t type = 0; type < 256; ++type) {
    const sig_proto r = fresh(type);
    ptt += sig_proto_is_ptt_command(&r) ? std::to_string(type) + " " : "";
  }
  EXPECT_EQ(ptt, "1 3 9 129 130 133 ");
  EXPECT_EQ(sig_proto_is_ptt_command(nullptr), 0);
  // At most 255 bytes of caller ID, the rest of the area cleared.
  sig_proto r = fresh(9);
  sig_proto_set_gw_selcall(&r, std::string(300, 'x').c_str(), 300);
  EXPECT_EQ(std::make_pair(int(r.gw_sel_call.callerID_length), std::string(r.gw_sel_call.callerID)),
            std::make_pair(255, std::string(255, 'x')));
  sig_proto_set_gw_selcall(&r, "ab", 2);
  EXPECT_EQ(std::string(r.gw_sel_call.callerID, 4), std::string("ab\0\0", 4));
  // No text: length 0 and the area empty.
  sig_proto_set_wm_selcall_transmite(&r, addr("1.2.3.4"), 9, nullptr, 12);
  EXPECT_EQ(r.wm_sel_call_trans.callerID_length, 0);
  EXPECT_STREQ(r.wm_sel_call_trans.callerID, "");
}

// A negative argument leaves its field alone; no setter touches the type
// or a null record.
TEST(SigProto, SettersLeaveNegativeArgumentsAlone) {
  sig_proto r = fresh(7);
  sig_proto_set_base(&r, 9, 1, 1, 1, 1, 1, 1, 1, 1, 1, 3, 300);
  sig_proto_set_base(&r, -1, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  sig_proto_set_ptt(&r, -5);
  EXPECT_EQ(pack(r), (Bytes{7, 0x97, 0xF9, 0x67}));
  EXPECT_EQ(std::make_pair(r.flag_t, r.flag_p), std::make_pair(0u, 1u));
  sig_proto_set_ptt(&r, 0);
  EXPECT_EQ(pack(r), (Bytes{7, 0x93, 0xF9, 0x67}));
  for (int (*reset)(sig_proto*) : {sig_proto_init, +[](sig_proto* p) { return sig_proto_set_ptt(p, 1); },
                                   +[](sig_proto* p) { return sig_proto_set_wm_chan(p, 1, 1.0f, 1, 1); },
                                   +[](sig_proto* p) { return sig_proto_set_gw_selcall(p, "1", 1); },
                                   +[](sig_proto* p) {
                                     return sig_proto_set_base(p, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1);
                                   }})
    EXPECT_EQ(reset(nullptr), 0);
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
  b.source_ssrc = 8;  // the SSRC before the address
  EXPECT_EQ(cmp_sig_proto_header(&a, &b), -2);
  b.type = 1;  // the type before both
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
  EXPECT_EQ(cmp_sig_proto_flags(nullptr, &d), -1);

  // Types without a printer print as empty texts, whatever the previous
  // comparison left where the texts are made.
  const sig_proto e = fresh(50), f = fresh(50);
  for (auto cmp : {cmp_sig_proto, cmp_sig_proto_flags}) {
    EXPECT_NE(cmp(&c, &d), 0);
    EXPECT_EQ(cmp(&e, &f), 0);
  }
}

std::string print(const sig_proto& r, int mode, size_t size = 8192) {
  std::vector<char> text(size, 'Z');
  const int n = sprintf_sig_proto(text.data(), text.size(), &r, mode);
  if (n > 0) {
    EXPECT_EQ(static_cast<size_t>(n), std::strlen(text.data()));
  }
  return n > 0 ? std::string(text.data(), static_cast<size_t>(n)) : "";
}

// The header with the type by name or number, flags only, and a payload
// printer (numbers and floats; caller-ID bytes, cut to the buffer).
TEST(SigProto, PrinterSnapshots) {
  const std::string flags =
      "flag_t   : 0,\nflag_p   : 1,\nflag_r   : 0,\nflag_s   : 0,\nflag_b   : 0,\n"
      "flag_rv  : 0,\nflag_sh  : 0,\nflag_rs  : 0,\nflag_pw  : 0,\nflag_c   : 2,\n";
  const std::string base = flags + "priority : 6,\nstatus   : 17,\n";
  sig_proto r = fresh(3);
  sig_proto_set_base(&r, 6, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 17);
  EXPECT_EQ(print(r, SIG_PROTO_PRINT_TYPE_NAME), "type      : GW_FLAG_PTT,\n" + base);
  EXPECT_EQ(print(r, SIG_PROTO_PRINT_FLAGS_ONLY), flags);
  r.type = 0;  // no name: the number
  EXPECT_EQ(print(r, SIG_PROTO_PRINT_TYPE_NAME | SIG_PROTO_PRINT_FLAGS_ONLY), "type      : 0x00000000,\n" + flags);
  r.type = 130;
  sig_proto_set_wm_transmite(&r, addr("10.1.2.3"), 0xAB);
  EXPECT_EQ(print(r, SIG_PROTO_PRINT_TYPE_NAME),
            "type      : WM_TRANS,\n" + base + "wm_trans.session_addr : 10.1.2.3,\nwm_trans.ssrc         : 0x000000AB,\n");
  r.type = 132;
  sig_proto_set_wm_chan(&r, 5, 123.5f, 12, 3);
  EXPECT_EQ(print(r, SIG_PROTO_PRINT_TYPE_HEX | SIG_PROTO_PRINT_FLAGS_ONLY), "type      : 0x00000084,\n" + flags);
  EXPECT_EQ(print(r, 0), base + "wm_chan.id   : 5,\nwm_chan.freq : 123.5000,\nwm_chan.squelsh : 12,\n"
                                "wm_chan.rte     : 3,\n");
  r.type = 9;
  sig_proto_set_gw_selcall(&r, "A\x7F", 2);
  const std::string selcall =
      base + "gw_sel_call.callerID_length: 2,\ngw_sel_call.callerID : \n[0] : 0x41,\n[1] : 0x7F,\n";
  EXPECT_EQ(print(r, 0), selcall);
  EXPECT_EQ(print(r, 0, 20), selcall.substr(0, 19));  // always terminated
  r.type = 14;  // no printer
  EXPECT_EQ(print(r, 0), "");
  r.type = 9;
  char text[16];
  EXPECT_EQ(sprintf_sig_proto(text, 0, &r, 2), 0);
  EXPECT_EQ(sprintf_sig_proto(nullptr, sizeof text, &r, 2), 0);
  EXPECT_EQ(sprintf_sig_proto(text, sizeof text, nullptr, 2), 0);
}

// The host's byte order, whichever it is, and the session address as the
// wire has it on every host (the hand-computed packets above).
TEST(SigProto, HostByteOrder) {
  EXPECT_EQ(is_little_endian(), __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 1 : 0);
}

// The seventeen types in their order, the rest -1, everything else cleared.
TEST(SigProto, QueueBlock) {
  std::memset(&sig_proto_queue, 0xA5, sizeof sig_proto_queue);
  EXPECT_EQ(init_sig_proto_queue(), 0);
  std::string types;
  for (const sig_proto& r : sig_proto_queue.records)
    types += std::to_string(static_cast<int32_t>(r.type)) + " ";
  EXPECT_EQ(types, "1 3 4 5 6 7 8 2 9 10 13 129 130 132 131 133 135 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 ");
  sig_proto_queue_block cleared;
  std::memset(&cleared, 0, sizeof cleared);
  for (size_t i = 0; i < SIG_PROTO_QUEUE_SIZE; ++i)
    cleared.records[i].type = sig_proto_queue.records[i].type;
  EXPECT_EQ(std::memcmp(&cleared, &sig_proto_queue, sizeof cleared), 0);
  EXPECT_EQ(sizeof sig_proto_queue, SIG_PROTO_QUEUE_SIZE * sizeof(sig_proto) + 128);
}

}  // namespace
