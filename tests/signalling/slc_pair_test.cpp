// Two of our SS7 links back to back over a line that drops frames by a
// seeded random choice. Like an HDLC controller, the line repeats a FISU
// with the last sequence numbers of each side while nothing else moves.
#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "signalling/slc.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/support/log_capture.h"

using namespace lapd_test;
using SS7::SLC;

namespace {

struct LossyWire : GenericHDLC {
  std::deque<Bytes> inFlight;
  std::mt19937* random = nullptr;
  unsigned dropPercent = 0;
  Bytes last;

  bool hdlc_transmit(Packet& frame) override {
    last = bytes_of(frame);
    if ((*random)() % 100 >= dropPercent)
      inFlight.push_back(last);
    return true;
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }
  // What the line repeats while idle: a FISU with the last header.
  void repeat() {
    if (last.size() >= 3 && last[2] != 1 && (*random)() % 100 >= dropPercent)
      inFlight.push_back(Bytes{last[0], last[1], 0});
  }
};

struct End {
  Upper upper;
  LossyWire wire;
  SLC* slc = new SLC;
  unsigned sent = 0;
  explicit End(std::mt19937& random) {
    wire.random = &random;
    slc->set_hdlc(&wire);
    upper.add_protocol_tail(slc);
  }
  void send() {
    Packet p = packet_of({0x83, 0x11, static_cast<uint8_t>(sent >> 8), static_cast<uint8_t>(sent)});
    ++sent;
    slc->message(p);
  }
  // The numbers of the MSUs that came up, in order.
  std::vector<unsigned> received() const {
    std::vector<unsigned> numbers;
    for (const Bytes& m : upper.up)
      numbers.push_back(m.size() == 4 ? unsigned(m[2]) << 8 | m[3] : ~0u);
    return numbers;
  }
};

struct Pair : Clocked {
  std::mt19937 random;
  End a{random}, b{random};

  explicit Pair(unsigned seed) : random(seed) {}
  // One frame each way; false when neither side had one.
  bool deliver() {
    bool moved = false;
    for (End* from : {&a, &b}) {
      End* to = from == &a ? &b : &a;
      if (from->wire.inFlight.empty())
        continue;
      Bytes f = from->wire.inFlight.front();
      from->wire.inFlight.pop_front();
      from_below(to->slc, f);
      moved = true;
    }
    return moved;
  }
  void align() {
    a.upper.activate();
    b.upper.activate();
    while (deliver()) {
    }
    advance(SLC::T4n.ms);
    while (deliver()) {
    }
  }
};

}  // namespace

// Every MSU arrives once and in order, across losses of MSUs and FISUs,
// negative acknowledgements, retransmissions and the wrap of the FSNs.
TEST(SlcPair, MsusArriveOnceInOrderOverALossyLine) {
  testing_support::LogCapture quiet;
  for (unsigned seed : {1u, 7u, 42u}) {
    SCOPED_TRACE(seed);
    Pair pair(seed);
    pair.align();
    ASSERT_EQ(pair.a.slc->get_state_id(), SLC::State::InService);
    ASSERT_EQ(pair.b.slc->get_state_id(), SLC::State::InService);
    pair.a.wire.dropPercent = pair.b.wire.dropPercent = 10;

    const unsigned total = 700;  // more than five times round the FSNs
    for (int step = 0; step < 200000; ++step) {
      for (End* e : {&pair.a, &pair.b})
        if (e->sent < total && e->slc->statistics().rtbCount < 100)
          e->send();
      if (!pair.deliver()) {
        if (pair.a.upper.up.size() == total && pair.b.upper.up.size() == total &&
            pair.a.slc->statistics().rtbCount == 0 && pair.b.slc->statistics().rtbCount == 0)
          break;
        pair.a.wire.repeat();
        pair.b.wire.repeat();
      }
    }
    std::vector<unsigned> expected(total);
    for (unsigned i = 0; i < total; ++i)
      expected[i] = i;
    EXPECT_EQ(pair.a.received(), expected);
    EXPECT_EQ(pair.b.received(), expected);
    for (End* e : {&pair.a, &pair.b}) {
      SLC::Statistics s = e->slc->statistics();
      EXPECT_EQ(e->slc->get_state_id(), SLC::State::InService);
      EXPECT_GT(s.nacks, 0u);
      EXPECT_GT(s.retransmissions, 0u);
      EXPECT_EQ(s.overflows, 0u);
      EXPECT_EQ(s.rtbCount, 0u);
    }
  }
}
