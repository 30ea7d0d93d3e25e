#pragma once
// The simulated board, the controlled loop clock and one open "/dev/rtp"
// session for radio controls to attach to.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>

#include "foundation/device_io.h"
#include "foundation/fd.h"
#include "hardware/rtp_records.h"
#include "simboard/board.h"
#include "simboard/rtp_ext.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

namespace radio_testing {

// An address as the driver's records hold it.
inline uint32_t address(const char* dotted) { return ntohl(inet_addr(dotted)); }

class RadioFixture : public ::testing::Test {
protected:
  RadioFixture() { rtp.reset(DevIo::open("/dev/rtp", O_RDONLY | O_CLOEXEC)); }

  // The ED-137 slot's records: profile 0x0167, words {1, 123, K, S}.
  static rtp_ext_init_params init(uint32_t k = 10) {
    rtp_ext_init_params p;
    p.etype = 0x0167;
    p.words[0] = 1;
    p.words[1] = 123;
    p.words[2] = k;
    p.words[3] = 1;
    return p;
  }
  rtp_ext_attach_session_params attach(int32_t tag = -1) const {
    rtp_ext_attach_session_params p;
    p.fd_rtp = rtp.get();
    p.pid_rtp = tag;
    return p;
  }
  // The newest extension session, and a loop that reads it dry.
  SimBoard::RtpExtSession& session() { return *ext.latest(); }
  void read() { loop.until([&] { return session().queued() == 0; }); }

  SimBoard::Board board;
  testing_support::TestClock clock;
  testing_support::LoopRunner loop;
  SimBoard::RtpExt& ext = board.rtp_ext();
  Fd rtp;
};

}  // namespace radio_testing
