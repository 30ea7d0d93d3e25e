// The RTCP encoders: packets against hand-built bytes, and the fit rules
// swept over item lengths and buffer sizes, each encoded into a buffer of
// exactly its size so that the sanitizers see any write past it.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "rtp/rtcp.h"

namespace {

using Items = std::vector<std::pair<RTPC::SDES::Item::Type, std::string>>;

std::string Encode(const RTPC::Msg& msg, unsigned size) {
  std::unique_ptr<char[]> buffer(new char[size]);
  unsigned n = msg.encode(buffer.get(), size);
  EXPECT_LE(n, size);
  return std::string(buffer.get(), std::min(n, size));
}

RTPC::SDES Sdes(uint32_t ssrc, const Items& items) {
  RTPC::SDES sdes(ssrc);
  for (const auto& item : items)
    sdes.add(item.first, item.second);
  return sdes;
}

// The source description as the fit rule lays it out in a buffer without
// end: header, SSRC, the items that pass the rule, end byte, padding.
std::string Unbounded(uint32_t ssrc, const Items& items, unsigned size) {
  std::string out = {'\x81', '\xca', 0, 0, char(ssrc >> 24), char(ssrc >> 16), char(ssrc >> 8), char(ssrc)};
  unsigned body = size - 4;
  if (!items.empty() && body >= 12) {
    for (const auto& item : items) {
      unsigned len = static_cast<unsigned>(std::min<size_t>(item.second.size(), 255));
      if (body - (out.size() - 4) < ((len + 6) & ~3u))
        break;
      out += char(item.first);
      out += char(len);
      out += item.second.substr(0, len);
    }
    out += '\0';
    out.resize((out.size() + 3) & ~size_t(3), '\0');
  }
  out[3] = char(out.size() / 4 - 1);
  out[2] = char((out.size() / 4 - 1) >> 8);
  return out;
}

TEST(Rtcp, Packets) {
  struct Row {
    const char* name;
    std::string packet;
    std::string bytes;
  };
  const Row rows[] = {
      {"SDES", Encode(Sdes(0x11223344, {{RTPC::SDES::Item::CNAME, "Corvala Meshvane"},
                                        {RTPC::SDES::Item::EMAIL, "a@b"},
                                        {RTPC::SDES::Item::PHONE, "1"}}),
                      1024),
       std::string("\x81\xca\x00\x08\x11\x22\x33\x44\x01\x10" "Corvala Meshvane" "\x03\x03" "a@b" "\x04\x01" "1"
                   "\x00\x00", 36)},
      {"SDES without items", Encode(RTPC::SDES(7), 1024), std::string("\x81\xca\x00\x01\x00\x00\x00\x07", 8)},
      {"BYE", Encode(RTPC::BYE(0xa1b2c3d4, "session end"), 1024),
       std::string("\x81\xcb\x00\x04\xa1\xb2\xc3\xd4\x0b" "session end", 20)},
      {"BYE without reason", Encode(RTPC::BYE(1, ""), 1024), std::string("\x81\xcb\x00\x01\x00\x00\x00\x01", 8)},
      {"BYE cut to the buffer", Encode(RTPC::BYE(1, "session end"), 14),
       std::string("\x81\xcb\x00\x02\x00\x00\x00\x01\x03" "ses", 12)},
      {"text cut to 255", Encode(RTPC::BYE(1, std::string(300, 'x')), 1024),
       std::string("\x81\xcb\x00\x41\x00\x00\x00\x01\xff", 9) + std::string(255, 'x')},
      {"no room for items", Encode(Sdes(2, {{RTPC::SDES::Item::CNAME, "x"}}), 15),
       std::string("\x81\xca\x00\x01\x00\x00\x00\x02", 8)},
      // The first item fits, the second ends the list.
      {"items that fit", Encode(Sdes(2, {{RTPC::SDES::Item::CNAME, "abc"}, {RTPC::SDES::Item::NOTE, "defgh"}}), 20),
       std::string("\x81\xca\x00\x03\x00\x00\x00\x02\x01\x03" "abc" "\x00\x00\x00", 16)},
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.packet, row.bytes) << row.name;
  char small[7];
  EXPECT_EQ(RTPC::BYE(1, "x").encode(small, sizeof small), 0u);
  EXPECT_EQ(RTPC::SDES(1).encode(small, sizeof small), 0u);
}

// Where the fit rule keeps within the buffer the packet is what it lays
// out; where it would not, items go until the packet fits.
TEST(Rtcp, EveryWriteStaysInTheBuffer) {
  std::vector<unsigned> sizes;
  for (unsigned size = 0; size <= 64; ++size)
    sizes.push_back(size);
  sizes.push_back(1024);
  for (unsigned len = 0; len <= 300; ++len) {
    const std::string text(len, 't');
    const Items lists[] = {
        {{RTPC::SDES::Item::CNAME, text}},
        {{RTPC::SDES::Item::CNAME, text}, {RTPC::SDES::Item::NAME, ""}, {RTPC::SDES::Item::EMAIL, ""},
         {RTPC::SDES::Item::PHONE, ""}},
        {{RTPC::SDES::Item::NAME, ""}, {RTPC::SDES::Item::CNAME, text}, {RTPC::SDES::Item::TOOL, "x"}},
    };
    for (unsigned size : sizes) {
      for (const Items& items : lists) {
        std::string got = Encode(Sdes(9, items), size);
        if (size < 8) {
          EXPECT_TRUE(got.empty());
          continue;
        }
        std::string laidOut = Unbounded(9, items, size);
        if (laidOut.size() <= size) {
          ASSERT_EQ(got, laidOut) << "len " << len << " size " << size;
        }
        ASSERT_EQ(got.size() % 4, 0u);
        ASSERT_EQ(got.size(), (static_cast<uint8_t>(got[2]) * 256u + static_cast<uint8_t>(got[3]) + 1) * 4);
        ASSERT_LE(got.size(), laidOut.size());
        if (got.size() > 8) {
          ASSERT_EQ(got.back(), '\0') << "len " << len << " size " << size;  // the end of the list
        }
      }
      std::string bye = Encode(RTPC::BYE(9, text), size);
      if (size >= 8) {
        unsigned limit = (size - 4) & ~3u;  // the body ends on a whole word
        unsigned reason = len == 0 || limit < 8 ? 0 : std::min({len, limit - 5, 255u});
        ASSERT_EQ(bye.size(), reason ? (9 + reason + 3) & ~3u : 8u) << "len " << len << " size " << size;
      }
    }
  }
}

}  // namespace
