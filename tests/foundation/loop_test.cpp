#include <gtest/gtest.h>

#include <csignal>
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
