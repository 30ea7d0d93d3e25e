#include <gtest/gtest.h>

#include <deque>

#include <string>
#include <vector>

#include "foundation/multiplexer.h"
#include "foundation/mux_time.h"
#include "foundation/timer.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::LogCapture;
using testing_support::LoopRunner;
using testing_support::TestClock;

namespace {

struct Recorder {
  std::vector<std::string> fired;
  Timer a, b, c;
  int rearms = 0;
  void onA() { fired.push_back("a"); }
  void onB() { fired.push_back("b"); }
  void onC(Timer*) { fired.push_back("c"); }
  void rearmSelf(Timer* t) {
    fired.push_back("self");
    if (++rearms < 3)
      t->set(0, &Recorder::rearmSelf, this);
  }
};

TEST(Timer, OrderTiesRearmingAndDestroyedOwners) {
  TestClock clock;
  LoopRunner loop;
  Recorder r;
  r.a.set(10, &Recorder::onA, &r);
  r.a.set(50, &Recorder::onA, &r);  // replaces the first expiry
  r.b.set(20, &Recorder::onB, &r);
  r.c.set(50, &Recorder::onC, &r);  // same expiry as a, armed later
  {
    Recorder gone;
    gone.b.set(5, &Recorder::onB, &gone);
  }
  EXPECT_EQ(multiplexer.timer_count(), 3u);
  loop.until([&] { return r.fired.size() == 3; });
  EXPECT_EQ(r.fired, (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(clock.waited_ms(), 50u);  // slept until the timers, never longer
  EXPECT_EQ(multiplexer.timer_count(), 0u);

  // A callback re-arming itself for 0 ms fires again in the same pass.
  r.c.set(5, &Recorder::rearmSelf, &r);
  clock.advance(5);
  multiplexer.timers_schedule();
  EXPECT_EQ(r.fired.size(), 6u);
  EXPECT_FALSE(r.c.pending());
}

TEST(Timer, WrapOfTheMillisecondClock) {
  // Start 10 ms before the 32-bit millisecond clock wraps.
  TestClock clock((1ull << 32) - 10);
  LoopRunner loop;
  Recorder r;
  r.b.set(30, &Recorder::onB, &r);  // after the wrap
  r.a.set(5, &Recorder::onA, &r);   // before it
  loop.until([&] { return r.fired.size() == 2; });
  EXPECT_EQ(r.fired, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(clock.waited_ms(), 30u);
}

TEST(Timer, TwoHourGuard) {
  TestClock clock;
  LogCapture log;
  LoopRunner loop;
  Recorder r;
  r.a.set(Multiplexer::MaxWait, &Recorder::onA, &r);
  EXPECT_EQ(multiplexer.timers_schedule(), Multiplexer::MaxWait);
  EXPECT_EQ(log.err(), "");

  r.b.set(Multiplexer::MaxWait + 1, &Recorder::onB, &r);
  r.a.set(Multiplexer::MaxWait + 5, &Recorder::onA, &r);
  uint32_t now = Mux::milliseconds();
  EXPECT_EQ(multiplexer.timers_schedule(), 1000u);
  EXPECT_EQ(log.err(), "******** RUNTIME ERROR CONDITION *************"
                       "Multiplexer::timers_schedule() invalid wait time detected!\n"
                       "now = " + std::to_string(now) + "\nfirst = " + std::to_string(now + Multiplexer::MaxWait + 1) +
                       "\ncount = 2\n");
  clock.advance(1000);
  multiplexer.timers_schedule();
  EXPECT_EQ(r.fired, (std::vector<std::string>{"b", "a"}));

  // A backwards step of more than two hours re-sets the pending timers.
  log.clear();
  r.c.set(10, &Recorder::onC, &r);
  clock.set_ms(clock.now_ms() - Multiplexer::MaxWait - 100);
  EXPECT_EQ(multiplexer.timers_schedule(), 1000u);
  EXPECT_NE(log.err().find("invalid wait time detected!"), std::string::npos);
  clock.advance(1000);
  multiplexer.timers_schedule();
  EXPECT_EQ(r.fired.back(), "c");
}

}  // namespace

namespace {

TEST(MuxPause, LastsItsWholeTimeThroughSignals) {
  // Where signals cut the waits short (ms into each wait), the clock's
  // advance over the pause and the sum of the waits asked for.
  const struct {
    std::deque<uint64_t> interrupts;
    bool frozen;
    uint64_t waited;
  } cases[] = {{{}, false, 1000}, {{200}, false, 1800}, {{200, 300}, false, 2300},
               {{0, 0}, false, 3000}, {{999}, false, 1001}, {{200}, true, 1800}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.interrupts.size()) + (c.frozen ? " frozen" : ""));
    TestClock clock;
    clock.advance_us(400);  // not on a millisecond
    if (c.frozen)
      Mux::mux_settimeofday();  // the loop's frozen time does not stop the pause
    clock.interrupt_waits(c.interrupts);
    uint64_t start = clock.now_ms();
    Mux::pause(1000);
    EXPECT_EQ(clock.now_ms() - start, 1000u);
    EXPECT_EQ(clock.waited_ms(), c.waited);
  }
}

}  // namespace
