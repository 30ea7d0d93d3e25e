#pragma once
// The Unix-domain variants of Control::Service: the same acceptor and
// connector roles over a socket path.
#include <string>

#include "foundation/control_service.h"
#include "foundation/event.h"
#include "foundation/timer.h"

namespace Control {

class ServiceUnix : public Service {
public:
  explicit ServiceUnix(bool log = true) : Service(log) {}

protected:
  // Attaches with the path as the peer name. Ignored (false) while Deactivating.
  bool Connected(const Fd& fd, const std::string& path);
};

class AcceptorUnix : public ServiceUnix {
public:
  static constexpr unsigned BindRetryMs = 5000;

  AcceptorUnix() : AcceptorUnix(std::string()) {}
  explicit AcceptorUnix(const std::string& path);
  ~AcceptorUnix() override;

  const std::string& path() const { return path_; }

protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override {}

private:
  void BindSocket();
  void OnTimeout() { BindSocket(); }
  void OnSocketEvent(int fd, short revents);

  std::string path_;
  Fd listen_;
  Timer retry_;
  Event event_;
};

class ConnectorUnix : public ServiceUnix {
public:
  static constexpr int FastRetries = 7;
  static constexpr unsigned FastRetryMs = 1000;
  static constexpr unsigned ConnectFailedMs = 20000;
  static constexpr unsigned ErrorEventMs = 15000;
  static constexpr unsigned ReconnectMs = 10000;

  ConnectorUnix() : ConnectorUnix(std::string(), std::string()) {}
  explicit ConnectorUnix(const std::string& remote) : ConnectorUnix(remote, std::string()) {}
  ConnectorUnix(const std::string& remote, const std::string& local);
  ~ConnectorUnix() override;

protected:
  bool ImplActivate() override;
  void ImplDeactivate() override;
  void ImplOnDisconnect() override { timer_.set(ReconnectMs, &ConnectorUnix::OnTimeout, this); }

private:
  void TryConnect();
  void OnTimeout() { TryConnect(); }
  void OnSocketEvent(int fd, short revents);
  void Retry(unsigned slowMs);

  std::string remote_;
  std::string local_;
  Fd socket_;
  Timer timer_;
  Event event_;
  int32_t fastRetry_;
};

}  // namespace Control
