#include "tests/support/test_clock.h"

#include <cerrno>

namespace testing_support {

TestClock::TestClock(uint64_t startMs)
    : nowUs_(startMs * 1000u), autoAdvance_(true), realWaitMs_(20), graceMs_(1), waitedMs_(0) {
  previous_ = Mux::set_time_source(this);
  savedFrozen_ = Mux::g_tv_time;
  Mux::g_tv_time = Mux::timeval{0, 0};
}

TestClock::~TestClock() {
  Mux::set_time_source(previous_);
  Mux::g_tv_time = savedFrozen_;
}

int TestClock::gettimeofday(Mux::timeval& tv) {
  tv.tv_sec = static_cast<time_t>(nowUs_ / 1000000u);
  tv.tv_usec = static_cast<suseconds_t>(nowUs_ % 1000000u);
  return 0;
}

int TestClock::poll(pollfd* fds, nfds_t count, int timeoutMs) {
  int n = ::poll(fds, count, 0);
  if (n != 0 || timeoutMs == 0)
    return n;
  // Before time jumps, give data already on its way (loopback traffic that
  // a busy machine delivers late) a moment of real time to arrive, so that
  // a time limit never runs out ahead of it.
  if (autoAdvance_ && timeoutMs > 0 && graceMs_ > 0) {
    n = ::poll(fds, count, graceMs_);
    if (n != 0)
      return n;
  }
  // A wait without descriptors is a pure sleep (the pause after the
  // controller is lost): its time passes even when idle waits do not jump.
  const bool jump = timeoutMs > 0 && (autoAdvance_ || count == 0);
  if (jump && !interrupts_.empty()) {
    uint64_t after = interrupts_.front();
    interrupts_.pop_front();
    if (after < static_cast<uint64_t>(timeoutMs)) {
      advance(after);
      waitedMs_ += static_cast<uint64_t>(timeoutMs);
      errno = EINTR;
      return -1;
    }
  }
  if (jump) {
    advance(static_cast<uint64_t>(timeoutMs));
    waitedMs_ += static_cast<uint64_t>(timeoutMs);
    return 0;
  }
  int wait = realWaitMs_;
  if (timeoutMs > 0 && timeoutMs < wait)
    wait = timeoutMs;
  return ::poll(fds, count, wait);
}

}  // namespace testing_support
