// The ED-137 control's receive path, which runs for every voice packet
// (about 50 a second per radio position), ns per packet: unpack, state
// and compare of a PTT packet that changes nothing (no report), and of one
// that changes the state, reported to the slot with the controller's
// record built and encoded in aligned PER. Heap allocations are counted:
// the first must make none.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <memory>

#include "bench/allocation_count.h"
#include "bench/radio_setup.h"
#include "rtp/ed137_radio_control.h"

namespace {

struct Control : RTPSignalling::ED137RadioGWControl {
  using ED137RadioGWControl::ED137RadioGWControl;
  // What the read loop does with a batch of one payload of a known source.
  void Receive(const uint8_t* payload, size_t length, uint32_t ssrc, uint32_t address) {
    bool pending = false;
    TakePacket(payload, length, ssrc, address, pending);
    if (pending) {
      ++processed;
      OnRtpProtoRXEvent(pending_);
    }
  }
  unsigned long processed = 0;  // packets unpacked and compared with the state
};

struct Setup : bench_support::RadioBoard {
  std::unique_ptr<Control> control;
  Setup() {
    rtp_ext_init_params init;
    init.etype = 0x0167;
    control.reset(new Control(1, attach(-1), init));
    control->SetNotify(&encoder);
  }
};

void BM_ReceiveUnchanged(benchmark::State& state) {
  Setup s;
  const uint8_t ptt[] = {0x20, 0x40, 0x00, 0x00};  // normal PTT on, id 1
  const uint32_t from = inet_addr("10.0.0.5");
  s.control->Receive(ptt, sizeof ptt, 77, from);  // the first one is reported
  const unsigned long before = bench_support::allocations;
  for (auto _ : state)
    s.control->Receive(ptt, sizeof ptt, 77, from);
  if (bench_support::allocations != before)
    state.SkipWithError("the path allocated");
  else if (s.control->processed != static_cast<unsigned long>(state.iterations()) + 1)
    state.SkipWithError("a packet was not taken");
  else if (s.encoder.reports != 1 || s.encoder.failures != 0)
    state.SkipWithError("an unchanged state was reported");
}
BENCHMARK(BM_ReceiveUnchanged);

void BM_ReceiveReported(benchmark::State& state) {
  Setup s;
  const uint8_t on[] = {0x20, 0x40, 0x00, 0x00}, off[] = {0x00, 0x40, 0x00, 0x00};
  const uint32_t from = inet_addr("10.0.0.5");
  bool flip = false;
  for (auto _ : state) {
    s.control->Receive(flip ? on : off, 4, 77, from);
    flip = !flip;
  }
  if (s.encoder.reports != static_cast<size_t>(state.iterations()) || s.encoder.failures != 0)
    state.SkipWithError("a change was not reported");
}
BENCHMARK(BM_ReceiveReported);

}  // namespace

BENCHMARK_MAIN();
