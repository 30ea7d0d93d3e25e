#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "foundation/packet.h"
#include "tests/support/log_capture.h"

namespace {

Packet bytes(std::initializer_list<unsigned char> list) {
  Packet p;
  p.reserve_head(0);
  for (unsigned char c : list)
    p.put(c);
  return p;
}

TEST(Packet, RoomPushesPutsPullsAndStrings) {
  Packet p;
  p.reserve_head(4);
  EXPECT_EQ(65532u, p.tailroom());
  p.push16_b(0x1234);
  p.push(0);
  p.push(3);
  p.put16_b(0x1234);
  p.put16(0x1234);
  EXPECT_EQ("03 00 12 34 12 34 34 12", p.text());
  EXPECT_EQ(0x0300, p.pull16_b());
  EXPECT_EQ(0x3412, p.pull16_l());
  EXPECT_EQ(0x12, p[0]);
  p.trim(3);
  EXPECT_EQ("12", p.text());
  EXPECT_EQ(0x1200, p.pull16_b());  // the missing byte reads as 0
  EXPECT_EQ(0, p.pull16_b());

  p.reserve_head(0);
  EXPECT_TRUE(p.put(std::string(255, 'x')));
  EXPECT_EQ(255, p[0]);
  EXPECT_EQ(std::string(255, 'x'), p.pull_string());
  {
    // 256 octets do not fit the length byte: refused, nothing appended.
    testing_support::LogCapture log;
    EXPECT_FALSE(p.put(std::string(256, 'y')));
    EXPECT_NE(std::string::npos, log.err().find("256"));
  }
  EXPECT_EQ(0u, p.length());

  p.put("\x03", 1);
  p.put(bytes({0xAA, 0xBB}));
  p.put(p);  // appending itself doubles the content
  EXPECT_EQ("03 AA BB 03 AA BB", p.text());
}

TEST(Packet, CopyOnWriteSubAndPoolOrder) {
  ASSERT_EQ(1024u, packet_pool().available());
  Packet a = bytes({1, 2, 3, 4});
  Packet b = a;  // shares the buffer
  EXPECT_EQ(1023u, packet_pool().available());
  EXPECT_EQ(1, a.pull());
  EXPECT_EQ("01 02 03 04", b.text());
  EXPECT_EQ(1022u, packet_pool().available());
  Packet s = b.sub(1, 2);
  EXPECT_EQ("02 03", s.text());
  EXPECT_EQ(b.headroom() + 1, s.headroom());

  // A freed buffer is handed out after every other one, and pool
  // exhaustion raises the standard allocation failure.
  const unsigned char* freed = a.data() - 1;
  a = Packet();
  std::vector<Packet> rest(1021);
  for (Packet& p : rest) {
    p.reserve_head(0);
    ASSERT_NE(freed, p.data());
  }
  Packet last;
  last.reserve_head(0);
  EXPECT_EQ(freed, last.data());
  Packet more;
  EXPECT_THROW(more.reserve_head(4), std::bad_alloc);
  Packet shared = last;
  EXPECT_THROW(shared.put(static_cast<unsigned char>(1)), std::bad_alloc);
  EXPECT_EQ(0u, shared.length());
}

// Taking a buffer never raises: input that may be refused leaves the
// reserve, the rest may take the last buffer, and an empty pool is a
// false answer with a null handle.
TEST(Packet, TakeLeavesWhatItIsAskedToAndNeverRaises) {
  ASSERT_EQ(1024u, packet_pool().available());
  std::vector<Packet> taken;
  Packet p = bytes({7});
  while (p.take(2, packet_reserve)) {
    ASSERT_EQ(2u, p.headroom());
    ASSERT_EQ(0u, p.length());
    taken.push_back(p);
  }
  EXPECT_TRUE(p.null());
  EXPECT_EQ(packet_reserve, packet_pool().available());
  while (p.take(0))
    taken.push_back(p);
  EXPECT_TRUE(p.null());
  EXPECT_EQ(0u, packet_pool().available());
  // A handle holding the last buffer in use lets it go and takes it back.
  Packet last = taken.back();
  taken.pop_back();
  EXPECT_TRUE(last.take(4));
  EXPECT_EQ(4u, last.headroom());
  taken.clear();
  EXPECT_EQ(1023u, packet_pool().available());
}

TEST(PacketDeath, BrokenPreconditionsEndTheProcess) {
  EXPECT_DEATH(bytes({}).push(1), "PACKET ASSERTION FAILED!\nlen<=_headroom\\(\\)\nhead=0, data=0, tail=65536");
  EXPECT_DEATH((void)bytes({0xab, 0x01})[2], "index out of range\nhead=0, data=2, tail=65534\ndump:\n ab 1");
  EXPECT_DEATH(Packet().check("put"), "packet check fail\nafter \"put\" packet is null\nterminate.");
  // A length that would wrap start + len around.
  EXPECT_DEATH((void)bytes({1, 2, 3}).sub(1, 0xffffffffu), "start\\+len<=_length\\(\\)");
}

}  // namespace
