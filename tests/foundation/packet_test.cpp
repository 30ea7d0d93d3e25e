#include <gtest/gtest.h>

#include <new>
#include <sys/mman.h>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/packet.h"
#include "tests/support/log_capture.h"

using testing_support::LogCapture;

namespace {

Packet bytes(std::initializer_list<unsigned char> list) {
  Packet p;
  p.reserve_head(0);
  for (unsigned char c : list)
    p.put(c);
  return p;
}

TEST(Packet, NullPacketAndHeadRoomPushes) {
  Packet null;
  EXPECT_EQ(0u, null.length());
  EXPECT_EQ("(null)", null.text());
  std::ostringstream out;
  EXPECT_FALSE(null.dump(out));

  Packet p;
  p.reserve_head(4);
  EXPECT_EQ(0u, p.length());
  EXPECT_EQ(4u, p.headroom());
  EXPECT_EQ(65536u - 4, p.tailroom());
  p.push16_b(0x1234);
  p.push(0);
  p.push(3);
  EXPECT_EQ("03 00 12 34", p.text());
  EXPECT_TRUE(p.dump(out));
  EXPECT_EQ("head=0, data=4, tail=65532", out.str());

  Packet t;
  t.reserve_tail(10);
  EXPECT_EQ(65526u, t.headroom());
  EXPECT_EQ(10u, t.tailroom());
  t.reserve_tail(6);  // the empty window moves towards the start
  EXPECT_EQ(65520u, t.headroom());
  t.reserve_head(2);
  EXPECT_EQ(65522u, t.headroom());
}

TEST(Packet, EndianPutsAndPulls) {
  Packet p;
  p.reserve_head(0);
  p.put16_b(0x1234);
  p.put16(0x1234);
  EXPECT_EQ("12 34 34 12", p.text());
  EXPECT_EQ(0x1234, p.pull16_b());
  EXPECT_EQ(0x1234, p.pull16_l());
  EXPECT_EQ(0u, p.length());

  Packet q = bytes({0x12, 0x34});
  EXPECT_EQ(0x3412, q.pull16_l());
  Packet one = bytes({0x12});
  EXPECT_EQ(0x1200, one.pull16_b());
  EXPECT_EQ(0u, one.length());
  EXPECT_EQ(0, one.pull16_b());
}

TEST(Packet, StringsBulkTrimAndByteAccess) {
  Packet p;
  p.reserve_head(0);
  EXPECT_TRUE(p.put(std::string("abc")));
  EXPECT_EQ("03 61 62 63", p.text());
  EXPECT_EQ("abc", p.pull_string());

  // 255 octets fit the length byte; 256 are refused and nothing is appended.
  std::string longest(255, 'x');
  EXPECT_TRUE(p.put(longest));
  EXPECT_EQ(256u, p.length());
  EXPECT_EQ(longest, p.pull_string());
  {
    LogCapture log;
    EXPECT_FALSE(p.put(std::string(256, 'y')));
    EXPECT_NE(std::string::npos, log.err().find("256"));
  }
  EXPECT_EQ(0u, p.length());

  const char raw[] = {1, 2, 3, 4, 5};
  p.put(raw, 5);
  EXPECT_EQ(3, p[2]);
  p.trim(2);
  EXPECT_EQ("01 02 03", p.text());
  unsigned char front[2];
  p.pull(front, 2);
  EXPECT_EQ(2, front[1]);
  EXPECT_EQ("03", p.text());

  Packet other = bytes({0xAA, 0xBB});
  p.put(other);
  p.put(p);  // appending itself doubles the content
  EXPECT_EQ("03 AA BB 03 AA BB", p.text());
  EXPECT_EQ("AA BB", other.text());
}

TEST(Packet, CopyOnWriteAndSub) {
  unsigned before = packet_pool().available();
  Packet a = bytes({1, 2, 3, 4});
  Packet b = a;  // shares the buffer
  EXPECT_TRUE(a.shared());
  EXPECT_EQ(before - 1, packet_pool().available());
  EXPECT_EQ(1, a.pull());
  EXPECT_EQ(3u, a.length());
  EXPECT_EQ(4u, b.length());
  EXPECT_EQ("01 02 03 04", b.text());
  EXPECT_FALSE(a.shared());
  EXPECT_EQ(before - 2, packet_pool().available());

  Packet s = b.sub(1, 2);
  EXPECT_EQ("02 03", s.text());
  EXPECT_EQ(b.headroom() + 1, s.headroom());
  EXPECT_FALSE(b.shared());
  EXPECT_EQ(before - 3, packet_pool().available());

  std::ostringstream out;
  EXPECT_TRUE(s.dump_context(out));
  EXPECT_EQ("dump: 2 3", out.str());

  a = Packet();
  b = Packet();
  s = Packet();
  EXPECT_EQ(before, packet_pool().available());
}

TEST(Packet, PoolExhaustionAndReuseOrder) {
  ASSERT_EQ(1024u, packet_pool().available());
  std::vector<Packet> all(1024);
  for (Packet& p : all)
    p.reserve_head(0);
  EXPECT_EQ(0u, packet_pool().available());
  Packet more;
  EXPECT_THROW(more.reserve_head(4), std::bad_alloc);
  EXPECT_TRUE(more.null());
  // Copy-on-write needs a buffer too; the handle keeps its shared one.
  Packet shared = all[0];
  EXPECT_THROW(shared.put(static_cast<unsigned char>(1)), std::bad_alloc);
  EXPECT_EQ(0u, shared.length());
  shared = Packet();

  // Freed buffers come back in the order they were freed.
  const unsigned char* first = all[5].data();
  const unsigned char* second = all[9].data();
  all[5] = Packet();
  all[9] = Packet();
  Packet x, y;
  x.reserve_head(0);
  y.reserve_head(0);
  EXPECT_EQ(first, x.data());
  EXPECT_EQ(second, y.data());
}

TEST(Packet, FreedBufferIsHandedOutLast) {
  Packet a, b;
  a.reserve_head(0);
  const unsigned char* freed = a.data();
  a = Packet();
  // Every buffer never used comes before the one just freed.
  std::vector<Packet> rest(1023);
  for (Packet& p : rest) {
    p.reserve_head(0);
    ASSERT_NE(freed, p.data());
  }
  b.reserve_head(0);
  EXPECT_EQ(freed, b.data());
}

bool resident(const void* address) {
  uintptr_t page = reinterpret_cast<uintptr_t>(address) & ~static_cast<uintptr_t>(4095);
  unsigned char state = 0;
  return mincore(reinterpret_cast<void*>(page), 4096, &state) == 0 && (state & 1);
}

TEST(Packet, IdlePoolGivesItsPagesBack) {
  ASSERT_EQ(1024u, packet_pool().available());
  std::vector<Packet> used(40);
  std::vector<unsigned char> filler(16384, 1);
  for (Packet& p : used) {
    p.reserve_head(0);
    p.put(filler.data(), static_cast<unsigned>(filler.size()));
  }
  const unsigned char* page = used[20].data() + 8192;  // inside one block's data
  EXPECT_TRUE(resident(page));
  EXPECT_FALSE(packet_pool().release_idle_memory());  // blocks in use
  used.clear();  // an idle pool may give its pages back by itself
  EXPECT_TRUE(packet_pool().release_idle_memory());
  EXPECT_FALSE(resident(page));
  EXPECT_EQ(0u, packet_pool().touched());

  // The free list survives: blocks come back zeroed, in the same order.
  Packet next;
  next.reserve_head(0);
  EXPECT_EQ(page - 8192 + 20 * sizeof(_Packet), next.data());  // block 40
  next.put(static_cast<unsigned char>(9));
  EXPECT_EQ(9, next[0]);
}

TEST(PacketDeath, BrokenPreconditionsEndTheProcess) {
  EXPECT_DEATH(
      {
        Packet p;
        p.reserve_head(0);
        p.push(1);
      },
      "PACKET ASSERTION FAILED!\nlen<=_headroom\\(\\)\nhead=0, data=0, tail=65536");
  EXPECT_DEATH(
      {
        Packet p;
        p.reserve_tail(0);
        p.put(static_cast<unsigned char>(1));
      },
      "len<=_tailroom\\(\\)");
  EXPECT_DEATH(
      {
        Packet p = bytes({1});
        p.trim(2);
      },
      "len<=_length\\(\\)");
  EXPECT_DEATH(
      {
        Packet p = bytes({0xab, 0x01});
        (void)p[2];
      },
      "index out of range\nhead=0, data=2, tail=65534\ndump:\n ab 1");
  EXPECT_DEATH(
      {
        Packet p;
        p.reserve_head(65537);
      },
      "length>packet_max_size");
  EXPECT_DEATH(
      {
        Packet p;
        p.push(1);
      },
      "null packet\n\\(null\\)");
  EXPECT_DEATH(
      {
        Packet p;
        p.check("put");
      },
      "packet check fail\nafter \"put\" packet is null\nterminate.");
}

}  // namespace
