#pragma once
// What the benchmarks that play the controller share: the encoded messages
// that what comes back is compared with, the check of what came, a rate
// counter and the ping, the reference every controller path is measured
// against.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "tests/support/test_controller.h"

namespace bench_support {

// A message as the controller link carries it (aligned PER).
inline std::string encoded(const LGCP::Message& msg) {
  std::vector<char> bytes;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  env.encode(msg, bytes);
  return std::string(bytes.begin(), bytes.end());
}

// The success response, with seq and slot when they are not negative.
inline std::string success(int seq = -1, int slot = -1) {
  LGCP::Message msg;
  if (seq >= 0)
    msg.set_seq(seq);
  if (slot >= 0)
    msg.set_slot(static_cast<unsigned>(slot));
  msg.mutable_pdu().select_response().select_success();
  return encoded(msg);
}

// A payload that is to come `count` times.
struct Expected {
  std::string payload;
  size_t count;
};

// Waits until the payloads of all of `expected` have come and takes them:
// true when these came, in any order, and nothing else. Byte comparisons,
// so that the check costs the measured path next to nothing. A payload
// that is none of them and that `unsolicited` owns (a slot's periodic
// report, say) is dropped and not counted.
inline bool received(testing_support::TpktClient& client, const std::vector<Expected>& expected, int waitMs,
                     bool (*unsolicited)(const std::string&) = nullptr) {
  size_t total = 0;
  for (const Expected& e : expected)
    total += e.count;
  auto isExpected = [&](const std::string& p) {
    return std::any_of(expected.begin(), expected.end(), [&](const Expected& e) { return e.payload == p; });
  };
  bool same = client.wait(total, waitMs);
  while (unsolicited) {
    std::deque<std::string>& held = client.payloads();
    const size_t before = held.size();
    held.erase(std::remove_if(held.begin(), held.end(),
                              [&](const std::string& p) { return !isExpected(p) && unsolicited(p); }),
               held.end());
    if (held.size() == before)
      break;
    same = client.wait(total, waitMs);
  }
  same = same && client.payloads().size() == total;
  for (size_t i = 0; same && i < expected.size(); ++i)
    same = static_cast<size_t>(std::count(client.payloads().begin(), client.payloads().end(), expected[i].payload)) ==
           expected[i].count;
  client.payloads().clear();
  return same;
}

// Items a second: perIteration items in each iteration of the state. No
// figure after an error.
inline void rate(benchmark::State& state, size_t perIteration, const char* name) {
  if (state.error_occurred())
    return;
  state.counters[name] =
      benchmark::Counter(static_cast<double>(state.iterations() * perIteration), benchmark::Counter::kIsRate);
}

// One ping command answered with success per iteration.
inline void ping(benchmark::State& state, testing_support::TestController& ctl, int waitMs,
                 const char* counter = "pings/s", bool (*unsolicited)(const std::string&) = nullptr) {
  LGCP::Message ping;
  ping.mutable_pdu().select_command().select_ping();
  const std::vector<Expected> answer{{success(), 1}};
  for (auto _ : state) {
    ctl.send(ping);
    if (!received(ctl, answer, waitMs, unsolicited)) {
      state.SkipWithError("no answer");
      break;
    }
  }
  rate(state, 1, counter);
}

}  // namespace bench_support
