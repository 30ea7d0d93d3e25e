#pragma once
// Loopback TCP sockets and pipes for the loop and transport tests.
#include <arpa/inet.h>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "foundation/fd.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"
#include "tests/support/tpkt_client.h"

namespace transport_test {

// The test clock, the loop and captured output; time moves only when told
// unless autoAdvance lets idle waits jump the clock.
struct Rig {
  testing_support::TestClock clock;
  testing_support::LoopRunner loop;
  testing_support::LogCapture log;
  explicit Rig(bool watchdog = false, bool autoAdvance = false) : loop(watchdog) {
    clock.set_auto_advance(autoAdvance);
  }
  bool until(const std::function<bool()>& pred) { return loop.until(pred, 500); }
};

inline sockaddr_in loopback(unsigned short port) {
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

inline unsigned short local_port(int fd) {
  sockaddr_in a;
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A listening socket on an ephemeral loopback port.
inline Fd listener() {
  Fd s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = loopback(0);
  bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(s.get(), 8);
  return s;
}

// A blocking client connected to 127.0.0.1:port (empty on failure); a
// buffer size makes its receive buffer that small from the start.
inline Fd connect_to(unsigned short port, int buffer = 0) {
  Fd s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (buffer)
    setsockopt(s.get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  sockaddr_in a = loopback(port);
  if (connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    s.close();
  return s;
}

// A Unix socket at path: bound (and listening when a stream) or connected;
// empty on failure.
inline Fd unix_socket(const std::string& path, int type, bool bound) {
  Fd s(socket(AF_UNIX, type | SOCK_CLOEXEC, 0));
  sockaddr_un a = {};
  a.sun_family = AF_UNIX;
  path.copy(a.sun_path, sizeof a.sun_path - 1);
  sockaddr* to = reinterpret_cast<sockaddr*>(&a);
  if (bound ? bind(s.get(), to, sizeof a) != 0 || (type == SOCK_STREAM && listen(s.get(), 4) != 0)
            : connect(s.get(), to, sizeof a) != 0)
    s.close();
  return s;
}

// A port on which nobody listens (bound, then released).
inline unsigned short closed_port() {
  Fd s = listener();
  return local_port(s.get());
}

// Both ends of one loopback TCP connection; `near` is non-blocking. With
// a buffer size, near's send buffer and far's receive buffer are that small
// from the start (set before the connection exists).
struct TcpPair {
  Fd near, far;
  explicit TcpPair(int buffer = 0) {
    Fd l = listener();
    if (buffer)
      setsockopt(l.get(), SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    far = connect_to(local_port(l.get()), buffer);
    near.reset(accept4(l.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
  }
};

// Waits (on the descriptor, up to timeoutMs of real time) for one read.
inline std::string read_some(int fd, int timeoutMs = 20000) {
  pollfd p = {fd, POLLIN, 0};
  char buf[70000];
  ssize_t n = poll(&p, 1, timeoutMs) == 1 ? recv(fd, buf, sizeof buf, MSG_DONTWAIT) : 0;
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

// Reads exactly n bytes (or fewer when the peer stops for timeoutMs).
inline std::string read_n(int fd, size_t n, int timeoutMs = 20000) {
  std::string all;
  while (all.size() < n) {
    std::string more = read_some(fd, timeoutMs);
    if (more.empty())
      break;
    all += more;
  }
  return all;
}

// True when the peer closed the connection (end of stream or reset).
inline bool peer_closed(int fd, int timeoutMs = 20000) {
  pollfd p = {fd, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) != 1)
    return false;
  char c;
  return recv(fd, &c, 1, MSG_DONTWAIT) <= 0;
}

inline void send_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0)
      return;
    done += static_cast<size_t>(n);
  }
}

// A non-blocking pipe; `full` fills it so that the next write would block.
struct Pipe {
  Fd rd, wr;
  explicit Pipe(bool full = false) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0)
      rd.reset(fds[0]), wr.reset(fds[1]);
    std::string filler(65536, 'f');
    while (full && write(wr.get(), filler.data(), filler.size()) > 0) {
    }
  }
  std::string drain() {
    std::string all;
    char buf[4096];
    for (ssize_t n; (n = read(rd.get(), buf, sizeof buf)) > 0;)
      all.append(buf, static_cast<size_t>(n));
    return all;
  }
};

inline std::string tpkt(const std::string& payload) { return testing_support::tpkt_frame(payload); }

inline int open_descriptors() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.')
      ++n;
  closedir(d);
  return n - 1;  // the directory's own descriptor
}

}  // namespace transport_test
