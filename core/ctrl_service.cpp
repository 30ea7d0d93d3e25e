#include "core/ctrl_service.h"

#include <iostream>

#include "core/ctrl_server.h"

namespace CtrlSrv {

Service::~Service() {
  if (server_)
    server_->Unbind(this);
}

bool Service::CheckServer() const {
  if (server_)
    return true;
  std::cerr << "CtrlSrv::Service error! service not connected to server." << std::endl;
  return false;
}

void Service::Success() {
  if (CheckServer())
    server_->Success();
}

void Service::Error(LGCP::ErrorCause::NamedNumber cause) {
  if (CheckServer())
    server_->Error(cause);
}

void Service::OfferSignal(LGCP::Signal const& sig) {
  for (Service* service : server_->services())
    if (service != this)
      service->OnSignal(sig);
}

void Service::SendSignal(LGCP::Signal const& sig) {
  if (!CheckServer())
    return;
  OfferSignal(sig);
  server_->SendSignal(sig);
}

void Service::SendSignal(unsigned slot, LGCP::Signal const& sig) {
  if (!CheckServer())
    return;
  OfferSignal(sig);
  server_->SendSignal(slot, sig);
}

uint32_t Service::GetSlot() const { return CheckServer() ? server_->GetSlot() : Server::None; }

bool Service::IsSlotPresent() const { return CheckServer() && server_->IsSlotPresent(); }

uint32_t Service::delayResponse() { return CheckServer() ? server_->delayResponse() : 0xFFFFFFFFu; }

void Service::delayedSuccess(unsigned slot, unsigned seq) {
  if (CheckServer())
    server_->delayedSuccess(slot, seq);
}

bool Service::CheckServerConnection(bool& connected) const {
  return server_ && server_->CheckServerConnection(connected);
}

}  // namespace CtrlSrv
