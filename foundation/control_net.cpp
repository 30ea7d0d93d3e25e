#include "foundation/control_net.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace Control {

namespace {
int new_tcp_socket() {
  return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}
}  // namespace

// ---- AcceptorNet

AcceptorNet::AcceptorNet(int port, bool log) : ServiceNet(log), port_(static_cast<unsigned short>(port)) {
  event_.Bind("AcceptorNet::OnSocketEvent", &AcceptorNet::OnSocketEvent, this);
}

AcceptorNet::~AcceptorNet() { AcceptorNet::ImplDeactivate(); }

unsigned short AcceptorNet::bound_port() const {
  sockaddr_in a;
  socklen_t len = sizeof a;
  if (!listen_ || getsockname(listen_.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return 0;
  return ntohs(a.sin_port);
}

bool AcceptorNet::ImplActivate() {
  listen_.reset(new_tcp_socket());
  if (!listen_) {
    if (log())
      std::cerr << "can't create socket:" << strerror(errno) << std::endl;
    return false;
  }
  int on = 1;
  setsockopt(listen_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  BindSocket();
  return true;
}

void AcceptorNet::BindSocket() {
  sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  a.sin_port = htons(port_);
  if (bind(listen_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    if (log())
      std::cerr << "can't bind to socket: \"" << strerror(errno) << "\"  waiting..." << std::endl;
    retry_.set(BindRetryMs, &AcceptorNet::OnTimeout, this);
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

void AcceptorNet::OnSocketEvent(int, short revents) {
  if (!(revents & POLLIN))
    return;
  for (;;) {
    INet4::Addr peer;
    socklen_t len = sizeof(sockaddr_in);
    Fd conn(accept4(listen_.get(), reinterpret_cast<sockaddr*>(&peer.sockaddr()), &len, SOCK_CLOEXEC));
    if (!conn)
      return;
    if (state_ == State::Connected) {
      if (log())
        std::cerr << "refuse connection from " << peer << std::endl;
      ImplRefuseConnection();
      continue;
    }
    if (state_ == State::Deactivating) {
      // The previous connection is still being torn down: not attached, so
      // closed at once; the peer connects again.
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
    if (Connected(conn, peer))
      ImplConnected(conn);
  }
}

void AcceptorNet::ImplDeactivate() {
  retry_.reset();
  event_.Release();
  listen_.close();
}

// ---- AcceptorNetCheckConnection

bool AcceptorNetCheckConnection::ImplActivate() {
  AcceptorNet::ImplActivate();
  CheckConnection();
  return true;
}

void AcceptorNetCheckConnection::ImplDeactivate() {
  check_.reset();
  AcceptorNet::ImplDeactivate();
}

void AcceptorNetCheckConnection::on_deactivated(::Protocol* layer, Protocol_status s) {
  watched_.close();
  AcceptorNet::on_deactivated(layer, s);
}

void AcceptorNetCheckConnection::ImplRefuseConnection() {
  if (checking_ != 0)
    return;
  checking_ = 1;
  budget_ = 2;
  SetupKeepAlive(true);
  if (log())
    std::cerr << "CheckConnectionState CheckConnection" << std::endl;
}

void AcceptorNetCheckConnection::SetupKeepAlive(bool fast) {
  int fd = watched_.get();
  int on = 1;
  int idle = fast ? 1 : 7200;
  int interval = fast ? 1 : 75;
  int count = fast ? 3 : 9;
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

void AcceptorNetCheckConnection::CheckConnection() {
  if (state_ == State::Connected) {
    bool bad = false;
    unsigned char info[92];
    socklen_t len = sizeof info;
    if (getsockopt(watched_.get(), IPPROTO_TCP, TCP_INFO, info, &len) == 0) {
      if (info[0] != TCP_ESTABLISHED) {
        if (log())
          std::cerr << "connection from " << peer_name() << " closed: tcp socket change state." << std::endl;
        bad = true;
      }
      if (checking_ == 1) {
        if (info[1] == 0) {  // congestion avoidance state open
          checking_ = 0;
          SetupKeepAlive(false);
          if (log())
            std::cerr << "CheckConnectionState Idle" << std::endl;
        } else {
          if (budget_ > 0)
            --budget_;
          if (budget_ < 1) {
            if (log())
              std::cerr << "connection from " << peer_name() << " closed: tcp socket change ca_state." << std::endl;
            bad = true;
          }
        }
      }
    }
    int error = 0;
    len = sizeof error;
    if (getsockopt(watched_.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
      if (log())
        std::cerr << "connection from " << peer_name() << " closed: " << strerror(error ? error : errno)
                  << std::endl;
      bad = true;
    }
    if (bad) {
      checking_ = 0;
      SetupKeepAlive(false);
      Disconnect();
      if (log())
        std::cerr << "CheckConnectionState Idle" << std::endl;
    }
  }
  check_.set(CheckMs, &AcceptorNetCheckConnection::OnCheckConnectionTimeout, this);
}

// ---- ConnectorNet

ConnectorNet::ConnectorNet(const std::string& address) : port_(0), fastRetry_(0) {
  INet4::Addr a;
  int port = -1;
  a.Assign(address, &port);
  port_ = a.port();
  std::string text = a.GetString();
  host_ = text.substr(0, text.find(':'));
  Init();
}

ConnectorNet::~ConnectorNet() { ConnectorNet::ImplDeactivate(); }

bool ConnectorNet::ImplActivate() {
  fastRetry_ = FastRetries;
  TryConnect();
  return true;
}

void ConnectorNet::ImplDeactivate() {
  Release();
  socket_.close();
  timer_.reset();
  event_.Release();
}

void ConnectorNet::TryConnect() {
  event_.Release();
  socket_.reset(new_tcp_socket());
  if (!socket_) {
    std::cerr << "can't create socket:" << strerror(errno) << std::endl;
    Deactivate();
    return;
  }
  if (!socket_.NonBlock()) {
    std::cerr << "can't set socket to non block mode: " << strerror(errno) << std::endl;
    Deactivate();
    return;
  }
  address_.Reset();
  address_.SetPort(port_);
  address_.Assign(host_);
  const sockaddr_in& a = address_.sockaddr();
  if (connect(socket_.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
    std::clog << "already connected to " << address_ << std::endl;
    Connected(socket_, address_);
    socket_.close();
    return;
  }
  if (errno == EINPROGRESS) {
    event_.Schedule(socket_, POLLOUT);
    return;
  }
  std::cerr << "can't connect to " << address_ << " : " << strerror(errno) << std::endl;
  Retry(ConnectFailedMs);
}

void ConnectorNet::OnSocketEvent(int, short revents) {
  if (revents & (POLLERR | POLLHUP)) {
    std::cerr << "fail to connect to " << address_ << std::endl;
    Retry(ErrorEventMs);
    return;
  }
  if (!(revents & POLLOUT))
    return;
  event_.Release();
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
    std::cerr << "getsockopt(SOL_SOCKET,SO_ERROR) fail: " << strerror(errno) << std::endl;
    Deactivate();
    return;
  }
  if (error != 0) {
    std::cerr << "fail to connect to " << address_ << std::endl;
    Retry(SocketErrorMs);
    return;
  }
  std::cout << "connected to " << address_ << "." << std::endl;
  Connected(socket_, address_);
  socket_.close();
}

void ConnectorNet::Retry(unsigned slowMs) {
  event_.Release();
  socket_.close();
  if (fastRetry_ > 0) {
    --fastRetry_;
    timer_.set(FastRetryMs, &ConnectorNet::OnTimeout, this);
  } else {
    timer_.set(slowMs, &ConnectorNet::OnTimeout, this);
  }
}

}  // namespace Control
