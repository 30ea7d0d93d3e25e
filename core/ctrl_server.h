#pragma once
// The daemon's end of the controller link. It owns the controller
// connection, decodes each whole payload into an LGCP::Message, offers the
// command to the bound control services in bind order and guarantees the
// controller one answer per accepted command; it also carries the
// services' signals to the controller.
#include <cstdint>
#include <ostream>
#include <vector>

#include "foundation/control_service.h"
#include "foundation/timer.h"
#include "messages/LGCP/LGCP.h"

namespace CtrlSrv {

class Service;

class Server : public Control::Notify {
public:
  static constexpr uint32_t None = 0xFFFFFFFFu;  // no slot
  static constexpr uint32_t MaxSlot = 1023;
  static constexpr unsigned StatisticsMs = 5000;

  // What has been answered to the command being dispatched.
  enum ResponseState { NotAnswered = 0, Answered = 1, ErrorSent = 2 };

  Server();
  ~Server() override;
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Appends the service; bind order is dispatch order. Server and services
  // may end in either order (singletons at exit): whichever ends first
  // leaves the other, so neither calls into one that has ended.
  void Bind(Service* service);
  void Unbind(Service* service);
  // Takes ownership of the connection, names it "server", receives from it
  // and starts it; returns what its Activate returns.
  bool Activate(Control::Service* connection);
  // Stops and deletes the connection; every service hears OnDisconnect.
  void Deactivate();

  // Answers to the command being dispatched.
  void Success();
  void Error(LGCP::ErrorCause::NamedNumber cause);
  // The service will answer later with delayedSuccess; returns the command's
  // sequence number for that.
  uint32_t delayResponse();
  void delayedSuccess(unsigned slot, unsigned seq);

  // A signal with the current command's slot (if any), or with the given slot.
  void SendSignal(const LGCP::Signal& sig);
  void SendSignal(unsigned slot, const LGCP::Signal& sig);

  bool IsSlotPresent() const { return slot_ != None; }
  uint32_t GetSlot() const { return slot_; }
  // False without a connection; otherwise connected = Connected, and true.
  bool CheckServerConnection(bool& connected) const;

  // The controller fell silent: drop it.
  void OnHeartbeatTimeout();

  void PutHeader(std::ostream& out) const;

  // Control::Notify
  void OnConnect() override;
  void OnDisconnect() override;
  void OnMessage(char const* data, int length) override;

  const std::vector<Service*>& services() const { return services_; }
  Control::Service* connection() const { return connection_; }
  ResponseState response_state() const { return static_cast<ResponseState>(response_); }

private:
  void Dispatch(const LGCP::Message& msg);
  // A fresh response to the current command.
  void Respond(LGCP::Message& msg);
  void Send(const LGCP::Message& msg);
  void OnUpdateAvgStat() {}

  std::vector<Service*> services_;
  Control::Service* connection_;
  bool seqPresent_;
  uint32_t seq_;
  uint32_t slot_;
  int32_t response_;
  Timer statistics_;
  std::vector<char> sendBytes_;  // the message being sent, encoded
};

}  // namespace CtrlSrv

// The one control server.
extern CtrlSrv::Server ctrlServer;
