// The signalling slots end to end: a controller creates them in
// nodalsrv-sim, and an SS7 link on E1 time slot 16 carries MTP3 messages
// between the controller and an independent MTP2/MTP3 implementation
// (libss7, through its public API only) on the simulated line, run by our
// event loop on the real clock. libss7 reads and writes frames with two FCS
// octets behind them: the shim between it and the line adds or strips
// them, keeps every frame in the capture, and paces libss7's writes to one
// signal unit a millisecond (about the rate of a 64 kbit/s time slot;
// libss7 repeats FISUs as fast as it may).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

extern "C" {
#include <libss7.h>
}

#include "foundation/event.h"
#include "foundation/fd.h"
#include "tests/signalling/peer_harness.h"
#include "tests/support/line_listener.h"
#include "tests/support/loop_runner.h"
#include "tests/support/sim_e2e.h"

// libss7 keeps its links after ss7_destroy: what it keeps is not our leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libss7\n"; }

using namespace peer_test;
using testing_support::exchange;
using testing_support::TestController;
using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

namespace {

// MTP3 network test messages (ITU): service information octet, routing
// label (DPC, OPC and SLS in 32 bits, low octet first), heading, SLC and
// length of the test pattern, test pattern.
constexpr uint8_t SltmHeading = 0x11, SltaHeading = 0x21, TraHeading = 0x17;

inline std::vector<uint8_t> sltm(unsigned dpc, unsigned opc, unsigned slc, const std::vector<uint8_t>& pattern) {
  uint32_t label = (dpc & 0x3FFF) | (opc & 0x3FFF) << 14 | (slc & 15) << 28;
  std::vector<uint8_t> m(7 + pattern.size());
  const uint8_t head[] = {0x81, uint8_t(label), uint8_t(label >> 8), uint8_t(label >> 16), uint8_t(label >> 24),
                          SltmHeading, uint8_t(pattern.size() << 4 | (slc & 15))};
  std::copy(head, head + 7, m.begin());
  std::copy(pattern.begin(), pattern.end(), m.begin() + 7);
  return m;
}

// The heading of a network management (SI 0) or test (SI 1) message.
inline uint8_t heading(const std::vector<uint8_t>& msu) { return msu.size() > 5 && (msu[0] & 15) < 2 ? msu[5] : 0; }

// What MTP3 answers to a test message (the acknowledgement) and to the
// traffic restart allowed of a restarting neighbour (its own): the same
// message with the point codes swapped; empty for anything else.
inline std::vector<uint8_t> answer_for(const std::vector<uint8_t>& msu) {
  uint8_t h = heading(msu);
  if (h != SltmHeading && h != TraHeading)
    return {};
  std::vector<uint8_t> a = msu;
  uint32_t label = uint32_t(a[1]) | uint32_t(a[2]) << 8 | uint32_t(a[3]) << 16 | uint32_t(a[4]) << 24;
  uint32_t dpc = label & 0x3FFF, opc = label >> 14 & 0x3FFF;
  label = (label & 0xF0000000u) | opc | dpc << 14;
  for (int i = 0; i < 4; ++i)
    a[1 + i] = uint8_t(label >> (8 * i));
  if (h == SltmHeading)
    a[5] = SltaHeading;
  return a;
}

class Ss7Peer {
public:
  // The peer is point code pc; our end is adjacent, on signalling link slc.
  Ss7Peer(Fd line, unsigned pc, unsigned adjacent, unsigned slc, Capture& capture)
      : line_(std::move(line)), capture_(capture) {
    int pair[2];
    ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair);
    peerFd_ = pair[0];
    shimFd_ = pair[1];
    ss7_set_message(quiet);
    ss7_set_error(quiet);
    ss7_ = ss7_new(SS7_ITU);
    ss7_set_network_ind(ss7_, SS7_NI_NAT);
    ss7_set_pc(ss7_, pc);
    ss7_add_link(ss7_, SS7_TRANSPORT_DAHDIDCHAN, peerFd_, static_cast<int>(slc), adjacent);
    fromLine_.Bind("ss7 line", &Ss7Peer::on_line, this);
    fromLine_.Schedule(line_, POLLIN);
    fromPeer_.Bind("ss7 peer", &Ss7Peer::on_peer_wrote, this);
    fromPeer_.Schedule(Fd(::dup(shimFd_)), POLLIN);
    toPeer_.Bind("ss7 peer reads", &Ss7Peer::on_peer_readable, this);
    toPeer_.Schedule(Fd(::dup(peerFd_)), POLLIN);
    ss7_start(ss7_);
    tick_.start(1);
  }
  ~Ss7Peer() { close(); }
  Ss7Peer(const Ss7Peer&) = delete;
  Ss7Peer& operator=(const Ss7Peer&) = delete;

