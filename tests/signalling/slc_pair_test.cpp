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

struct End : GenericHDLC {
  Upper upper;
  SLC* slc = new SLC;
  std::mt19937* random;
  unsigned dropPercent = 0;
  std::deque<Bytes> inFlight;  // towards the other end
  Bytes last;
  unsigned sent = 0;

  explicit End(std::mt19937* r) : random(r) {
    slc->set_hdlc(this);
    upper.add_protocol_tail(slc);
  }
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
  void send() {
    from_above(slc, {0x83, 0x11, static_cast<uint8_t>(sent >> 8), static_cast<uint8_t>(sent)});
    ++sent;
  }
  // One frame to the other end; false when none waits.
  bool deliver(End& to) {
    if (inFlight.empty())
      return false;
    Bytes f = inFlight.front();
    inFlight.pop_front();
    from_below(to.slc, f);
    return true;
  }
  std::vector<unsigned> received() const {
    std::vector<unsigned> numbers;
    for (const Bytes& m : upper.up)
      numbers.push_back(m.size() == 4 ? unsigned(m[2]) << 8 | m[3] : ~0u);
    return numbers;
  }
};

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
    End a(&random), b(&random);
    a.upper.activate();
    b.upper.activate();
    while (a.deliver(b) | b.deliver(a)) {
    }
    clock.advance(SLC::T4n.ms);
    while (a.deliver(b) | b.deliver(a)) {
    }
    ASSERT_EQ(a.slc->get_state_id(), SLC::State::InService);
    ASSERT_EQ(b.slc->get_state_id(), SLC::State::InService);
    a.dropPercent = b.dropPercent = 10;

    for (int step = 0; step < 200000; ++step) {
      for (End* e : {&a, &b})
        if (e->sent < total && e->slc->statistics().rtbCount < 100)
          e->send();
      if (a.deliver(b) | b.deliver(a))
        continue;
      if (a.upper.up.size() == total && b.upper.up.size() == total && a.slc->statistics().rtbCount == 0 &&
          b.slc->statistics().rtbCount == 0)
        break;
      a.repeat();
      b.repeat();
    }
    for (End* e : {&a, &b}) {
      EXPECT_EQ(e->received(), expected);
      SLC::Statistics s = e->slc->statistics();
      EXPECT_EQ(e->slc->get_state_id(), SLC::State::InService);
      EXPECT_GT(s.retransmissions, 0u);
      EXPECT_EQ(s.overflows + s.rtbCount, 0u);
    }
  }
}
