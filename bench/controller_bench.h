#pragma once
// What the benchmarks that play the controller share: a rate counter and
// the ping, the reference every controller path is measured against.
#include <benchmark/benchmark.h>

#include <cstddef>

#include "tests/support/test_controller.h"

namespace bench_support {

// Items a second: perIteration items in each iteration of the state.
inline void rate(benchmark::State& state, size_t perIteration, const char* name) {
  state.counters[name] =
      benchmark::Counter(static_cast<double>(state.iterations() * perIteration), benchmark::Counter::kIsRate);
}

// One ping command answered per iteration.
inline void ping(benchmark::State& state, testing_support::TestController& ctl, int waitMs) {
  LGCP::Message ping;
  ping.mutable_pdu().select_command().select_ping();
  for (auto _ : state) {
    ctl.send(ping);
    if (!ctl.wait(1, waitMs)) {
      state.SkipWithError("no answer");
      break;
    }
    ctl.payloads().clear();
  }
  rate(state, 1, "pings/s");
}

}  // namespace bench_support
