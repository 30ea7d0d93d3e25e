#pragma once
// libpri (through its public API only) as an independent Q.921/Q.931 peer
// on one end of a line, run by our event loop on the real clock. It reads
// frames with two FCS octets behind them and writes them with two, which
// its callbacks strip; every frame goes into the capture.
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

extern "C" {
#include <libpri.h>
}

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/timer.h"
#include "tests/signalling/peer_harness.h"

namespace peer_test {

// Q.931 messages for calls with libpri: the type of CONNECT, a SETUP from
// the user side of a primary-rate link, and a SETUP on a basic-rate link.
constexpr uint8_t Connect = 0x07;
const std::vector<uint8_t> PriSetupFromUser = {0x08, 0x02, 0x00, 0x01, 0x05, 0xA1, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18,
                                               0x03, 0xA9, 0x83, 0x81, 0x70, 0x05, 0x81, 0x31, 0x32, 0x33, 0x34};
const std::vector<uint8_t> BriSetup = {0x08, 0x01, 0x01, 0x05, 0xA1, 0x04, 0x03, 0x80, 0x90, 0xA3,
                                       0x18, 0x01, 0x89, 0x70, 0x05, 0x81, 0x31, 0x32, 0x33, 0x34};

// The message type of a Q.931 message, 0 when it has none.
inline uint8_t message_type(const std::vector<uint8_t>& m) {
  return m.size() > 2 && m.size() > 2u + m[1] ? m[2 + m[1]] : 0;
}

class PriPeer {
public:
  PriPeer(int fd, bool bri, int nodetype, Capture& capture) : fd_(fd), capture_(capture) {
    pri_set_message(quiet);
    pri_set_error(quiet);
    pri_ = bri ? pri_new_bri_cb(fd, 0, nodetype, PRI_SWITCH_EUROISDN_E1, io_read, io_write, this)
               : pri_new_cb(fd, nodetype, PRI_SWITCH_EUROISDN_E1, io_read, io_write, this);
    event_.Bind("libpri", &PriPeer::on_readable, this);
    event_.Schedule(Fd(::dup(fd)), POLLIN);
    reschedule();
  }
  ~PriPeer() { event_.Release(); }
  PriPeer(const PriPeer&) = delete;
  PriPeer& operator=(const PriPeer&) = delete;

private:
  static void quiet(struct pri*, char*) {}
  static int io_read(struct pri* pri, void* buf, int len) {
    PriPeer* self = static_cast<PriPeer*>(pri_get_userdata(pri));
    ssize_t n = ::read(self->fd_, buf, static_cast<size_t>(len - 2));
    if (n <= 0)
      return static_cast<int>(n);
    self->capture_.add(buf, static_cast<size_t>(n));
    static_cast<uint8_t*>(buf)[n] = static_cast<uint8_t*>(buf)[n + 1] = 0;
    return static_cast<int>(n + 2);
  }
  static int io_write(struct pri* pri, void* buf, int len) {
    PriPeer* self = static_cast<PriPeer*>(pri_get_userdata(pri));
    self->capture_.add(buf, static_cast<size_t>(len - 2));
    return ::write(self->fd_, buf, static_cast<size_t>(len - 2)) < 0 ? -1 : len;
  }
  void on_readable(int, short) {
    handle(pri_check_event(pri_));
    reschedule();
  }
  void on_timer() {
    handle(pri_schedule_run(pri_));
    reschedule();
  }
  void reschedule() {
    const timeval* next = pri_schedule_next(pri_);
    if (!next) {
      timer_.stop();
      return;
    }
    timeval now;
    gettimeofday(&now, nullptr);
    long long ms = (next->tv_sec - now.tv_sec) * 1000LL + (next->tv_usec - now.tv_usec) / 1000;
    timer_.start(ms > 0 ? static_cast<unsigned>(ms) : 0);
  }
  // A call that rings is answered: CONNECT coming back shows that our SETUP was understood.
  void handle(pri_event* e) {
    if (e && e->e == PRI_EVENT_RING)
      pri_answer(pri_, e->ring.call, e->ring.channel, 1);
  }

  int fd_;
  Capture& capture_;
  struct pri* pri_;
  Event event_;
  MemberTimer<PriPeer> timer_{this, &PriPeer::on_timer};
};

}  // namespace peer_test
