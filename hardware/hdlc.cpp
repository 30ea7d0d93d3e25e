#include "hardware/hdlc.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>

#include "core/traces.h"
#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "hardware/hw_mux.h"
#include "hardware/mcc_ctl.h"

namespace {

// The controller's channel type for each mode.
int TypeCode(int32_t mode) {
  switch (mode) {
  case 0:
    return MccCtl::Ss7;
  case 1:
    return MccCtl::Data;
  case 2:
    return MccCtl::Bri;
  default:
    return -1;
  }
}

class NoReceiver : public HDLC::Notify {
public:
  void on_hdlc_receive(Packet&) override {}
  void on_hdlc_error(Cause::Type) override {}
  void on_hdlc_ready() override {}
};

}  // namespace

HDLC::HDLC() : ready_(false), log_(0), trunk_(0), notify_(nullptr) {
  event_.Bind("HDLC::OnEvent", &HDLC::on_event, this);
  unbind();
}

void HDLC::unbind() {
  static NoReceiver nobody;
  notify_ = &nobody;
}

void HDLC::bind(Notify* receiver) {
  if (receiver)
    notify_ = receiver;
  else
    unbind();
}

void HDLC::PutHeader(std::ostream& out) const {
  out << "hdlc" << " [" << trunk_ << "/" << static_cast<uint32_t>(params_.timeslot) << "]: ";
}

bool HDLC::activate() {
  deactivate();
  stats_ = Stats();

  int type = TypeCode(params_.mode);
  if (type < 0) {
    std::cerr << ext::header(this) << "unsupported mode " << params_.mode << std::endl;
    return false;
  }
  Fd fd = MccCtl::Open(O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (!fd) {
    int err = errno;
    std::cerr << ext::header(this) << "fail to open MCC device: " << strerror(err) << std::endl;
    return false;
  }
  if (!MccCtl::Allocate(fd, MccCtl::Allocation{static_cast<uint32_t>(type), 512, 1, 4})) {
    int err = errno;
    std::cerr << ext::header(this) << "MCC_ALLOCATE fail: " << strerror(err) << std::endl;
    return false;
  }
  int channel = MccCtl::Timeslot(fd);
  if (channel < 0) {
    int err = errno;
    std::cerr << ext::header(this) << "MCC_TIMESLOT fail: " << strerror(err) << std::endl;
    return false;
  }

  HwMux* mux = HwMux::instance();
  mux->Connect(channel, params_.mode == 2 ? params_.tdm2 : params_.tdm);
  mux->Connect(params_.tdm, channel);

  // The event keeps a duplicate; the descriptor opened here closes with fd.
  event_.Schedule(fd, POLLIN | POLLOUT);
  ready_ = false;
  if (traces.hdlc)
    std::clog << ext::header(this) << "activated" << std::endl;
  return true;
}

void HDLC::deactivate() {
  event_.Release();
  ready_ = false;
  if (traces.hdlc)
    std::clog << ext::header(this) << "deactivated" << std::endl;
}

void HDLC::on_event(int, short revents) {
  if (revents & POLLIN)
    do_read();
  // A channel closed while reading has nothing to become ready for.
  if ((revents & POLLOUT) && !ready_ && is_open()) {
    ready_ = true;
    event_.Schedule(event_.fd(), POLLIN);
    notify_->on_hdlc_ready();
  }
}

void HDLC::do_read() {
  if (traces.hdlc)
    std::clog << ext::header(this) << "do_read" << std::endl;
  if (!is_open()) {
    std::clog << ext::header(this) << "do_read: !m_event.IsActive()" << std::endl;
    return;
  }
  do {
    Packet frame;
    ssize_t n = intake_.read(event_.fd().get(), frame);
    if (n <= 0) {
      // A read of nothing is no frame and no "try again": the channel is broken.
      int err = n < 0 ? errno : ENODATA;
      if (err == EAGAIN)
        return;
      std::cerr << ext::header(this) << "read error: " << strerror(err) << std::endl;
      deactivate();
      notify_->on_hdlc_error(Notify::Cause::ReadError);
      return;
    }
    if (frame.null()) {
      if (intake_.drops_began())
        std::cerr << ext::header(this) << "no packet buffer free: frames dropped (" << intake_.dropped() << " in all)"
                  << std::endl;
      continue;
    }
    if (traces.hdlc)
      std::clog << "HDLC[" << trunk_ << "]: rx " << frame.text() << std::endl;
    ++stats_.rxSU;
    notify_->on_hdlc_receive(frame);
  } while (is_open());
}

bool HDLC::hdlc_transmit(Packet& frame) {
  if (frame.length() == 0)
    return true;
  if (!is_open()) {
    ++stats_.txDiscard;
    return false;
  }
  if (traces.hdlc)
    std::clog << "HDLC[" << trunk_ << "]: tx " << frame.text() << std::endl;
  for (;;) {
    if (DevIo::write(event_.fd().get(), frame.data(), frame.length()) >= 0) {
      ++stats_.txSU;
      return true;
    }
    if (errno == EINTR)
      continue;
    if (errno == EAGAIN) {
      // Full: ready again, with on_hdlc_ready, at the next POLLOUT.
      ready_ = false;
      event_.Schedule(event_.fd(), POLLIN | POLLOUT);
      return false;
    }
    ++stats_.txError;
    return false;
  }
}
