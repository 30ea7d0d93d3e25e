#pragma once
// A clock under the test's control. Installed as the loop's time source, it
// returns a stored time; the loop's waits poll the real descriptors (for a
// millisecond of grace at most) and, when nothing is ready, jump the clock
// forward by the wait instead of sleeping (unless auto-advance is off; a
// wait without descriptors always jumps).
#include <cstdint>
#include <deque>

#include "foundation/mux_time.h"

namespace testing_support {

class TestClock : public Mux::TimeSource {
public:
  // Starts at the given time in milliseconds (default: an arbitrary nonzero instant).
  explicit TestClock(uint64_t startMs = 1000000000ull);
  ~TestClock() override;
  TestClock(const TestClock&) = delete;
  TestClock& operator=(const TestClock&) = delete;

  int gettimeofday(Mux::timeval& tv) override;
  int poll(pollfd* fds, nfds_t count, int timeoutMs) override;

  void advance(uint64_t ms) { nowUs_ += ms * 1000u; }
  void advance_us(uint64_t us) { nowUs_ += us; }
  void set_ms(uint64_t ms) { nowUs_ = ms * 1000u; }
  uint64_t now_ms() const { return nowUs_ / 1000u; }

  // With auto-advance on (the default), an idle wait moves the clock by the wait.
  void set_auto_advance(bool on) { autoAdvance_ = on; }
  // Longest real wait, in ms, when nothing is ready and time cannot jump
  // (no timer pending, or auto-advance off): lets other processes catch up.
  void set_real_wait(int ms) { realWaitMs_ = ms; }
  // Real time (ms) granted to traffic in flight before the clock jumps.
  void set_grace(int ms) { graceMs_ = ms; }
  // The next idle waits are cut short by a signal: each ends after the
  // given ms (when shorter than the wait) with EINTR.
  void interrupt_waits(std::deque<uint64_t> afterMs) { interrupts_ = std::move(afterMs); }
  // Sum of the waits the loop asked for.
  uint64_t waited_ms() const { return waitedMs_; }

private:
  uint64_t nowUs_;
  bool autoAdvance_;
  int realWaitMs_;
  int graceMs_;
  uint64_t waitedMs_;
  std::deque<uint64_t> interrupts_;
  Mux::TimeSource* previous_;
  Mux::timeval savedFrozen_;
};

}  // namespace testing_support
