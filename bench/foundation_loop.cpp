// Cost of the event loop's turn and of its timers.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

#include "foundation/event.h"
#include "foundation/multiplexer.h"

namespace {

struct Idle {
  int fds[2];
  Event event;
  unsigned long readable = 0;  // calls that found the descriptor readable
  Idle() {
    if (pipe2(fds, O_CLOEXEC) != 0)
      abort();
    event.Bind("idle", &Idle::on, this);
    event.Schedule(Fd(::dup(fds[0])), POLLIN);
  }
  ~Idle() {
    event.Release();
    ::close(fds[0]);
    ::close(fds[1]);
  }
  void on(int, short revents) {
    if (revents & POLLIN)
      ++readable;
  }
};

// One turn with N idle descriptors. One more descriptor stays readable, so
// poll returns at once and the service pass visits every handler: the
// readable one finds it readable every turn, the idle ones never.
void BM_LoopTurn(benchmark::State& state) {
  std::vector<std::unique_ptr<Idle>> idle;
  for (int i = 0; i < state.range(0); ++i)
    idle.emplace_back(new Idle);
  Idle ready;
  if (write(ready.fds[1], "x", 1) != 1)
    abort();
  multiplexer.run_begin(false, true);
  for (auto _ : state)
    multiplexer.run_turn();
  multiplexer.run_end();
  bool quiet = true;
  for (const std::unique_ptr<Idle>& i : idle)
    quiet = quiet && i->readable == 0;
  if (ready.readable != static_cast<unsigned long>(state.iterations()) || !quiet)
    state.SkipWithError("a turn did not serve the descriptors as they were");
}
BENCHMARK(BM_LoopTurn)->Arg(1)->Arg(64)->Arg(512);

struct Sink {
  unsigned long calls = 0;
  void on() { ++calls; }
};

// Arming and firing one timer while N others are pending (an hour away,
// they never fire).
void BM_TimerArmFire(benchmark::State& state) {
  Sink sink, later;
  std::vector<std::unique_ptr<Timer>> pending;
  for (int i = 0; i < state.range(0); ++i) {
    pending.emplace_back(new Timer);
    pending.back()->set(3600000 + static_cast<unsigned>(i), &Sink::on, &later);
  }
  Timer t;
  for (auto _ : state) {
    t.set(0, &Sink::on, &sink);
    multiplexer.timers_schedule();
  }
  if (sink.calls != static_cast<unsigned long>(state.iterations()) || later.calls != 0)
    state.SkipWithError("a timer fired out of time or not at all");
}
BENCHMARK(BM_TimerArmFire)->Arg(10)->Arg(1000)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
