#pragma once
// Stands in for the watchdog driver: records what the loop writes to it.
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/device_io.h"
#include "tests/support/test_clock.h"

struct FakeWatchdog : DevIo::Backend {
  explicit FakeWatchdog(testing_support::TestClock* clock = nullptr) : clock_(clock), previous_(DevIo::install(this)) {}
  ~FakeWatchdog() override { DevIo::install(previous_); }

  int open(const char* path, int flags) override {
    opened.push_back(path);
    errno = ENOENT;
    return fd_ = failOpen ? -1 : ::open("/dev/null", flags);
  }
  ssize_t write(int fd, const void* buf, size_t count) override {
    if (fd != fd_)
      return DevIo::Backend::write(fd, buf, count);
    writes.emplace_back(static_cast<const char*>(buf), count);
    stamps.push_back(clock_ ? clock_->now_ms() : 0);
    errno = EIO;
    return failWrites ? -1 : static_cast<ssize_t>(count);
  }

  std::vector<std::string> opened;
  std::vector<std::string> writes;
  std::vector<uint64_t> stamps;
  bool failOpen = false;
  bool failWrites = false;

  testing_support::TestClock* clock_;
  DevIo::Backend* previous_;
  int fd_ = -1;
};
