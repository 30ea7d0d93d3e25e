// Our data links on their own, without a slot, against an independent
// Q.921/Q.931 implementation (libpri, through its public API only) over a
// SOCK_SEQPACKET socket pair, on the real clock and bounded in time: user
// and network side on a primary-rate link, and both ends of the TEI
// procedure on a basic-rate bus. Each exchange is saved as a LAPD capture
// and decoded by tshark, which must find nothing malformed or suspicious.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

#include "foundation/event.h"
#include "signalling/lapd.h"
#include "signalling/lapd_nt.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/signalling/libpri_peer.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"

// libpri has no call to free a D channel: what it keeps is not our leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libpri\n"; }

using namespace lapd_test;
using namespace peer_test;
using ISDN::LAPD;
using ISDN::LAPD_NT;
using ISDN::Side;

namespace {

// Our end of the pair: the HDLC channel of an ISDN::LAPD, or the bottom of
// the family that carries an ISDN::LAPD_NT.
struct Ours : Upper, GenericHDLC {
  int fd;
  Event event;
  std::function<void(Packet&)> deliver;

  explicit Ours(int f) : fd(f) {
    event.Bind("ours", &Ours::on_readable, this);
    event.Schedule(Fd(::dup(fd)), POLLIN);
  }
  ~Ours() override { event.Release(); }
  bool hdlc_transmit(Packet& frame) override {
    return ::write(fd, frame.data(), frame.length()) == static_cast<ssize_t>(frame.length());
  }
  bool is_open() const override { return true; }
  bool is_ready() const override { return true; }
  void transmit(Packet& frame) override { hdlc_transmit(frame); }
  void on_readable(int, short) {
    for (;;) {
      Packet p;
      p.reserve_head(8);
      ssize_t n = ::read(fd, p.tail_room(), 1024);
      if (n <= 0)
        return;
      p.extend(static_cast<unsigned>(n));
      deliver(p);
    }
  }
  // A layer-3 message of the type came up.
  bool got(uint8_t type) const {
    for (const Bytes& m : up)
      if (message_type(m) == type)
        return true;
    return false;
  }
};

struct Exchange {
  int fds[2] = {-1, -1};
  Capture capture;
  testing_support::LoopRunner loop;
  testing_support::LogCapture quiet;

  Exchange() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0); }
  ~Exchange() {
    ::close(fds[0]);
    ::close(fds[1]);
  }
  bool until(const std::function<bool()>& pred) { return within(loop, 10, pred); }
};

// A Q.921 link on the given side, traced (log level 3), over our end.
LAPD* link_on(Ours& ours, Side::type side, bool bri) {
  LAPD* lapd = new LAPD(side, 3);
  lapd->set_hdlc(&ours);
  if (bri)
    lapd->change_to_bri();
  ours.add_protocol_tail(lapd);
  ours.deliver = [lapd](Packet& p) { lapd->receive(p); };
  return lapd;
}

TEST(LapdLibpri, PointToPointEstablishmentAndCallBothSides) {
  for (Side::type side : {Side::user, Side::network}) {
    SCOPED_TRACE(side == Side::user ? "we are the user side" : "we are the network side");
    Exchange x;
    Ours ours(x.fds[0]);
    LAPD* lapd = link_on(ours, side, false);
    PriPeer peer(x.fds[1], false, side == Side::user ? PRI_NETWORK : PRI_CPE, x.capture);
    if (side == Side::user)
      lapd->local_activate();
    ASSERT_TRUE(x.until([&] { return ours.activations > 0 && lapd->full_state().state == 6; }));
    from_above(lapd, PriSetupFromUser);
    ASSERT_TRUE(x.until([&] { return ours.got(Connect); }));
    EXPECT_TRUE(ours.statuses.empty()) << ours.statuses[0];
    expect_clean_decode(x.capture, {"SABME", "SETUP", "CONNECT"});
  }
}

TEST(LapdLibpri, BasicRateUserGetsItsTeiFromTheNetwork) {
  Exchange x;
  Ours ours(x.fds[0]);
  LAPD* lapd = link_on(ours, Side::user, true);
  PriPeer peer(x.fds[1], true, PRI_NETWORK, x.capture);
  lapd->local_activate();
  ASSERT_TRUE(x.until([&] { return lapd->full_state().state == 6; }));
  EXPECT_GE(lapd->full_state().selfTEI, 64);
  from_above(lapd, BriSetup);
  ASSERT_TRUE(x.until([&] { return ours.got(Connect); }));
  expect_clean_decode(x.capture, {"Identity Request", "Identity Assigned", "SETUP", "CONNECT"});
}

TEST(LapdLibpri, NetworkSideAssignsChecksAndRoutes) {
  Exchange x;
  Ours ours(x.fds[0]);
  LAPD_NT* nt = new LAPD_NT;
  ours.add_protocol_tail(nt);
  ours.deliver = [nt](Packet& p) { nt->receive(p); };
  PriPeer peer(x.fds[1], true, PRI_CPE, x.capture);
  nt->local_activate();
  from_above(nt, BriSetup);  // broadcast; the terminal answers on its own TEI
  ASSERT_TRUE(x.until([&] { return ours.got(Connect); }));
  ASSERT_NE(nt->find_Tei(64), nullptr);
  nt->check_all_Tei();
  ASSERT_TRUE(nt->find_Tei(64)->check());
  ASSERT_TRUE(x.until([&] { return nt->find_Tei(64) && !nt->find_Tei(64)->check(); }));
  expect_clean_decode(x.capture, {"Identity Request", "Identity Assigned", "Identity Check Response", "SETUP",
                                  "CONNECT"});
}

}  // namespace
