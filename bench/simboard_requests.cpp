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
  uint8_t arg[4];
  uint32_t channel = 8192;
  for (auto _ : state) {
    SimBoard::put_be32(arg, channel);
    channel = channel == 10239 ? 8192 : channel + 1;
    benchmark::DoNotOptimize(DevIo::ioctl(fd, SimBoard::Hal::Disable, arg));
  }
  ::close(fd);
}
BENCHMARK(BM_HalDisable)->Arg(1)->Arg(0);

// One deferred call of the switch refresh with every output disabled: 64
// disable requests from the switch object through the device layer, the
// board's log off as in nodalsrv-sim.
void BM_SwitchRefreshSlice(benchmark::State& state) {
  SimBoard::Board board([](SimBoard::Board& b) { b.log().set_capacity(0); });
  HwMux* mux = HwMux::instance();
  for (auto _ : state)
    mux->OnDPC();
  state.SetItemsProcessed(state.iterations() * HwMux::RefreshSlice);
}
BENCHMARK(BM_SwitchRefreshSlice);

void BM_MccFrameWrite(benchmark::State& state) {
  SimBoard::Board board;
  int fd = DevIo::open("/dev/mcc/ctl", O_RDWR | O_NONBLOCK | O_CLOEXEC);
  SimBoard::Bytes record = SimBoard::words({3, 512, 0, 1, 4});
  DevIo::ioctl(fd, SimBoard::Mcc::Allocate, record.data());
  uint8_t frame[32] = {};
  for (auto _ : state)
    benchmark::DoNotOptimize(DevIo::write(fd, frame, sizeof frame));
  ::close(fd);
}
BENCHMARK(BM_MccFrameWrite);

}  // namespace

BENCHMARK_MAIN();
