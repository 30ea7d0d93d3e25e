#pragma once
// The control core with an RTP factory asked before the fake one, the
// simulated board's RTP driver behind it, and a UDP socket on the loopback
// interface where the slots' RTCP packets arrive.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <functional>
#include <string>
#include <vector>

#include "messages/TERM/TERM.h"
#include "rtp/rtp_factory.h"
#include "simboard/rtp.h"
#include "simboard/voice.h"
#include "tests/core/control_fixture.h"

namespace control_test {

// A UDP socket on 127.0.0.1 (a port of the system's choosing).
class UdpPort {
public:
  UdpPort() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  unsigned port() const { return port_; }
  // The datagrams that have arrived.
  std::vector<std::string> received() {
    std::vector<std::string> all;
    char buf[2048];
    for (ssize_t n; (n = ::recv(fd_.get(), buf, sizeof buf, 0)) >= 0;)
      all.emplace_back(buf, static_cast<size_t>(n));
    return all;
  }

private:
  Fd fd_;
  unsigned port_;
};

// A port nothing is bound to (for a moment).
inline unsigned FreePort() { return UdpPort().port(); }

class RtpTest : public ControlTest {
protected:
  void SetUp() override {
    ControlTest::SetUp();
    driver.set_channels(4096, 1024);
    driver.fail_open(0);
    driver.clear_failures();
  }
  // The next test's factory asks the driver as it is built.
  void TearDown() override {
    ControlTest::TearDown();
    board.voice().reset();
    board.voice().set_present(true);
  }

  // A G.729 session to 127.0.0.1 whose RTCP packets reach `rtcp`; its own
  // RTCP socket binds next to a free port.
  LGCP::CreateRtpParams Request() {
    LGCP::CreateRtpParams p;
    TERM::RtpParams& rtp = p.mutable_codecRTP();
    rtp.set_payload(TERM::Payload::ptG729);
    rtp.mutable_dhost().set_iaddr("127.0.0.1");
    rtp.mutable_dhost().set_port(rtcp.port() - 1);
    rtp.mutable_shost().set_iaddr("127.0.0.1");
    rtp.mutable_shost().set_port(FreePort() - 1);
    p.set_txPayload(TERM::Payload::ptG729);
    p.set_rxPayload(TERM::Payload::ptG729);
    return p;
  }
  void CreateRtp(int seq, int slot, const LGCP::CreateRtpParams& p) {
    ctl.command(seq, slot, [&](LGCP::Command& c) { c.select_create().select_rtp() = p; });
  }
  // Creates slot n from the request: the answer and the two stream signals.
  std::vector<std::string> Created(int n, const LGCP::CreateRtpParams& p) {
    CreateRtp(n, n, p);
    return replies(3);
  }
  void Ioctl(int seq, int slot, const std::function<void(LGCP::IoctlParams&)>& fill) {
    ctl.command(seq, slot, [&](LGCP::Command& c) { fill(c.select_ioctl()); });
  }
  void Destroy(int seq, int slot) {
    ctl.command(seq, slot, [](LGCP::Command& c) { c.select_destroy(); });
  }

  SimBoard::Rtp& driver = board.rtp();
  UdpPort rtcp;
  RtpFactory factoryRtp;  // constructed after the fake factory: asked first
};

}  // namespace control_test