  // The peer goes away: libss7 and every descriptor of its side close, and
  // the line ends.
  void close() {
    if (!ss7_)
      return;
    tick_.stop();
    fromLine_.Release();
    fromPeer_.Release();
    toPeer_.Release();
    ss7_destroy(ss7_);
    ss7_ = nullptr;
    ::close(peerFd_);
    ::close(shimFd_);
    ::shutdown(line_.get(), SHUT_RDWR);
    line_.close();
  }

  bool up = false;  // libss7 has reported the link up

private:
  static void quiet(struct ss7*, char*) {}

  void on_line(int fd, short) {
    uint8_t frame[300];
    ssize_t n = ::recv(fd, frame, sizeof frame - 2, MSG_DONTWAIT);
    if (n <= 0)
      return;
    capture_.add(frame, static_cast<size_t>(n));
    frame[n] = frame[n + 1] = 0;
    ::send(shimFd_, frame, static_cast<size_t>(n) + 2, MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  void on_peer_wrote(int fd, short) {
    uint8_t frame[300];
    ssize_t n = ::recv(fd, frame, sizeof frame, MSG_DONTWAIT);
    if (n <= 2)
      return;
    capture_.add(frame, static_cast<size_t>(n - 2));
    ::send(line_.get(), frame, static_cast<size_t>(n - 2), MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  void on_peer_readable(int, short) {
    ss7_read(ss7_, peerFd_);
    take_events();
  }
  void on_tick() {
    if (ss7_pollflags(ss7_, peerFd_) & POLLOUT)
      ss7_write(ss7_, peerFd_);
    timeval* next = ss7_schedule_next(ss7_);
    timeval now;
    gettimeofday(&now, nullptr);
    if (next && (next->tv_sec < now.tv_sec || (next->tv_sec == now.tv_sec && next->tv_usec <= now.tv_usec)))
      ss7_schedule_run(ss7_);
    take_events();
    tick_.start(1);
  }
  void take_events() {
    while (ss7_event* e = ss7_check_event(ss7_))
      up = up || e->e == SS7_EVENT_UP;
  }

  Fd line_;
  Capture& capture_;
  int peerFd_ = -1;  // libss7's end
  int shimFd_ = -1;
  struct ss7* ss7_ = nullptr;
  Event fromLine_, fromPeer_, toPeer_;
  MemberTimer<Ss7Peer> tick_{this, &Ss7Peer::on_tick};
};

constexpr unsigned OurPc = 1, PeerPc = 2, Link = 0;

class SignallingE2E : public testing_support::SimE2E {
protected:
  void userData(int seq, int slot, const Bytes& bytes) {
    SimE2E::userData(seq, slot, std::vector<char>(bytes.begin(), bytes.end()));
  }
};

// The controller plays MTP3 over the PSTN slot: it tests the link once in
// service and answers libss7's link test and traffic restart.
TEST_F(SignallingE2E, Ss7LinkOnTimeSlot16CarriesMsusToAndFromAPeer) {
  testing_support::LineListener lines(d.root + "/sim/lines");
  ASSERT_TRUE(lines.bound());
  trunk(1, 1, 16);
  create(2, 2, [](LGCP::CreateParams& p) {
    LGCP::SS7Params& s = p.select_pstn().select_ss7();
    s.set_trunk(1);
    s.set_slc(Link);
    s.set_dpc(PeerPc);
    s.set_opc(OurPc);
    s.set_emergency(true);
  });
  connect(3, 1, 2);
  EXPECT_EQ(exchange(ctl, 6), (Lines{"seq=1 slot=1 success", "slot=1 signal transmitter active 16",
                                     "slot=1 signal receiver active 16", "seq=2 slot=2 success",
                                     "slot=2 signal receiver active -1", "seq=3 slot=1 success"}));
  std::string text;
  Fd line = lines.take(text, testing_support::SimWait);
  ASSERT_TRUE(line);
  EXPECT_EQ(text.substr(0, 3), "16 ");

  testing_support::LoopRunner loop;
  Capture capture(LinkTypeMtp2);
  Ss7Peer peer(line, PeerPc, OurPc, Link, capture);
  int seq = 10;
  bool activated = false, answered = false, deactivated = false;
  std::vector<Bytes> fromPeer;
  // What the controller receives: the link's state and the peer's MSUs.
  auto controller = [&] {
    ctl.poll();
    for (const std::string& payload : ctl.payloads()) {
      LGCP::Message msg;
      if (!TestController::decode(payload, msg) || !msg.get_pdu().is_signal())
        continue;
      const LGCP::Signal& s = msg.get_pdu().get_signal();
      deactivated = deactivated || s.is_deactivated();
      if (s.is_activated()) {
        activated = true;
        userData(seq++, 2, sltm(PeerPc, OurPc, Link, {0x11, 0x22, 0x33}));
      } else if (s.is_userData()) {
        Bytes m(s.get_userData().begin(), s.get_userData().end());
        fromPeer.push_back(m);
        Bytes answer = answer_for(m);
        if (!answer.empty())
          userData(seq++, 2, answer);
        answered = answered || heading(m) == SltaHeading;
      }
    }
    ctl.payloads().clear();
    return activated && answered && peer.up;
  };
  ASSERT_TRUE(within(loop, 30, controller));
  EXPECT_NE(fromPeer.end(), std::find_if(fromPeer.begin(), fromPeer.end(), [](const Bytes& m) {
              return heading(m) == SltmHeading;
            }));
  // The peer goes: the link fails and says so.
  peer.close();
  ASSERT_TRUE(within(loop, 10, [&] { return controller(), deactivated; }));
  expect_clean_decode(capture, {"SLTM", "SLTA"});
}

// Every other signalling kind is created, the raw HDLC slot wired to a
// trunk, and all destroyed.
TEST_F(SignallingE2E, EveryKindIsCreated) {
  trunk(1, 1, 20);
  ASSERT_EQ(exchange(ctl, 3).size(), 3u);
  create(2, 2, [](LGCP::CreateParams& p) {
    LGCP::HdlcParams& h = p.select_hdlcParams();
    h.set_trunk(1);
    h.set_log(0);
    h.set_address(7);
  });
  create(3, 3, [](LGCP::CreateParams& p) {
    LGCP::IsdnParams& i = p.select_isdn();
    i.set_type(LGCP::IsdnType::bri);
    i.set_trunk(1);
    i.set_log(0);
    i.mutable_side().select_user();
  });
  create(4, 4, [](LGCP::CreateParams& p) {
    LGCP::AtsQsigParams& q = p.select_ats_qsig();
    q.mutable_side().select_user();
    q.set_log(0);
  });
  create(5, 5, [](LGCP::CreateParams& p) {
    LGCP::AtsQsigBParams& b = p.select_ats_qsig_b();
    b.set_slot(4);
    b.set_subslot(1);
  });
  create(6, 6, [](LGCP::CreateParams& p) { p.select_pstn().select_cas().set_trunk(1); });
  EXPECT_EQ(exchange(ctl, 5), (Lines{"seq=2 slot=2 success", "seq=3 slot=3 success", "seq=4 slot=4 success",
                                     "seq=5 slot=5 success", "seq=6 slot=6 success"}));
  connect(7, 1, 2);
  EXPECT_EQ(exchange(ctl, 2), (Lines{"slot=2 signal receiver active -1", "seq=7 slot=1 success"}));
  EXPECT_TRUE(d.shows("/sim/switch", "20 connected "));
  for (int slot : {5, 4, 3, 6, 2})
    destroy(10 + slot, slot);
  Lines gone = exchange(ctl, 10);
  EXPECT_EQ(std::count_if(gone.begin(), gone.end(), [](const std::string& l) { return l.find(" success") != std::string::npos; }),
            10);
}

}  // namespace
