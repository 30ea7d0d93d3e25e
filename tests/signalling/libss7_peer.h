#pragma once
// libss7 (through its public API only) as an independent MTP2/MTP3 peer on
// the far end of a line, run by our event loop on the real clock. libss7
// reads and writes frames with two FCS octets behind them: the shim between
// it and the line adds or strips them, keeps every frame in the capture,
// and paces libss7's writes to one signal unit a millisecond (about the
// rate of a 64 kbit/s time slot; libss7 repeats FISUs as fast as it may).
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
#include "foundation/timer.h"
#include "tests/signalling/capture.h"

namespace peer_test {

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

  bool saw(int event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
  struct ss7* lib() const { return ss7_; }

  std::vector<int> events;  // libss7's events, in order

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
      events.push_back(e->e);
  }

  Fd line_;
  Capture& capture_;
  int peerFd_ = -1;  // libss7's end
  int shimFd_ = -1;
  struct ss7* ss7_ = nullptr;
  Event fromLine_, fromPeer_, toPeer_;
  MemberTimer<Ss7Peer> tick_{this, &Ss7Peer::on_tick};
};

}  // namespace peer_test
