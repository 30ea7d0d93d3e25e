// The packet ring: order, capacity, the empty ring, and letting its
// packets go; the modulo-128 sequence numbers and their window.
#include <gtest/gtest.h>

#include "foundation/packet.h"
#include "signalling/clean_queue.h"
#include "signalling/cyclic.h"

namespace {

Packet tagged(unsigned char tag) {
  Packet p;
  p.reserve_head(0);
  p.put(tag);
  return p;
}

unsigned char tag(const Packet& p) { return p.null() ? 0 : p[0]; }

TEST(CleanQueue, OrderCapacityAndEmptyRing) {
  CleanQueue<Packet, 4> q;
  Packet out = tagged(99);
  EXPECT_FALSE(q.get(&out) || q.preview(&out) || q.get_last(&out) || q.preview(nullptr));
  EXPECT_EQ(tag(out), 99);
  // Around the ring several times: first in, first out; append jumps the line.
  unsigned char next = 1, expect = 1;
  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(q.put(tagged(next++)) && q.put(tagged(next++)) && q.append(tagged(200)) && q.put(tagged(next++)));
    EXPECT_FALSE(q.put(tagged(250)) || q.append(tagged(250)));
    EXPECT_EQ(q.count(), 4u);
    ASSERT_TRUE(q.preview(nullptr) && q.get(&out));
    EXPECT_EQ(tag(out), 200);
    ASSERT_TRUE(q.get_last(&out));
    EXPECT_EQ(tag(out), next - 1);
    for (int k = 0; k < 2; ++k) {
      ASSERT_TRUE(q.preview(&out) && q.get(out));
      EXPECT_EQ(tag(out), expect++);
    }
    ++expect;  // the one taken from the back
    EXPECT_TRUE(q.empty());
  }
}

TEST(CleanQueue, ClearAndDestructionReleaseThePackets) {
  unsigned before = packet_pool().available();
  {
    CleanQueue<Packet, 7> q;
    for (unsigned char i = 0; i < 7; ++i)
      q.put(tagged(i));
    EXPECT_EQ(packet_pool().available(), before - 7);
    q.clear();
    EXPECT_EQ(q.count(), 0u);
    EXPECT_EQ(packet_pool().available(), before);
    q.put(tagged(1));
  }
  EXPECT_EQ(packet_pool().available(), before);
}

TEST(Cyclic, ArithmeticAndWindow) {
  typedef Cyclic<unsigned, 127> C;
  EXPECT_EQ(unsigned(C(127) + C(1)), 0u);
  EXPECT_EQ(unsigned(C(0) - C(1)), 127u);
  EXPECT_EQ(unsigned(C(3) - C(125)), 6u);
  C v(127);
  EXPECT_EQ(unsigned(v++), 127u);
  EXPECT_EQ(unsigned(v), 0u);
  EXPECT_EQ(unsigned(--v), 127u);
  struct Case {
    unsigned low, mid, high;
    bool inside;
  } const cases[] = {{120, 126, 5, true}, {120, 5, 5, true}, {120, 6, 5, false}, {120, 119, 5, false},
                     {9, 9, 9, true},     {9, 10, 9, false}, {0, 8, 7, false},   {127, 0, 0, true}};
  for (const Case& c : cases)
    EXPECT_EQ(C(c.low) <= C(c.mid) <= C(c.high), c.inside) << c.low << " " << c.mid << " " << c.high;
}

}  // namespace
