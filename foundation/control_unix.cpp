#include "foundation/control_unix.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Control {

namespace {
// The socket address of a path, cut to 107 characters.
sockaddr_un unix_address(const std::string& path) {
  sockaddr_un a;
  memset(&a, 0, sizeof a);
  a.sun_family = AF_UNIX;
  strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
  return a;
}

int new_unix_socket() { return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0); }
}  // namespace

bool ServiceUnix::Connected(const Fd& fd, const std::string& path) {
  if (state_ == State::Deactivating)
    return false;
  attach_connection(fd, path);
  return true;
}

// ---- AcceptorUnix

AcceptorUnix::AcceptorUnix(const std::string& path) : path_(path) {
  event_.Bind("AcceptorUnix::OnSocketEvent", &AcceptorUnix::OnSocketEvent, this);
}

AcceptorUnix::~AcceptorUnix() { AcceptorUnix::ImplDeactivate(); }

bool AcceptorUnix::ImplActivate() {
  listen_.reset(new_unix_socket());
  if (!listen_) {
    if (log())
      std::cerr << "can't create socket:" << strerror(errno) << std::endl;
    return false;
  }
  BindSocket();
  return true;
}

void AcceptorUnix::BindSocket() {
  unlink(path_.c_str());
  sockaddr_un a = unix_address(path_);
  if (bind(listen_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    if (log())
      std::cerr << "can't bind to socket: \"" << strerror(errno) << "\"  waiting..." << std::endl;
    retry_.set(BindRetryMs, &AcceptorUnix::OnTimeout, this);
    return;
  }
  if (listen(listen_.get(), 1) != 0) {
    if (log())
      std::cerr << "can't listen socket: " << strerror(errno) << std::endl;
    Deactivate();
    return;
  }
  if (!listen_.NonBlock()) {
    if (log())
      std::cerr << "can't set socket to non block mode: " << strerror(errno) << std::endl;
    Deactivate();
    return;
  }
  event_.Schedule(listen_, POLLIN);
}

void AcceptorUnix::OnSocketEvent(int, short revents) {
  if (!(revents & POLLIN))
    return;
  for (;;) {
    sockaddr_un a;
    memset(&a, 0, sizeof a);
    socklen_t len = sizeof a;
    Fd conn(accept4(listen_.get(), reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC));
    if (!conn)
      return;
    std::string peer(a.sun_path, strnlen(a.sun_path, sizeof a.sun_path));
    if (state_ == State::Connected || state_ == State::Deactivating) {
      // One peer at a time; one arriving during tear-down is not attached either.
      if (log())
        std::cerr << "refuse connection from " << peer << std::endl;
      continue;
    }
    if (!conn.NonBlock()) {
      if (log())
        std::cerr << "can't set socket to non block mode: " << strerror(errno) << std::endl;
      continue;
    }
    if (log())
      std::cout << "new connection from " << peer << std::endl;
    Connected(conn, peer);
  }
}

void AcceptorUnix::ImplDeactivate() {
  retry_.reset();
  event_.Release();
  listen_.close();
}

// ---- ConnectorUnix

ConnectorUnix::ConnectorUnix(const std::string& remote, const std::string& local)
    : remote_(remote), local_(local), fastRetry_(0) {
  event_.Bind("ConnectorUnix::OnSocketEvent", &ConnectorUnix::OnSocketEvent, this);
}

ConnectorUnix::~ConnectorUnix() { ConnectorUnix::ImplDeactivate(); }

bool ConnectorUnix::ImplActivate() {
  fastRetry_ = FastRetries;
  TryConnect();
  return true;
}

void ConnectorUnix::ImplDeactivate() {
  Release();
  socket_.close();
  timer_.reset();
  event_.Release();
}

void ConnectorUnix::TryConnect() {
  event_.Release();
  socket_.reset(new_unix_socket());
  if (!socket_) {
    std::cerr << "can't create domain socket:" << strerror(errno) << std::endl;
    Deactivate();
    return;
  }
  if (!socket_.NonBlock()) {
    std::cerr << "can't set domain socket to non block mode: " << strerror(errno) << std::endl;
    Deactivate();
    return;
  }
  if (!local_.empty()) {
    unlink(local_.c_str());
    sockaddr_un l = unix_address(local_);
    if (bind(socket_.get(), reinterpret_cast<sockaddr*>(&l), sizeof l) != 0)
      std::cerr << "can't bind to domain socket '" << local_ << "': \"" << strerror(errno) << std::endl;
  }
  sockaddr_un r = unix_address(remote_);
  if (connect(socket_.get(), reinterpret_cast<sockaddr*>(&r), sizeof r) != 0) {
    std::cerr << "can't connect to " << remote_ << " : " << strerror(errno) << std::endl;
    Retry(ConnectFailedMs);
    return;
  }
  std::clog << "connected to " << remote_ << std::endl;
  event_.Schedule(socket_, POLLOUT);
  Connected(socket_, remote_);
  socket_.close();  // the stream layer and the event hold their own duplicates
}

void ConnectorUnix::OnSocketEvent(int, short revents) {
  if (revents & (POLLERR | POLLHUP)) {
    std::cerr << "fail to connect to " << remote_ << std::endl;
    Retry(ErrorEventMs);
    return;
  }
  if (revents & POLLOUT)
    event_.Release();
}

void ConnectorUnix::Retry(unsigned slowMs) {
  event_.Release();
  socket_.close();
  if (fastRetry_ > 0) {
    --fastRetry_;
    timer_.set(FastRetryMs, &ConnectorUnix::OnTimeout, this);
  } else {
    timer_.set(slowMs, &ConnectorUnix::OnTimeout, this);
  }
}

}  // namespace Control
