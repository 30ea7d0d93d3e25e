// Two of our SS7 links back to back over a line that drops frames by a
// seeded random choice. Like an HDLC controller, the line repeats a FISU
// with the last sequence numbers of each side while nothing else moves.
#include <gtest/gtest.h>

#include "signalling/slc.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/support/log_capture.h"

using namespace lapd_test;
using SS7::SLC;

namespace {

using End = LossyEnd<SLC>;

// What the line repeats while idle: a FISU with the last header sent.
void repeat(End& e) {
  const Bytes& last = e.log.back();
  if (last.size() >= 3 && last[2] != 1 && (*e.random)() % 100 >= e.dropPercent)
    e.inFlight.push_back(Bytes{last[0], last[1], 0});
}

}  // namespace

// Every MSU arrives once and in order, across losses of MSUs and FISUs,
// negative acknowledgements, retransmissions and the wrap of the FSNs.
TEST(SlcPair, MsusArriveOnceInOrderOverALossyLine) {
  testing_support::LogCapture quiet;
  const unsigned total = 700;  // more than five times round the FSNs
  std::vector<unsigned> expected(total);
  for (unsigned i = 0; i < total; ++i)
    expected[i] = i;
  for (unsigned seed : {1u, 7u, 42u}) {
    SCOPED_TRACE(seed);
    Clocked clock;
    std::mt19937 random(seed);
    End a(new SLC, &random), b(new SLC, &random);
    a.upper.activate();
    b.upper.activate();
    while (End::exchange(a, b)) {
    }
    clock.advance(SLC::T4n.ms);
    while (End::exchange(a, b)) {
    }
    ASSERT_EQ(a.layer->get_state_id(), SLC::State::InService);
    ASSERT_EQ(b.layer->get_state_id(), SLC::State::InService);
    a.dropPercent = b.dropPercent = 10;

    for (int step = 0; step < 200000; ++step) {
      for (End* e : {&a, &b})
        if (e->sent < total && e->layer->statistics().rtbCount < 100)
          e->send({0x83, 0x11});
      if (End::exchange(a, b))
        continue;
      if (a.upper.up.size() == total && b.upper.up.size() == total && a.layer->statistics().rtbCount == 0 &&
          b.layer->statistics().rtbCount == 0)
        break;
      repeat(a);
      repeat(b);
    }
    for (End* e : {&a, &b}) {
      EXPECT_EQ(e->received(), expected);
      SLC::Statistics s = e->layer->statistics();
      EXPECT_EQ(e->layer->get_state_id(), SLC::State::InService);
      EXPECT_GT(s.retransmissions, 0u);
      EXPECT_EQ(s.overflows + s.rtbCount, 0u);
    }
  }
}
