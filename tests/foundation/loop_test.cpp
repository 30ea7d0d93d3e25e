#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

#include "foundation/multiplexer.h"
#include "tests/foundation/fake_watchdog.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::LogCapture;
using testing_support::LoopRunner;
using testing_support::TestClock;

namespace {

struct Ticker {
  Timer t;
  int fired = 0;
  void onTick() { ++fired; }
};

TEST(Loop, WatchdogStartPingsAtLeastOneSecondApartAndStop) {
  TestClock clock;
  FakeWatchdog wd(&clock);
  uint64_t start = clock.now_ms();
  {
    LoopRunner loop(true);
    Ticker t;
    t.t.set(3500, &Ticker::onTick, &t);
    loop.until([&] { return t.fired == 1; });
    EXPECT_TRUE(multiplexer.watchdog_open());
    clock.set_auto_advance(false);
    loop.turn(3);  // idle turns in the same millisecond: no extra ping
  }
  EXPECT_EQ(wd.opened, (std::vector<std::string>{"/dev/misc/gw-wd"}));
  ASSERT_GE(wd.writes.size(), 6u);
  EXPECT_EQ(wd.writes.front(), "START");
  EXPECT_EQ(wd.writes.back(), "STOP");
  // With nothing to do but a timer 3.5 s away, the wait is capped at 1000 ms
  // and a PING follows every capped wait.
  std::vector<uint64_t> pings;
  for (size_t i = 1; i + 1 < wd.writes.size(); ++i) {
    EXPECT_EQ(wd.writes[i], "PING");
    pings.push_back(wd.stamps[i] - start);
  }
  // No ping at 3500 (only 500 ms after the last one); the next follows the
  // capped wait after the timer.
  EXPECT_EQ(pings, (std::vector<uint64_t>{1000, 2000, 3000, 4500}));
  EXPECT_FALSE(multiplexer.watchdog_open());
}

TEST(Loop, WatchdogFailuresLeaveTheLoopRunningWithoutIt) {
  TestClock clock;
  {
    FakeWatchdog wd(&clock);
    wd.failOpen = true;
    LogCapture log;
    LoopRunner loop(true);
    EXPECT_FALSE(multiplexer.watchdog_open());
    EXPECT_EQ(log.err(), "Mux: fail to open watchdog: No such file or directory\n");
  }
  {
    FakeWatchdog wd(&clock);
    wd.failWrites = true;
    LogCapture log;
    { LoopRunner loop(true); }
    EXPECT_EQ(log.err(), "Mux: fail to activate watchdog: Input/output error\n");
    EXPECT_EQ(log.log(), "Mux: terminating...\n");
    EXPECT_EQ(wd.writes, (std::vector<std::string>{"START"}));
  }
}

TEST(LoopDeathTest, HangWithoutHandlersOrTimers) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_DEATH(
      {
        Dpc dpc;  // an active deferred call does not count
        struct F {
          static void nothing() {}
        };
        dpc.Bind(new DpcHandler1(&F::nothing));
        dpc.Activate();
        multiplexer.run(false, true);
      },
      "multiplexer: system hang detected!!!");
}

TEST(Loop, DueTimerWithoutHandlersIsNotAHang) {
  // A timer that is due now must not be mistaken for "no timer".
  TestClock clock;
  LoopRunner loop;
  Ticker t;
  t.t.set(0, &Ticker::onTick, &t);
  multiplexer.run_turn();
  EXPECT_EQ(t.fired, 1);
}

struct ArmsInDpc {
  Dpc dpc;
  Ticker ticker;
  int passes = 0;
  void run() {
    // The second pass of the turn arms a timer: the turn's poll must not outwait it.
    if (++passes == 2) {
      ticker.t.set(40, &Ticker::onTick, &ticker);
      dpc.Deactivate();
    }
  }
};

TEST(Loop, TimerArmedByTheSecondDeferredPassBoundsThePoll) {
  // A timer pending before the turn (ms, 0: none), the wait of the turn's
  // poll when the second pass arms one for 40 ms, and the timers that fire
  // in the next turn.
  const struct {
    unsigned pending;
    uint64_t wait;
    int fired;
  } cases[] = {{0, 40, 1}, {100, 40, 1}, {30, 30, 1}, {40, 40, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pending);
    TestClock clock;
    clock.set_real_wait(1);  // an unbounded wait shows as a real 1 ms wait, not a clock jump
    transport_test::Pipe p;
    Event idle;  // never readable
    idle.Schedule(p.rd, POLLIN);
    LoopRunner loop;
    Ticker pending;
    if (c.pending)
      pending.t.set(c.pending, &Ticker::onTick, &pending);
    ArmsInDpc a;
    a.dpc.Bind(&a, &ArmsInDpc::run);
    a.dpc.Activate();
    multiplexer.run_turn();
    EXPECT_EQ(a.passes, 2);
    EXPECT_EQ(clock.waited_ms(), c.wait);
    multiplexer.run_turn();
    EXPECT_EQ(a.ticker.fired + pending.fired, c.fired);
  }
}

