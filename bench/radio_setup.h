#pragma once
// What the radio control benchmarks share: the simulated board with a
// "/dev/rtp" session to attach to, a clock that stands still, and a slot
// stand-in that encodes every report as the controller link would.
#include <fcntl.h>
#include <memory>
#include <vector>

#include "asn1/coder_env.h"
#include "foundation/device_io.h"
#include "foundation/fd.h"
#include "hardware/rtp_records.h"
#include "rtp/radio_control.h"
#include "simboard/board.h"
#include "tests/support/test_clock.h"

namespace bench_support {

struct ReportEncoder : RTPSignalling::IRadioControlNotify {
  std::vector<char> bytes;
  size_t reports = 0;
  size_t failures = 0;  // reports that did not encode
  void RadioControlNotify(TERM::RtpRadioRequest const& r) override {
    bytes.clear();
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    if (!env.encode(r, bytes) || bytes.empty())
      ++failures;
    ++reports;
  }
};

struct RadioBoard {
  SimBoard::Board board;
  testing_support::TestClock clock;  // stands still: no interval passes
  ReportEncoder encoder;
  Fd rtp;
  RadioBoard() {
    board.add(std::make_unique<SimBoard::Device>("/dev/rtp"));
    rtp.reset(DevIo::open("/dev/rtp", O_RDONLY));
  }
  rtp_ext_attach_session_params attach(int32_t tag) const {
    rtp_ext_attach_session_params a;
    a.fd_rtp = rtp.get();
    a.pid_rtp = tag;
    return a;
  }
};

}  // namespace bench_support
