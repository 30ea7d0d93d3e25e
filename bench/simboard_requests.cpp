// The simulated board's cost per device request, the part of every daemon
// benchmark that the real board's driver would take: a "/dev/hal" disable
// (the switch refresh makes 128 of them a loop turn), the refresh's own
// deferred call, and a write on an MCC channel (a frame taken by its
// device model).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include "foundation/device_io.h"
#include "hardware/hw_mux.h"
#include "simboard/board.h"
#include "simboard/hal.h"
#include "simboard/mcc.h"

namespace {

// Arg 1: with the request log that tests read; 0: without it (nodalsrv-sim).
void BM_HalDisable(benchmark::State& state) {
  SimBoard::Board board;
  if (!state.range(0))
    board.log().set_capacity(0);
  int fd = DevIo::open("/dev/hal", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    state.SkipWithError("no /dev/hal");
    return;
  }
  uint8_t arg[4];
  uint32_t channel = 8192;
  for (auto _ : state) {
    SimBoard::put_be32(arg, channel);
    channel = channel == 10239 ? 8192 : channel + 1;
    int done = DevIo::ioctl(fd, SimBoard::Hal::Disable, arg);
    benchmark::DoNotOptimize(done);
    if (done != 0) {
      state.SkipWithError("a disable failed");
      break;
    }
  }
  ::close(fd);
}
BENCHMARK(BM_HalDisable)->Arg(1)->Arg(0);

// One deferred call of the switch refresh with every output disabled: 64
// disable requests from the switch object through the device layer, the
// board's log off as in nodalsrv-sim. The board's switch counts the
// disables it carried out.
uint64_t disables(SimBoard::Board& board) {
  uint64_t n = 0;
  for (const auto& output : board.hal().outputs())
    n += output.second.disables;
  return n;
}

void BM_SwitchRefreshSlice(benchmark::State& state) {
  SimBoard::Board board([](SimBoard::Board& b) { b.log().set_capacity(0); });
  HwMux* mux = HwMux::instance();
  const uint64_t before = disables(board);
  for (auto _ : state)
    mux->OnDPC();
  if (disables(board) - before != static_cast<uint64_t>(state.iterations()) * HwMux::RefreshSlice) {
    state.SkipWithError("the refresh did not reach the board");
    return;
  }
  state.SetItemsProcessed(state.iterations() * HwMux::RefreshSlice);
}
BENCHMARK(BM_SwitchRefreshSlice);

void BM_MccFrameWrite(benchmark::State& state) {
  SimBoard::Board board;
  int fd = DevIo::open("/dev/mcc/ctl", O_RDWR | O_NONBLOCK | O_CLOEXEC);
  SimBoard::Bytes record = SimBoard::words({3, 512, 0, 1, 4});
  if (fd < 0 || DevIo::ioctl(fd, SimBoard::Mcc::Allocate, record.data()) != 0 ||
      board.mcc().channel_count() != 1) {
    state.SkipWithError("no MCC channel");
    return;
  }
  uint8_t frame[32] = {};
  for (auto _ : state) {
    ssize_t written = DevIo::write(fd, frame, sizeof frame);
    benchmark::DoNotOptimize(written);
    if (written != static_cast<ssize_t>(sizeof frame)) {
      state.SkipWithError("a write failed");
      break;
    }
  }
  ::close(fd);
}
BENCHMARK(BM_MccFrameWrite);

}  // namespace

BENCHMARK_MAIN();
