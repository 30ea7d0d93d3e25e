// The ED-137 control's receive path, which runs for every voice packet
// (about 50 a second per radio position), ns per packet: unpack, state
// and compare of a PTT packet that changes nothing (no report), and of one
// that changes the state, reported to the slot with the controller's
// record built and encoded in aligned PER.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <vector>

#include "asn1/coder_env.h"
#include "foundation/device_io.h"
#include "rtp/ed137_radio_control.h"
#include "simboard/board.h"
#include "tests/support/test_clock.h"

namespace {

// Reports are encoded as the controller link would encode them.
struct Encoder : RTPSignalling::IRadioControlNotify {
  std::vector<char> bytes;
  size_t reports = 0;
  void RadioControlNotify(TERM::RtpRadioRequest const& r) override {
    bytes.clear();
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    env.encode(r, bytes);
    ++reports;
  }
};

struct Control : RTPSignalling::ED137RadioGWControl {
  using ED137RadioGWControl::ED137RadioGWControl;
  // What the read loop does with one payload of a known source.
  void Receive(const uint8_t* payload, size_t length, uint32_t ssrc, uint32_t address) {
    std::memset(&received_, 0, sizeof received_);
    if (r2s_proto_unpack_tx(&received_, payload, length) != 0)
      return;
    received_.source_addr = address;
    received_.source_ssrc = ssrc;
    OnRtpProtoRXEvent(received_);
  }
};

struct Setup {
  SimBoard::Board board;
  testing_support::TestClock clock;  // stands still: no interval passes
  Encoder encoder;
  std::unique_ptr<Control> control;
  Setup() {
    board.add(std::make_unique<SimBoard::Device>("/dev/rtp"));
    Fd rtp(DevIo::open("/dev/rtp", O_RDONLY));
    rtp_ext_attach_session_params attach;
    attach.fd_rtp = rtp.get();
    attach.pid_rtp = -1;
    rtp_ext_init_params init;
    init.etype = 0x0167;
    control.reset(new Control(1, attach, init));
    control->SetNotify(&encoder);
  }
};

void BM_ReceiveUnchanged(benchmark::State& state) {
  Setup s;
  const uint8_t ptt[] = {0x20, 0x40, 0x00, 0x00};  // normal PTT on, id 1
  const uint32_t from = inet_addr("10.0.0.5");
  s.control->Receive(ptt, sizeof ptt, 77, from);  // the first one is reported
  for (auto _ : state)
    s.control->Receive(ptt, sizeof ptt, 77, from);
  if (s.encoder.reports != 1)
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
  if (s.encoder.reports != static_cast<size_t>(state.iterations()))
    state.SkipWithError("a change was not reported");
}
BENCHMARK(BM_ReceiveReported);

}  // namespace

BENCHMARK_MAIN();
