#pragma once
// The TCP variants of Control::Service: the acceptor that serves one peer
// at a time on a port (with the periodic live-connection check used for
// the controller), and the connector that connects out and keeps
// reconnecting (the agent links).
#include <string>

#include "foundation/control_service.h"
#include "foundation/event.h"
#include "foundation/timer.h"

namespace Control {

class AcceptorNet : public ServiceNet {
public:
  static constexpr unsigned BindRetryMs = 5000;

  AcceptorNet() : AcceptorNet(0, true) {}
  explicit AcceptorNet(int port) : AcceptorNet(port, true) {}
  AcceptorNet(int port, bool log);
  ~AcceptorNet() override;

  unsigned short port() const { return port_; }
  // The port the listening socket is bound to (0 when not listening).
  unsigned short bound_port() const;

protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override {}
  virtual void ImplRefuseConnection() {}
  virtual void ImplConnected(const Fd&) {}

private:
  void BindSocket();
  void OnTimeout() { BindSocket(); }
  void OnSocketEvent(int fd, short revents);

  unsigned short port_;
  Fd listen_;
  Timer retry_;
  Event event_;
};

// The controller's acceptor: a peer knocking while one is connected makes
// it probe the current connection (1 s keepalive) and drop it when its TCP
// state leaves established or its congestion state stays away from open.
class AcceptorNetCheckConnection : public AcceptorNet {
public:
  static constexpr unsigned CheckMs = 1000;

  AcceptorNetCheckConnection() : AcceptorNetCheckConnection(0, true) {}
  explicit AcceptorNetCheckConnection(int port) : AcceptorNetCheckConnection(port, true) {}
  AcceptorNetCheckConnection(int port, bool log) : AcceptorNet(port, log), checking_(0), budget_(0) {}
  ~AcceptorNetCheckConnection() override { check_.reset(); }

  bool checking() const { return checking_ != 0; }

protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplRefuseConnection() override;
  void ImplConnected(const Fd& fd) override { watched_.reset(fd.dup()); }
  // Every duplicate of a connection goes when the connection goes down.
  void on_deactivated(::Protocol* layer, Protocol_status s) override;

private:
  void SetupKeepAlive(bool fast);
  void CheckConnection();
  void OnCheckConnectionTimeout() { CheckConnection(); }

  Timer check_;
  Fd watched_;
  int32_t checking_;
  int32_t budget_;
};

class ConnectorNet : public ServiceNet {
public:
  static constexpr int FastRetries = 7;
  static constexpr unsigned FastRetryMs = 1000;
  static constexpr unsigned ConnectFailedMs = 20000;
  static constexpr unsigned ErrorEventMs = 15000;
  static constexpr unsigned SocketErrorMs = 12000;
  static constexpr unsigned ReconnectMs = 10000;

  ConnectorNet() : port_(0), fastRetry_(0) { Init(); }
  // "a.b.c.d:port"
  explicit ConnectorNet(const std::string& address);
  ConnectorNet(const std::string& host, unsigned short port) : port_(port), host_(host), fastRetry_(0) {
    Init();
  }
  ~ConnectorNet() override;

protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override { timer_.set(ReconnectMs, &ConnectorNet::OnTimeout, this); }

private:
  void Init() { event_.Bind("ConnectorNet::OnSocketEvent", &ConnectorNet::OnSocketEvent, this); }
  void TryConnect();
  void OnTimeout() { TryConnect(); }
  void OnSocketEvent(int fd, short revents);
  // Closes this attempt's socket and arms the next attempt.
  void Retry(unsigned slowMs);

  unsigned short port_;
  std::string host_;
  Fd socket_;
  Timer timer_;
  Event event_;
  int32_t fastRetry_;
  INet4::Addr address_;
};

}  // namespace Control
