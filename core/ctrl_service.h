#pragma once
// The base of every control service: the hooks the control server calls
// and the operations with which a service answers the command it took and
// sends signals. A service is a process-wide singleton, bound once to the
// server at start-up; an unbound service's operations log and do nothing.
#include <cstdint>

#include "messages/LGCP/LGCP.h"

namespace CtrlSrv {

class Server;

class Service {
public:
  Service() : server_(nullptr) {}
  // Leaves the server it is bound to, which then no longer calls it.
  virtual ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  virtual void OnConnect() = 0;
  virtual void OnDisconnect() = 0;
  // True when the service takes the command; it then owes one answer.
  virtual bool OnCommand(LGCP::Command const& cmd) = 0;
  // Every signal another bound service sends.
  virtual void OnSignal(LGCP::Signal const&) {}

  void Success();
  void Error(LGCP::ErrorCause::NamedNumber cause);
  // Offered to every other bound service first, then to the controller.
  void SendSignal(LGCP::Signal const& sig);
  void SendSignal(unsigned slot, LGCP::Signal const& sig);
  // The current command's slot; all bits set when it carries none.
  uint32_t GetSlot() const;
  bool IsSlotPresent() const;
  uint32_t delayResponse();
  void delayedSuccess(unsigned slot, unsigned seq);
  bool CheckServerConnection(bool& connected) const;
  // True when bound; otherwise logs and gives false.
  bool CheckServer() const;

  Server* server() const { return server_; }

private:
  friend class Server;
  void OfferSignal(LGCP::Signal const& sig);

  Server* server_;
};

}  // namespace CtrlSrv