// A timer callback that takes 60 ms and arms a timer of its own.
struct SlowTimer {
  TestClock* clock;
  unsigned arms;  // ms, 0: none
  Ticker armed;
  Timer t;
  void onTick() {
    clock->advance(60);
    if (arms)
      armed.t.set(arms, &Ticker::onTick, &armed);
  }
};

TEST(Loop, TheWaitRunsFromTheEndOfTheTurnsCallbacks) {
  // The timer the slow callback arms (ms, 0: none), one pending from before
  // it ran (ms from its start, 0: none), and the wait of the turn's poll.
  const struct {
    unsigned arms, pending;
    uint64_t wait;
  } cases[] = {{20, 0, 20}, {0, 30, 0}, {0, 100, 40}, {20, 70, 10}, {20, 200, 20}, {0, 60, 0}, {0, 61, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.arms) + " " + std::to_string(c.pending));
    TestClock clock;
    transport_test::Pipe p;
    Event idle;  // never readable
    idle.Schedule(p.rd, POLLIN);
    LoopRunner loop;
    SlowTimer slow{&clock, c.arms, {}, {}};
    slow.t.set(0, &SlowTimer::onTick, &slow);
    Ticker pending;
    if (c.pending)
      pending.t.set(c.pending, &Ticker::onTick, &pending);
    multiplexer.run_turn();
    EXPECT_EQ(clock.waited_ms(), c.wait);
    multiplexer.run_turn();
    EXPECT_EQ(slow.armed.fired + pending.fired, 1);
  }
}

// A deferred call that acts on its second pass of a turn, the one that runs
// after the poll set is built.
struct SecondPass {
  Dpc dpc;
  std::function<void()> act;
  int passes = 0;
  SecondPass() {
    dpc.Bind(this, &SecondPass::run);
    dpc.Activate();
  }
  void run() {
    if (++passes == 2) {
      act();
      dpc.Deactivate();
    }
  }
};

// A turn with no handler whose second deferred pass cancels the last timer
// has nothing left to wait for.
void cancelTheLastTimerInTheSecondPass() {
  Ticker t;
  t.t.set(50, &Ticker::onTick, &t);
  SecondPass second;
  second.act = [&] { t.t.reset(); };
  multiplexer.run_turn();
}

TEST(LoopDeathTest, NothingLeftAfterTheSecondPassIsAHang) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_DEATH(
      {
        TestClock clock;
        LoopRunner loop(false, false);
        cancelTheLastTimerInTheSecondPass();
      },
      "multiplexer: system hang detected!!!");
  // On the real clock too; the alarm ends a poll that would wait for ever
  // without the report.
  EXPECT_DEATH(
      {
        alarm(10);
        LoopRunner loop(false, false);
        cancelTheLastTimerInTheSecondPass();
      },
      "multiplexer: system hang detected!!!");
}

TEST(Loop, TheStateAfterTheSecondPassDecidesTheWait) {
  // What the second pass does (with no handler attached before it, and no
  // timer but the one named), the wait of the turn's poll, and what the
  // next turn sees.
  TestClock clock;
  clock.set_real_wait(1);
  {
    // It arms a timer: no hang, the poll waits for it.
    LoopRunner loop(false, false);
    Ticker t;
    SecondPass second;
    second.act = [&] { t.t.set(40, &Ticker::onTick, &t); };
    uint64_t before = clock.waited_ms();
    multiplexer.run_turn();
    EXPECT_EQ(clock.waited_ms() - before, 40u);
    Ticker keep;  // something to wait for once that timer has fired
    keep.t.set(1000, &Ticker::onTick, &keep);
    multiplexer.run_turn();
    EXPECT_EQ(t.fired, 1);
  }
  {
    // It attaches a handler: no hang, no wait, and the handler is polled
    // from the next turn.
    LoopRunner loop(false, false);
    transport_test::Pipe p;
    ASSERT_EQ(write(p.wr.get(), "x", 1), 1);
    struct Reader {
      int called = 0;
      void onEvent(int, short revents) { called += (revents & POLLIN) ? 1 : 0; }
    } reader;
    Event ready;
    ready.Bind("ready", &Reader::onEvent, &reader);
    SecondPass second;
    second.act = [&] { ready.Schedule(p.rd, POLLIN); };
    uint64_t before = clock.waited_ms();
    multiplexer.run_turn();
    EXPECT_EQ(clock.waited_ms() - before, 0u);
    EXPECT_EQ(reader.called, 0);
    multiplexer.run_turn();
    EXPECT_EQ(reader.called, 1);
  }
}

