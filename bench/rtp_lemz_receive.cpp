// The LEMZ control's receive path, ns per received packet, trace off:
// - a run of identical packets from one source: unpack and the comparison
//   with the pending packet, which the next one replaces (nothing processed);
// - packets that change type every time, each processed (state decoded,
//   access checked) and refused while another workstation transmits: no report;
// - packets processed and reported, the controller's record built and
//   encoded in aligned PER.
// Heap allocations are counted: the first two must make none.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <memory>

#include "bench/allocation_count.h"
#include "bench/radio_setup.h"
#include "rtp/lemz_radio_control.h"

namespace {

using bench_support::allocations;

struct Control : RTPSignalling::LemzRadioGWControl {
  using LemzRadioGWControl::LemzRadioGWControl;
  using LemzRadioGWControl::TakePacket;
  using LemzRadioGWControl::received_;
  // Packets processed (their access decided), and refused.
  bool AccessFormChanToRadio(RTPSignalling::LemzRadioState const& s) override {
    ++processed;
    bool allowed = LemzRadioGWControl::AccessFormChanToRadio(s);
    refused += !allowed;
    return allowed;
  }
  unsigned long processed = 0, refused = 0;
};

struct Setup : bench_support::RadioBoard {
  std::unique_ptr<Control> control;
  bool pending = false;
  Setup() {
    rtp_ext_init_params init;
    init.etype = 0x1337;
    control.reset(new Control(1, attach(1), init));
    control->SetNotify(&encoder);
  }
  // Another workstation transmits.
  void transmitting() {
    TERM::RadioModifier m;
    TERM::LemzRadioModifier& l = m.select_lemz();
    l.mutable_addr().set_session_addr("10.0.0.1");
    TERM::RadioCommandWMTrans& t = l.mutable_params().select_wm_trans();
    t.mutable_flags().set_prio(0);
    t.mutable_flags().set_ptt(true);
    t.set_ip("10.0.0.5");
    control->SendASNToChan(m);
  }
  void take(const uint8_t* packet, uint32_t from) { control->TakePacket(packet, 8, 77, from, pending); }
};

const uint8_t Squelch[] = {0x0B, 0x50, 0x00, 0x00, 42, 0, 0, 0};  // GW_ADJUST_SQUELSHE
const uint8_t Bss[] = {0x04, 0x50, 0x00, 0x00, 0, 0, 0, 0};       // GW_FLAG_BSS
const uint8_t Sh[] = {0x06, 0x50, 0x00, 0x00, 0, 0, 0, 0};        // GW_FLAG_SH

void BM_ReceiveCoalesced(benchmark::State& state) {
  Setup s;
  const uint32_t from = inet_addr("10.0.0.9");
  s.take(Squelch, from);
  s.control->received_ = {};  // the loop's packets unpack into it again
  const unsigned long before = allocations;
  for (auto _ : state)
    s.take(Squelch, from);
  if (allocations != before)
    state.SkipWithError("the path allocated");
  else if (!s.pending || s.control->received_.source_addr != from)
    state.SkipWithError("a packet was not taken");
  else if (s.control->processed != 0 || s.encoder.reports != 0)
    state.SkipWithError("a coalesced packet was processed");
}
BENCHMARK(BM_ReceiveCoalesced);

void BM_ReceiveRefused(benchmark::State& state) {
  Setup s;
  s.transmitting();
  const uint32_t from = inet_addr("10.0.0.9");
  bool flip = false;
  const unsigned long before = allocations;
  for (auto _ : state) {
    s.take(flip ? Bss : Sh, from);
    flip = !flip;
  }
  // Each packet but the last, still pending, was processed.
  if (allocations != before)
    state.SkipWithError("the path allocated");
  else if (s.control->refused != s.control->processed ||
           s.control->refused + 1 != static_cast<unsigned long>(state.iterations()))
    state.SkipWithError("a packet was not processed and refused");
  else if (s.encoder.reports != 0)
    state.SkipWithError("a refused packet was reported");
}
BENCHMARK(BM_ReceiveRefused);

void BM_ReceiveReported(benchmark::State& state) {
  Setup s;
  const uint32_t from = inet_addr("10.0.0.9");
  bool flip = false;
  s.take(Sh, from);
  for (auto _ : state) {
    s.take(flip ? Sh : Bss, from);
    flip = !flip;
  }
  if (s.encoder.reports != static_cast<size_t>(state.iterations()) || s.encoder.failures != 0)
    state.SkipWithError("a packet was not reported");
}
BENCHMARK(BM_ReceiveReported);

}  // namespace

BENCHMARK_MAIN();
