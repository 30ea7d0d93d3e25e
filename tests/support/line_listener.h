#pragma once
// The peer's side of the simulated board's line offers
// (simboard/line_offers.h): a datagram socket bound at a path, and the
// lines received on it. Header only.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "foundation/fd.h"

namespace testing_support {

class LineListener {
public:
  explicit LineListener(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    strncpy(at.sun_path, path.c_str(), sizeof at.sun_path - 1);
    bound_ = ::bind(fd_.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
  }
  bool bound() const { return bound_; }

  // The next line offered within timeoutMs, with the offer's text ("16
  // 256"); an invalid Fd when none came.
  Fd take(std::string& text, int timeoutMs) {
    pollfd p{fd_.get(), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1)
      return Fd();
    char buf[32];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    iovec iov{buf, sizeof buf};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n = ::recvmsg(fd_.get(), &msg, MSG_DONTWAIT);
    cmsghdr* c = n > 0 ? CMSG_FIRSTHDR(&msg) : nullptr;
    if (!c || c->cmsg_type != SCM_RIGHTS)
      return Fd();
    text.assign(buf, static_cast<size_t>(n));
    int line;
    memcpy(&line, CMSG_DATA(c), sizeof line);
    return Fd(line);
  }

private:
  Fd fd_;
  bool bound_;
};

}  // namespace testing_support
