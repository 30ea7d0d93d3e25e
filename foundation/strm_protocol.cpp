#include "foundation/strm_protocol.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "foundation/ext.h"
#include "foundation/multiplexer.h"
#include "foundation/mux_time.h"

StrmProtocol::StrmProtocol() : outqReportsFree_(false), overflow_(0) {
  event_.Bind("StrmProtocol::on_event", &StrmProtocol::on_event, this);
}

StrmProtocol::StrmProtocol(const Fd& fd) : StrmProtocol() { attach(fd); }

void StrmProtocol::attach(const Fd& fd) {
  release();
  fd_.reset(fd.dup());
  // A fresh socket has nothing queued: a positive value means this socket
  // reports its free space through TIOCOUTQ.
  outqReportsFree_ = outq_space() > 0;
}

void StrmProtocol::release() {
  if (!fd_)
    return;
  event_.Release();
  fd_.close();
}

namespace {
int sockopt_int(int fd, int option) {
  int value = 0;
  socklen_t len = sizeof value;
  if (getsockopt(fd, SOL_SOCKET, option, &value, &len) != 0)
    return -1;
  return value;
}

int ioctl_int(int fd, unsigned long request) {
  int value = 0;
  if (ioctl(fd, request, &value) != 0)
    return -1;
  return value;
}
}  // namespace

int StrmProtocol::sendbuf_space() const { return sockopt_int(fd_.get(), SO_SNDBUF); }
int StrmProtocol::recvbuf_space() const { return sockopt_int(fd_.get(), SO_RCVBUF); }
int StrmProtocol::inq_space() const { return ioctl_int(fd_.get(), FIONREAD); }
int StrmProtocol::outq_space() const { return ioctl_int(fd_.get(), TIOCOUTQ); }
int StrmProtocol::free_space() const { return outqReportsFree_ ? outq_space() : sendbuf_space() - outq_space(); }

void StrmProtocol::local_activate() {
  if (!fd_) {
    on_deactivate(new Protocol_status_error(this, "fd not attached"));
    return;
  }
  event_.Schedule(fd_, POLLIN);
  on_activate();
}

void StrmProtocol::local_deactivate() {
  release();
  on_deactivate(new Protocol_status_success(this, "success"));
}

void StrmProtocol::on_event(int, short revents) {
  if (revents & POLLERR)
    on_error(std::string("pollerr: ") + strerror(errno));
  else if (revents & POLLHUP)
    on_error(std::string("pollhup: ") + strerror(errno));
  else if (revents & POLLIN)
    do_read();
}

void StrmProtocol::do_read() {
  Packet p;
  p.reserve_head(0);
  readMeasure_.begin();
  ssize_t n = recv(fd_.get(), p.tail_room(), p.tailroom(), MSG_DONTWAIT | MSG_NOSIGNAL);
  int error = errno;
  readMeasure_.end();
  if (n < 0) {
    if (error != EAGAIN)
      on_error(std::string("read error: ") + strerror(error));
    return;
  }
  if (n == 0) {
    on_error(std::string("read error: ") + strerror(errno));
    return;
  }
  p.extend(static_cast<unsigned>(n));
  on_message(p);
}

void StrmProtocol::message(Packet& p) {
  p.passert(!p.null(), "null packet");
  const unsigned char* pos = p.data();
  const unsigned char* end = pos + p.length();
  if (pos == end)
    return;
  const Mux::Reading now = Mux::reading();
  writeMeasure_.begin(now.us);
  const uint32_t start = now.ms;  // the deadline runs from here
  while (pos < end) {
    ssize_t n = send(fd_.get(), pos, static_cast<size_t>(end - pos), MSG_NOSIGNAL);
    if (n >= 0) {
      pos += n;
      continue;
    }
    if (errno == EINTR)
      continue;
    if (errno != EAGAIN) {
      write_failed("write error", errno);
      return;
    }
    int32_t left = static_cast<int32_t>(WriteDeadlineMs) - static_cast<int32_t>(Mux::milliseconds() - start);
    if (left < 1) {
      write_failed("write timeout", 0);
      return;
    }
    multiplexer.resetWD();
    pollfd out = {fd_.get(), POLLOUT, 0};
    int ready = Mux::time_source().poll(&out, 1, left);
    int pollError = errno;
    multiplexer.resetWD();
    if (ready != 1 && !(ready < 0 && pollError == EINTR)) {
      write_failed("write timeout", 0);
      return;
    }
  }
  writeMeasure_.end();
}

void StrmProtocol::write_failed(const char* what, int error) {
  writeMeasure_.end();
  std::cerr << ext::header(this) << what << ", sendbuf=" << sendbuf_space() << ", recvbuf=" << recvbuf_space()
            << ", free=" << free_space() << ", inq=" << inq_space() << ", outq=" << outq_space();
  if (error)
    std::cerr << ", error=" << strerror(error);
  std::cerr << std::endl;
  ++overflow_;
  on_error(error ? std::string("write error: ") + strerror(error) : std::string(what));
}

void StrmProtocol::on_error(const std::string& text) {
  release();
  on_deactivate(new Protocol_status_error(this, text));
}
