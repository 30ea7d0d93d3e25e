// The MCC data path: frames per second from a simulated channel to the
// controller (each a `userData` signal) and from the controller to the
// channel (each a `userData` command and its answer), against controller
// pings in the same run. The daemon's loop, with the simulated board, runs
// on its own thread; the benchmark thread is the controller and, for the
// channel's direction, the far end of the channel.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <thread>

#include "bench/control_thread.h"
#include "bench/controller_bench.h"
#include "foundation/dpc.h"
#include "simboard/board.h"
#include "simboard/mcc.h"
#include "slots/mcc_slot.h"
#include "tests/support/test_controller.h"

namespace {

constexpr int WaitMs = 5000;
constexpr size_t Burst = 64;  // frames in flight per iteration

// Hands the slot channel's far end to the benchmark thread once allocated.
struct Publisher {
  SimBoard::Board* board;
  std::atomic<int>* channel;
  Dpc dpc;
  void Check() {
    if (board->mcc().channel_count() > 0) {
      *channel = board->mcc().channel(0).file().sim_fd();
      dpc.Deactivate();
    }
  }
};

// The control server, the MCC factory and the simulated board on the
// daemon's thread, with one MCC data slot (number 1) made at the start.
class Daemon {
public:
  Daemon()
      : loop_([this](bench_support::ControlThread& loop) {
          SimBoard::Board board;
          MccFactory factory;
          Publisher publisher{&board, &channel_, {}};
          publisher.dpc.Bind(&publisher, &Publisher::Check);
          publisher.dpc.Activate();
          loop.serve();
        }) {
    ctl_.connect(loop_.port());
    ctl_.command(1, 1, [](LGCP::Command& c) {
      LGCP::MccParams& m = c.select_create().select_mcc();
      m.set_type(LGCP::MccType::data);
      m.set_mode(LGCP::MccMode::standard);
    });
    up_ = ctl_.wait(1, WaitMs) && ctl_.drain().front() == "seq=1 slot=1 success";
    for (int i = 0; i < WaitMs && channel_ < 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Daemon() {
    loop_.request_stop();
    ctl_.close();  // wakes the loop
    loop_.join();
  }

  bool up() const { return up_ && channel_ >= 0; }
  testing_support::TestController& ctl() { return ctl_; }
  // The simulator's end of the slot's channel.
  int channel() const { return channel_; }

private:
  std::atomic<int> channel_{-1};
  bool up_ = false;
  bench_support::ControlThread loop_;
  testing_support::TestController ctl_;
};

Daemon& daemon() {
  static Daemon d;
  return d;
}

void BM_Ping(benchmark::State& state) { bench_support::ping(state, daemon().ctl(), WaitMs); }
BENCHMARK(BM_Ping)->UseRealTime();

// Frames written at the channel's far end, each read by the slot and sent
// to the controller as it was written.
void BM_ChannelToController(benchmark::State& state) {
  Daemon& d = daemon();
  if (!d.up()) {
    state.SkipWithError("no MCC slot");
    return;
  }
  std::vector<char> frame(static_cast<size_t>(state.range(0)), 'f');
  LGCP::Message up;
  up.set_slot(1);
  up.mutable_pdu().select_signal().select_userData() = frame;
  const std::vector<bench_support::Expected> signals{{bench_support::encoded(up), Burst}};
  for (auto _ : state) {
    for (size_t sent = 0; sent < Burst;) {
      if (::send(d.channel(), frame.data(), frame.size(), MSG_DONTWAIT) >= 0) {
        ++sent;
        continue;
      }
      pollfd p{d.channel(), POLLOUT, 0};
      ::poll(&p, 1, WaitMs);
    }
    if (!bench_support::received(d.ctl(), signals, WaitMs)) {
      state.SkipWithError("frames lost or changed");
      break;
    }
  }
  bench_support::rate(state, Burst, "frames/s");
}
BENCHMARK(BM_ChannelToController)->Arg(64)->Arg(512)->UseRealTime();

// userData commands written to the channel, each answered with success.
void BM_ControllerToChannel(benchmark::State& state) {
  Daemon& d = daemon();
  if (!d.up()) {
    state.SkipWithError("no MCC slot");
    return;
  }
  LGCP::Message data;
  data.set_slot(1);
  data.mutable_pdu().select_command().select_userData() = std::vector<char>(static_cast<size_t>(state.range(0)), 'c');
  const std::vector<bench_support::Expected> answers{{bench_support::success(-1, 1), Burst}};
  for (auto _ : state) {
    for (size_t i = 0; i < Burst; ++i)
      d.ctl().send(data);
    if (!bench_support::received(d.ctl(), answers, WaitMs)) {
      state.SkipWithError("a frame was not taken");
      break;
    }
  }
  bench_support::rate(state, Burst, "frames/s");
}
BENCHMARK(BM_ControllerToChannel)->Arg(64)->Arg(512)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
