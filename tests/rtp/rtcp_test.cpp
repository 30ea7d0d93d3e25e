// The RTCP encoders: packets against hand-built bytes, and every item
// length against every small buffer, each encoded into a buffer of exactly
// its size so that the sanitizers see any write past it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "rtp/rtcp.h"

namespace {

using Item = RTPC::SDES::Item;

std::string Encode(const RTPC::Msg& msg, unsigned size) {
  std::unique_ptr<char[]> buffer(new char[size]);
  const unsigned n = msg.encode(buffer.get(), size);
  EXPECT_LE(n, size);
  return std::string(buffer.get(), n);
}

RTPC::SDES Sdes(uint32_t ssrc, std::initializer_list<std::pair<Item::Type, std::string>> items) {
  RTPC::SDES sdes(ssrc);
  for (const auto& item : items)
    sdes.add(item.first, item.second);
  return sdes;
}

TEST(Rtcp, Packets) {
  const struct {
    const char* name;
    std::string packet, bytes;
  } rows[] = {
      {"SDES", Encode(Sdes(0x11223344, {{Item::CNAME, "Corvala Meshvane"}, {Item::EMAIL, "a@b"}, {Item::PHONE, "1"}}),
                      1024),
       std::string("\x81\xca\x00\x08\x11\x22\x33\x44\x01\x10" "Corvala Meshvane" "\x03\x03" "a@b" "\x04\x01" "1"
                   "\x00\x00", 36)},
      {"BYE", Encode(RTPC::BYE(0xa1b2c3d4, "session end"), 1024),
       std::string("\x81\xcb\x00\x04\xa1\xb2\xc3\xd4\x0b" "session end", 20)},
      {"BYE without reason", Encode(RTPC::BYE(1, ""), 1024), std::string("\x81\xcb\x00\x01\x00\x00\x00\x01", 8)},
      {"BYE cut to the buffer", Encode(RTPC::BYE(1, "session end"), 14),
       std::string("\x81\xcb\x00\x02\x00\x00\x00\x01\x03" "ses", 12)},
      {"text cut to 255", Encode(RTPC::BYE(1, std::string(300, 'x')), 1024),
       std::string("\x81\xcb\x00\x41\x00\x00\x00\x01\xff", 9) + std::string(255, 'x')},
      {"no room for items", Encode(Sdes(2, {{Item::CNAME, "x"}}), 15),
       std::string("\x81\xca\x00\x01\x00\x00\x00\x02", 8)},
      // The first item fits, the second ends the list.
      {"items that fit", Encode(Sdes(2, {{Item::CNAME, "abc"}, {Item::NOTE, "defgh"}}), 20),
       std::string("\x81\xca\x00\x03\x00\x00\x00\x02\x01\x03" "abc" "\x00\x00\x00", 16)},
      {"buffer below 8", Encode(RTPC::BYE(1, "x"), 7) + Encode(RTPC::SDES(1), 7), ""},
  };
  for (const auto& row : rows)
    EXPECT_EQ(row.packet, row.bytes) << row.name;
}

// Whatever fits is a whole packet of whole words with the right length
// word (nothing below 8 bytes); items that start inside a word are in both
// lists.
TEST(Rtcp, EveryWriteStaysInTheBuffer) {
  for (unsigned len = 0; len <= 300; ++len) {
    const std::string text(len, 't');
    for (unsigned size = 0; size <= 65; ++size) {
      const unsigned room = size == 65 ? 1024 : size;
      const std::string packets[] = {Encode(Sdes(9, {{Item::CNAME, text}, {Item::NAME, ""}, {Item::TOOL, "x"}}), room),
                                     Encode(Sdes(9, {{Item::NAME, ""}, {Item::CNAME, text}}), room),
                                     Encode(RTPC::BYE(9, text), room)};
      for (const std::string& got : packets) {
        if (size < 8) {
          ASSERT_EQ(got, "") << len << " " << size;
          continue;
        }
        ASSERT_EQ(got.size() % 4, 0u) << len << " " << size;
        ASSERT_EQ(got.size(), (uint8_t(got[2]) * 256u + uint8_t(got[3]) + 1) * 4) << len << " " << size;
      }
    }
  }
}

}  // namespace
