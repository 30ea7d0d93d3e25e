// Cost of SS7 link control per signal unit, tracing off. The hot path is a
// peer repeating FISUs at line rate (about 1600 a second on a 64 kbit/s
// time slot): handled by the link alone, and read from an HDLC channel of
// the simulated board by the event loop. Heap allocations are counted: a
// FISU's path should make none.
#include <benchmark/benchmark.h>
#include <sys/socket.h>

#include "bench/allocation_count.h"
#include "foundation/multiplexer.h"
#include "foundation/protocol.h"
#include "hardware/hdlc.h"
#include "signalling/slc.h"
#include "simboard/board.h"
#include "simboard/mcc.h"
#include "tests/support/loop_runner.h"

namespace {

using bench_support::allocations;
using SS7::SLC;

const unsigned char Fisu[] = {0xFF, 0xFF, 0x00};

struct Discard : GenericHDLC {
  bool hdlc_transmit(Packet&) override { return true; }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }
};

void feed(SLC* slc, const unsigned char* bytes, unsigned n) {
  Packet p;
  p.reserve_head(0);
  p.put(bytes, n);
  slc->receive(p);
}

// Into service without waiting for a timer: a FISU ends proving.
void into_service(SLC* slc) {
  const unsigned char sio[] = {0xFF, 0xFF, 0x01, 0x00}, sin[] = {0xFF, 0xFF, 0x01, 0x01};
  feed(slc, sio, sizeof sio);
  feed(slc, sin, sizeof sin);
  feed(slc, Fisu, sizeof Fisu);
}

void BM_FisuByTheLink(benchmark::State& state) {
  ProtocolsFamily family;
  Discard wire;
  SLC* slc = new SLC;
  slc->set_hdlc(&wire);
  family.add_protocol_tail(slc);
  into_service(slc);
  if (slc->get_state_id() != SLC::State::InService) {
    state.SkipWithError("link not in service");
    return;
  }
  const unsigned received = slc->statistics().suRx;
  unsigned long before = allocations;
  for (auto _ : state)
    feed(slc, Fisu, sizeof Fisu);
  const unsigned long allocated = allocations - before;
  if (slc->statistics().suRx - received != static_cast<unsigned>(state.iterations()) ||
      slc->get_state_id() != SLC::State::InService) {
    state.SkipWithError("a FISU was not taken in service");
    return;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["allocs/FISU"] = static_cast<double>(allocated) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FisuByTheLink);

// Bursts of 64 FISUs written on the line, read by the loop through the
// HDLC channel and handled by the link.
void BM_FisuFromTheLine(benchmark::State& state) {
  SimBoard::Board board;
  testing_support::LoopRunner loop;
  HDLC hdlc;
  HDLC::Params params = hdlc.params();
  params.tdm = 16;
  hdlc.set_params(params);
  ProtocolsFamily family;
  SLC* slc = new SLC;
  slc->set_hdlc(&hdlc);
  hdlc.bind(slc);
  family.add_protocol_tail(slc);
  if (!hdlc.activate()) {
    state.SkipWithError("no channel");
    return;
  }
  Fd line = board.mcc().channel(0).line();
  into_service(slc);
  if (slc->get_state_id() != SLC::State::InService) {
    state.SkipWithError("link not in service");
    return;
  }
  constexpr unsigned Burst = 64;
  unsigned long before = allocations;
  for (auto _ : state) {
    unsigned target = slc->statistics().suRx + Burst;
    bool sent = true;
    for (unsigned i = 0; i < Burst && sent; ++i)
      sent = ::send(line.get(), Fisu, sizeof Fisu, MSG_DONTWAIT) == static_cast<ssize_t>(sizeof Fisu);
    // Every written FISU is readable at once: turns that find none mean
    // one was lost.
    for (int idle = 0; sent && slc->statistics().suRx < target; ++idle) {
      unsigned taken = slc->statistics().suRx;
      loop.turn();
      if (slc->statistics().suRx > taken)
        idle = 0;
      sent = idle < 100;
    }
    if (!sent) {
      state.SkipWithError("a FISU was lost");
      break;
    }
    char drain[64];
    while (::recv(line.get(), drain, sizeof drain, MSG_DONTWAIT) > 0) {
    }
  }
  const unsigned long allocated = allocations - before;
  if (!state.error_occurred() && slc->get_state_id() != SLC::State::InService)
    state.SkipWithError("link left service");
  if (state.error_occurred())
    return;
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * Burst);
  state.counters["allocs/FISU"] = static_cast<double>(allocated) / static_cast<double>(state.iterations() * Burst);
}
BENCHMARK(BM_FisuFromTheLine);

}  // namespace

BENCHMARK_MAIN();