TEST(Loop, TheWaitCountsTheSecondPassAndAClockStepBack) {
  TestClock clock;
  transport_test::Pipe p;
  Event idle;  // never readable
  idle.Schedule(p.rd, POLLIN);
  {
    // A second pass that takes 60 ms with a timer due at 100 ms: 40 ms left.
    LoopRunner loop;
    Ticker t;
    t.t.set(100, &Ticker::onTick, &t);
    SecondPass second;
    second.act = [&] { clock.advance(60); };
    uint64_t before = clock.waited_ms();
    multiplexer.run_turn();
    EXPECT_EQ(clock.waited_ms() - before, 40u);
    multiplexer.run_turn();
    EXPECT_EQ(t.fired, 1);
  }
  {
    // A timer callback steps the clock back three hours with a timer due
    // 100 ms after it: the wait is capped at one second, after which the
    // next timer pass re-sets the timers.
    LoopRunner loop;
    Ticker later;
    later.t.set(100, &Ticker::onTick, &later);
    struct StepBack {
      TestClock* clock;
      Timer t;
      void onTick() { clock->set_ms(clock->now_ms() - 3 * 3600 * 1000); }
    } step{&clock, {}};
    step.t.set(0, &StepBack::onTick, &step);
    LogCapture log;
    uint64_t before = clock.waited_ms();
    multiplexer.run_turn();
    EXPECT_EQ(clock.waited_ms() - before, 1000u);
    multiplexer.run_turn();
    EXPECT_NE(log.err().find("invalid wait time detected!"), std::string::npos);
    EXPECT_EQ(later.fired, 0);
    multiplexer.run_turn();
    EXPECT_EQ(later.fired, 1);
  }
}

// A callback that takes its time on the test clock and notes its turn.
struct Slow {
  TestClock* clock;
  uint64_t us;
  std::vector<uint64_t>* order;
  void run() {
    clock->advance_us(us);
    order->push_back(us);
  }
  void onEvent(int, short) { run(); }
};

// The last sample and the count of one of the loop's measures ("dpc",
// "event", "timer"), from the status dump.
struct MeasureLine {
  unsigned last = 0, counter = 0;
  explicit MeasureLine(const std::string& name) {
    std::ostringstream dump;
    multiplexer.dump(dump);
    std::istringstream lines(dump.str());
    unsigned min = 0, max = 0;
    for (std::string line; std::getline(lines, line);)
      if (line.compare(0, name.size() + 1, name + " ") == 0)
        std::sscanf(line.c_str() + line.find("min="), "min=%u max=%u avg=%u counter=%u", &min, &max, &last, &counter);
  }
};

TEST(Loop, EachCallbackIsMeasuredOnItsOwn) {
  // Deferred calls and handlers run back to back share clock readings;
  // each is still a sample of its own.
  TestClock clock;
  clock.set_auto_advance(false);
  transport_test::Pipe p;
  ASSERT_EQ(write(p.wr.get(), "x", 1), 1);  // readable: the turn services every handler
  LoopRunner loop;
  std::vector<uint64_t> order;
  Slow d1{&clock, 300, &order}, d2{&clock, 500, &order}, e1{&clock, 700, &order}, e2{&clock, 1100, &order};
  Dpc dpc1, dpc2;
  dpc1.Bind(&d1, &Slow::run);
  dpc2.Bind(&d2, &Slow::run);
  dpc1.Activate();
  dpc2.Activate();
  Event ev1, ev2;
  ev1.Bind("slow 1", &Slow::onEvent, &e1);
  ev2.Bind("slow 2", &Slow::onEvent, &e2);
  ev1.Schedule(p.rd, POLLIN);
  ev2.Schedule(p.rd, POLLIN);
  multiplexer.run_turn();  // attaches the events
  MeasureLine dpcBefore("dpc"), eventBefore("event");
  size_t dpcs = multiplexer.dpc_count(), handlers = multiplexer.handler_count();
  order.clear();
  multiplexer.run_turn();
  // Two passes of the two calls, then the two handlers after the runner's own.
  ASSERT_EQ(order.size(), 6u);
  MeasureLine dpcAfter("dpc"), eventAfter("event");
  EXPECT_EQ(dpcAfter.counter, dpcBefore.counter + 2 * dpcs);
  EXPECT_EQ(dpcAfter.last, order[3]);
  EXPECT_EQ(eventAfter.counter, eventBefore.counter + handlers);
  EXPECT_EQ(eventAfter.last, order[5]);
}

void onAlarm(int) { multiplexer.terminate(); }

TEST(Loop, TerminateFromASignalHandlerEndsRun) {
  transport_test::Pipe p;
  Event idle;
  idle.Schedule(p.rd, POLLIN);
  struct sigaction sa = {};
  sa.sa_handler = onAlarm;
  sigaction(SIGALRM, &sa, nullptr);
  itimerval it{};
  it.it_value.tv_usec = 20000;
  setitimer(ITIMER_REAL, &it, nullptr);
  LogCapture log;
  multiplexer.run(false, true);  // poll without limit until the signal
  EXPECT_EQ(log.log(), "Mux: terminating...\n");
  signal(SIGALRM, SIG_DFL);
}

}  // namespace
