// The daemon's longest loop turn while it idles with a controller connected
// (the monitoring service samples the network interfaces every 2000 ms):
// nodalsrv-sim runs 20 s with a controller that does nothing but ping it
// every 5 ms. A ping that comes
// while the loop is busy waits for the turn to end, so the longest round
// trip bounds the longest turn from outside (on a shared machine it also
// holds the client's own scheduling delays); beside it the median and the
// 99.9th percentile trip, and the longest timer and event callbacks the daemon measured itself over its
// life (start-up included), read from its status dump.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/sim_daemon.h"

namespace {

using Clock = std::chrono::steady_clock;

// The microseconds after "max=" on the dump's line that starts with `label`.
double dumpMaxMs(const std::string& dump, const std::string& label) {
  size_t at = dump.find(label);
  at = at == std::string::npos ? at : dump.find("max=", at);
  return at == std::string::npos ? -1 : std::atof(dump.c_str() + at + 4) / 1000.0;
}

void BM_IdleLongestTurn(benchmark::State& state) {
  constexpr int Seconds = 20;
  for (auto _ : state) {
    testing_support::SimDaemon d;
    testing_support::TestController ctl;
    if (!d.attach(ctl)) {
      state.SkipWithError("nodalsrv-sim did not serve");
      break;
    }
    std::vector<double> trips;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(Seconds);
    bool answered = true;
    for (int seq = 1; answered && Clock::now() < end; ++seq) {
      ctl.payloads().clear();
      Clock::time_point sent = Clock::now();
      ctl.command(seq, -1, [](LGCP::Command& c) { c.select_ping(); });
      const std::string answer = "seq=" + std::to_string(seq) + " success";
      answered = false;
      while (!answered && ctl.wait(1, 5000))
        for (const std::string& line : ctl.drain())
          answered |= line == answer;
      if (!answered)
        break;
      trips.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
      std::this_thread::sleep_until(sent + std::chrono::milliseconds(5));
    }
    if (!answered) {
      state.SkipWithError("a ping went unanswered");
      break;
    }
    kill(d.pid, SIGUSR2);
    const std::string dump = d.eventually("/var/log/server-status", "timer transition measurement")
                                 ? testing_support::readFile(d.root + "/var/log/server-status")
                                 : std::string();
    const double timerMax = dumpMaxMs(dump, "timer transition"), eventMax = dumpMaxMs(dump, "event transition");
    if (timerMax < 0 || eventMax < 0) {
      state.SkipWithError("no status dump");
      break;
    }
    std::sort(trips.begin(), trips.end());
    state.counters["pings"] = static_cast<double>(trips.size());
    state.counters["ping_max_ms"] = trips.back();
    state.counters["ping_p50_ms"] = trips[trips.size() / 2];
    state.counters["ping_p999_ms"] = trips[trips.size() * 999 / 1000];
    state.counters["timer_max_ms"] = timerMax;
    state.counters["event_max_ms"] = eventMax;
  }
}
BENCHMARK(BM_IdleLongestTurn)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
