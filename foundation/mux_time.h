#pragma once
// The loop's time base: a wrapping 32-bit millisecond clock, timeval
// arithmetic and select() helpers for code that runs outside the loop.
#include <cstdint>
#include <string>
#include <poll.h>
#include <sys/select.h>
#include <sys/time.h>

namespace Mux {

using timeval = ::timeval;

// Where the loop reads the time and waits. The system source uses
// gettimeofday and poll; tests install a controlled clock instead.
class TimeSource {
public:
  virtual ~TimeSource() = default;
  virtual int gettimeofday(timeval& tv) = 0;
  virtual int poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
};

TimeSource& time_source();
// Installs a source (null restores the system one); returns the previous one.
TimeSource* set_time_source(TimeSource* source);

extern timeval g_tv_time;  // frozen time; all zero means live readings

uint32_t milliseconds();
uint32_t microseconds();
// One reading of the clock in both of those units, for code that needs both.
struct Reading {
  uint32_t ms;
  uint32_t us;
};
Reading reading();
uint32_t seconds();
// Stops the whole process for ms milliseconds of the live clock, also when
// signals arrive meanwhile (their handlers run; their work waits).
void pause(unsigned ms);
int mux_settimeofday();
int mux_gettimeofday(timeval& tv);
int gettimeval(timeval& tv);

std::string timevaltostring(const timeval& tv);
int timevalcompare(const timeval& a, const timeval& b);
unsigned long long timevaldiff(const timeval& a, const timeval& b);
int timevaladd(timeval& a, const timeval& b);
int timevaladd2(const timeval& a, const timeval& b, timeval& r);
int timevalsub(timeval& a, const timeval& b);
int timevalsub2(const timeval& a, const timeval& b, timeval& r);
void timevalset(timeval& tv, unsigned long long ms);
timeval make_from_usec(unsigned usec);
timeval make_from_msec(unsigned msec);

class timeval_timer {
public:
  timeval_timer() : start_{0, 0}, period_(0) {}
  void init(const timeval& start, int32_t periodMs) {
    start_ = start;
    period_ = periodMs;
  }
  void init_now(const timeval& start) { start_ = start; }
  bool is_expired(const timeval& now) const {
    if (period_ < 1)
      return false;
    return timevaldiff(start_, now) > static_cast<unsigned long long>(period_);
  }
  void inc() {
    timeval p;
    timevalset(p, static_cast<unsigned long long>(period_));
    timevaladd(start_, p);
  }

private:
  timeval start_;
  int32_t period_;
};

class Set {
public:
  Set() : max_(-1) { FD_ZERO(&set_); }
  void add(int fd) {
    FD_SET(fd, &set_);
    if (fd > max_)
      max_ = fd;
  }
  void clear() {
    FD_ZERO(&set_);
    max_ = -1;
  }
  bool has(int fd) const { return FD_ISSET(fd, &set_); }
  int max_fd() const { return max_; }
  bool empty() const { return max_ < 0; }
  fd_set* get() { return max_ < 0 ? nullptr : &set_; }

private:
  fd_set set_;
  int max_;
};

int max_fd(const Set& a, const Set& b);
int max_fd(const Set& a, const Set& b, const Set& c);
int select(Set& rd);
int select(Set& rd, Set& wr);
int select(Set& rd, Set& wr, Set& ex);
int select(Set& rd, unsigned timeoutMs);
int select(Set& rd, Set& wr, unsigned timeoutMs);
int select(Set& rd, Set& wr, Set& ex, unsigned timeoutMs);
int select_rd(Set& rd, unsigned timeoutMs);
int select_wr(Set& wr, unsigned timeoutMs);

}  // namespace Mux
