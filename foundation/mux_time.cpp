#include "foundation/mux_time.h"

#include <cstdio>
#include <ctime>

namespace Mux {

namespace {

class SystemTimeSource : public TimeSource {
public:
  int gettimeofday(timeval& tv) override { return ::gettimeofday(&tv, nullptr); }
  int poll(pollfd* fds, nfds_t count, int timeoutMs) override { return ::poll(fds, count, timeoutMs); }
};

SystemTimeSource systemSource;
TimeSource* currentSource = &systemSource;

timeval now() {
  timeval tv;
  mux_gettimeofday(tv);
  return tv;
}

uint64_t micros64(const timeval& tv) {
  return static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
}

}  // namespace

timeval g_tv_time = {0, 0};

TimeSource& time_source() { return *currentSource; }

TimeSource* set_time_source(TimeSource* source) {
  TimeSource* previous = currentSource;
  currentSource = source ? source : &systemSource;
  return previous;
}

uint32_t milliseconds() { return static_cast<uint32_t>(micros64(now()) / 1000u); }
uint32_t microseconds() { return static_cast<uint32_t>(micros64(now())); }
Reading reading() {
  uint64_t us = micros64(now());
  return Reading{static_cast<uint32_t>(us / 1000u), static_cast<uint32_t>(us)};
}
uint32_t seconds() { return static_cast<uint32_t>(now().tv_sec); }

void pause(unsigned ms) {
  timeval tv;
  currentSource->gettimeofday(tv);
  const uint64_t start = micros64(tv), length = uint64_t(ms) * 1000u;
  for (;;) {
    currentSource->gettimeofday(tv);
    const uint64_t at = micros64(tv);
    if (at < start || at - start >= length)
      return;  // done, or the clock stepped back: the pause ends rather than starting over
    const uint64_t left = length - (at - start);
    // A signal ends the poll early; the pause goes on for what is left.
    currentSource->poll(nullptr, 0, static_cast<int>((left + 999u) / 1000u));
  }
}

int mux_settimeofday() { return currentSource->gettimeofday(g_tv_time); }

int mux_gettimeofday(timeval& tv) {
  if (g_tv_time.tv_sec != 0 || g_tv_time.tv_usec != 0) {
    tv = g_tv_time;
    return 0;
  }
  return currentSource->gettimeofday(tv);
}

int gettimeval(timeval& tv) {
  mux_gettimeofday(tv);
  return 0;
}

std::string timevaltostring(const timeval& tv) {
  char date[64];
  time_t secs = tv.tv_sec;
  struct tm local;
  localtime_r(&secs, &local);
  strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
  char out[96];
  snprintf(out, sizeof out, "%s.%06ld", date, static_cast<long>(tv.tv_usec));
  return out;
}

int timevalcompare(const timeval& a, const timeval& b) {
  if (a.tv_sec != b.tv_sec)
    return a.tv_sec < b.tv_sec ? -1 : 1;
  if (a.tv_usec != b.tv_usec)
    return a.tv_usec < b.tv_usec ? -1 : 1;
  return 0;
}

unsigned long long timevaldiff(const timeval& a, const timeval& b) {
  if (timevalcompare(b, a) < 0)
    return 0;
  long long ms = (static_cast<long long>(b.tv_sec) - a.tv_sec) * 1000 +
                 (static_cast<long long>(b.tv_usec) - a.tv_usec) / 1000;
  return ms < 0 ? 0 : static_cast<unsigned long long>(ms);
}

int timevaladd2(const timeval& a, const timeval& b, timeval& r) {
  long usec = a.tv_usec + b.tv_usec;
  r.tv_sec = a.tv_sec + b.tv_sec + usec / 1000000;
  r.tv_usec = usec % 1000000;
  return 0;
}

int timevaladd(timeval& a, const timeval& b) { return timevaladd2(a, b, a); }

int timevalsub2(const timeval& a, const timeval& b, timeval& r) {
  long carry = a.tv_usec - b.tv_usec + 1000000;
  r.tv_sec = a.tv_sec - b.tv_sec - 1 + carry / 1000000;
  r.tv_usec = carry % 1000000;
  return 0;
}

int timevalsub(timeval& a, const timeval& b) { return timevalsub2(a, b, a); }

void timevalset(timeval& tv, unsigned long long ms) {
  tv.tv_sec = static_cast<time_t>(ms / 1000);
  tv.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
}

timeval make_from_usec(unsigned usec) {
  timeval tv;
  tv.tv_sec = usec / 1000000;
  tv.tv_usec = usec % 1000000;
  return tv;
}

timeval make_from_msec(unsigned msec) {
  timeval tv;
  timevalset(tv, msec);
  return tv;
}

int max_fd(const Set& a, const Set& b) { return a.max_fd() > b.max_fd() ? a.max_fd() : b.max_fd(); }
int max_fd(const Set& a, const Set& b, const Set& c) {
  int m = max_fd(a, b);
  return c.max_fd() > m ? c.max_fd() : m;
}

namespace {
int doSelect(Set* rd, Set* wr, Set* ex, const unsigned* timeoutMs) {
  int top = -1;
  for (Set* s : {rd, wr, ex})
    if (s && s->max_fd() > top)
      top = s->max_fd();
  timeval tv;
  if (timeoutMs)
    timevalset(tv, *timeoutMs);
  return ::select(top + 1, rd ? rd->get() : nullptr, wr ? wr->get() : nullptr, ex ? ex->get() : nullptr,
                  timeoutMs ? &tv : nullptr);
}
}  // namespace

int select(Set& rd) { return doSelect(&rd, nullptr, nullptr, nullptr); }
int select(Set& rd, Set& wr) { return doSelect(&rd, &wr, nullptr, nullptr); }
int select(Set& rd, Set& wr, Set& ex) { return doSelect(&rd, &wr, &ex, nullptr); }
int select(Set& rd, unsigned timeoutMs) { return doSelect(&rd, nullptr, nullptr, &timeoutMs); }
int select(Set& rd, Set& wr, unsigned timeoutMs) { return doSelect(&rd, &wr, nullptr, &timeoutMs); }
int select(Set& rd, Set& wr, Set& ex, unsigned timeoutMs) { return doSelect(&rd, &wr, &ex, &timeoutMs); }
int select_rd(Set& rd, unsigned timeoutMs) { return doSelect(&rd, nullptr, nullptr, &timeoutMs); }
int select_wr(Set& wr, unsigned timeoutMs) { return doSelect(nullptr, &wr, nullptr, &timeoutMs); }

}  // namespace Mux
