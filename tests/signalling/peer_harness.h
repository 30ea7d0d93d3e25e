#pragma once
// What the tests against independent peers share: the loop on the real
// clock, bounded in time, and the frames of the exchange kept as a pcap
// capture that tshark decodes, finding every frame and nothing malformed or
// suspicious among its expert items.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

#include "foundation/timer.h"
#include "tests/support/external_tools.h"
#include "tests/support/loop_runner.h"

namespace peer_test {

constexpr uint32_t LinkTypeLapd = 203;
constexpr uint32_t LinkTypeMtp2 = 140;

// Frames in both directions with their times.
struct Capture {
  explicit Capture(uint32_t linkType = LinkTypeLapd) : pcap(record({0xa1b2c3d4, 0x00040002, 0, 0, 65535, linkType})) {}

  size_t frames = 0;
  std::string pcap;

  static std::string record(std::initializer_list<uint32_t> words) {
    std::string out;
    for (uint32_t w : words)
      out.append(reinterpret_cast<const char*>(&w), sizeof w);
    return out;
  }
  void add(const void* data, size_t len) {
    timeval now;
    gettimeofday(&now, nullptr);
    uint32_t n = static_cast<uint32_t>(len);
    pcap += record({static_cast<uint32_t>(now.tv_sec), static_cast<uint32_t>(now.tv_usec), n, n});
    pcap.append(static_cast<const char*>(data), len);
    ++frames;
  }
};

// tshark lists every frame, each of the names somewhere, and no error or
// warning among its expert items.
inline void expect_clean_decode(const Capture& capture, const std::vector<std::string>& names) {
  char path[] = "/tmp/peer-capture-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, capture.pcap.data(), capture.pcap.size()), static_cast<ssize_t>(capture.pcap.size()));
  ::close(fd);
  using testing_support::command_output;
  std::string list = command_output(std::string("timeout 60 tshark -r ") + path + " 2>/dev/null");
  std::string expert = command_output(std::string("timeout 60 tshark -r ") + path + " -q -z expert 2>/dev/null");
  unlink(path);
  EXPECT_EQ(static_cast<size_t>(std::count(list.begin(), list.end(), '\n')), capture.frames) << list;
  for (const std::string& name : names)
    EXPECT_NE(list.find(name), std::string::npos) << name << " not in\n" << list;
  EXPECT_EQ(expert.find("Errors ("), std::string::npos) << expert << list;
  EXPECT_EQ(expert.find("Warns ("), std::string::npos) << expert << list;
}

// Turns until pred holds or the seconds have passed. A 10 ms tick keeps
// every turn short, so the bound holds also when nothing else moves.
inline bool within(testing_support::LoopRunner& loop, int seconds, const std::function<bool()>& pred) {
  struct Tick {
    MemberTimer<Tick> timer{this, &Tick::fire};
    void fire() { timer.start(10); }
  } tick;
  tick.fire();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  loop.until([&] { return pred() || std::chrono::steady_clock::now() > deadline; }, 1 << 30);
  return pred();
}

}  // namespace peer_test
