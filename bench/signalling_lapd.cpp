// Cost of the Q.921 data link per frame, tracing off: I-frame throughput of
// two linked links (user and network side) and the handling of one RR.
// Heap allocations are counted too: a frame's path should make none.
#include <benchmark/benchmark.h>

#include "bench/allocation_count.h"
#include "foundation/protocol.h"
#include "hardware/hdlc.h"
#include "signalling/clean_queue.h"
#include "signalling/lapd.h"

using bench_support::allocations;

namespace {

using ISDN::LAPD;
using ISDN::Side;

// One direction of the line: frames wait until delivered.
struct Line : GenericHDLC {
  CleanQueue<Packet, 64> inFlight;
  bool hdlc_transmit(Packet& frame) override { return inFlight.put(frame); }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }
};

struct Top : ProtocolsFamily {
  unsigned long received = 0;
  void on_message(Packet&) override { ++received; }
};

struct End {
  Top top;
  Line line;
  LAPD* lapd;
  explicit End(Side::type side) : lapd(new LAPD(side, 0)) {
    lapd->set_hdlc(&line);
    top.add_protocol_tail(lapd);
  }
};

struct Linked {
  End user{Side::user}, network{Side::network};
  Linked() {
    user.lapd->local_activate();
    pump();
  }
  // Both ends in multiple frame established operation.
  bool established() const { return user.lapd->full_state().state == 6 && network.lapd->full_state().state == 6; }
  void pump() {
    Packet f;
    while (!user.line.inFlight.empty() || !network.line.inFlight.empty()) {
      if (user.line.inFlight.get(&f))
        network.lapd->receive(f);
      if (network.line.inFlight.get(&f))
        user.lapd->receive(f);
    }
  }
};

Packet message() {
  Packet p;
  p.reserve_head(4);
  const unsigned char setup[] = {0x08, 0x02, 0x00, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3,
                                 0x18, 0x03, 0xA9, 0x83, 0x81, 0x70, 0x05, 0x81, 0x31, 0x32};
  p.put(setup, sizeof setup);
  return p;
}

// A window of seven messages from the user side, their I frames, the
// network side's acknowledgements, all delivered.
void BM_IFrameThroughput(benchmark::State& state) {
  Linked link;
  if (!link.established()) {
    state.SkipWithError("link not established");
    return;
  }
  Packet m = message();
  unsigned long before = allocations;
  for (auto _ : state) {
    for (int i = 0; i < 7; ++i)
      link.user.lapd->message(m);
    link.pump();
  }
  const unsigned long allocated = allocations - before;
  if (link.network.top.received != static_cast<unsigned long>(state.iterations()) * 7 || !link.established()) {
    state.SkipWithError("frames lost");
    return;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 7);
  state.counters["allocs/frame"] = static_cast<double>(allocated) / static_cast<double>(state.iterations() * 7);
}
BENCHMARK(BM_IFrameThroughput);

// An RR response acknowledging everything, on an established link: the
// link stays established and sends nothing in reply.
void BM_ReceivedRR(benchmark::State& state) {
  Linked link;
  if (!link.established()) {
    state.SkipWithError("link not established");
    return;
  }
  Packet rr;
  rr.reserve_head(0);
  const unsigned char frame[] = {0x00, 0x01, 0x01, 0x00};
  rr.put(frame, sizeof frame);
  unsigned long before = allocations;
  for (auto _ : state)
    link.user.lapd->receive(rr);
  const unsigned long allocated = allocations - before;
  if (!link.established() || !link.user.line.inFlight.empty()) {
    state.SkipWithError("the RR was not taken as an acknowledgement");
    return;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["allocs/frame"] = static_cast<double>(allocated) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ReceivedRR);

}  // namespace

BENCHMARK_MAIN();
