#include "core/ctrl_server.h"

#include <algorithm>
#include <iostream>

#include "asn1/coder_env.h"
#include "asn1/printer.h"
#include "core/ctrl_service.h"
#include "foundation/ext.h"

CtrlSrv::Server ctrlServer;

namespace CtrlSrv {

Server::Server()
    : connection_(nullptr), seqPresent_(false), seq_(0), slot_(None), response_(NotAnswered) {}

Server::~Server() {
  Deactivate();
  for (Service* service : services_)
    service->server_ = nullptr;
}

void Server::Bind(Service* service) {
  services_.push_back(service);
  service->server_ = this;
}

void Server::Unbind(Service* service) {
  services_.erase(std::remove(services_.begin(), services_.end(), service), services_.end());
  service->server_ = nullptr;
}

bool Server::Activate(Control::Service* connection) {
  Deactivate();
  connection_ = connection;
  connection_->service_name("server");
  connection_->Bind(this);
  return connection_->Activate();
}

void Server::Deactivate() {
  if (!connection_)
    return;
  connection_->Deactivate();
  OnDisconnect();
  connection_->UnBind();
  delete connection_;
  connection_ = nullptr;
}

void Server::Respond(LGCP::Message& msg) {
  if (seqPresent_)
    msg.set_seq(static_cast<int>(seq_));
  if (slot_ != None)
    msg.set_slot(slot_);
}

void Server::Success() {
  if (response_ != NotAnswered)
    return;
  LGCP::Message msg;
  Respond(msg);
  msg.mutable_pdu().select_response().select_success();
  Send(msg);
  response_ = Answered;
}

void Server::Error(LGCP::ErrorCause::NamedNumber cause) {
  if (response_ == ErrorSent)
    return;
  LGCP::Message msg;
  Respond(msg);
  msg.mutable_pdu().select_response().select_error() = cause;
  Send(msg);
  response_ = ErrorSent;
}

uint32_t Server::delayResponse() {
  response_ = Answered;
  return seq_;
}

void Server::delayedSuccess(unsigned slot, unsigned seq) {
  LGCP::Message msg;
  msg.set_seq(static_cast<int>(seq));
  msg.set_slot(slot);
  msg.mutable_pdu().select_response().select_success();
  Send(msg);
}

void Server::SendSignal(const LGCP::Signal& sig) { SendSignal(slot_, sig); }

void Server::SendSignal(unsigned slot, const LGCP::Signal& sig) {
  LGCP::Message msg;
  if (slot != None)
    msg.set_slot(slot);
  msg.mutable_pdu().setSelection(LGCP::PDU::alt_signal, sig.clone());
  Send(msg);
}

bool Server::CheckServerConnection(bool& connected) const {
  if (!connection_)
    return false;
  connected = connection_->state() == Control::Service::State::Connected;
  return true;
}

void Server::OnHeartbeatTimeout() {
  if (connection_)
    connection_->Disconnect();
}

void Server::PutHeader(std::ostream& out) const {
  if (!connection_)
    out << "ctrl [null]: ";
  else if (connection_->state() == Control::Service::State::Connected)
    out << "ctrl [" << connection_->peer_name() << "]: ";
  else
    out << "ctrl [not connected]: ";
}

void Server::Send(const LGCP::Message& msg) {
  // The octets are copied into a packet at once, so one buffer serves every send.
  sendBytes_.clear();
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (!env.encode(msg, sendBytes_)) {
    std::cerr << ext::header(this) << "send fail: encode error!" << msg << std::endl;
    return;
  }
  if (connection_)
    connection_->Send(sendBytes_.data(), static_cast<int>(sendBytes_.size()));
  else
    std::cerr << ext::header(this) << "send fail: Service not attached!" << std::endl;
}

void Server::OnConnect() {
  std::clog << ext::header(this) << "controller connect." << std::endl;
  for (Service* service : services_)
    service->OnConnect();
  statistics_.set(StatisticsMs, &Server::OnUpdateAvgStat, this);
}

void Server::OnDisconnect() {
  for (Service* service : services_)
    service->OnDisconnect();
  statistics_.reset();
}

void Server::OnMessage(char const* data, int length) {
  LGCP::Message msg;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (length < 0 || !env.decode(data, data + length, msg, true)) {
    std::cerr << ext::header(this) << "receive fail: decode error!" << std::endl;
    std::cerr << " msg: " << ext::OutBufInHex(data, length < 0 ? 0 : static_cast<size_t>(length)) << std::endl;
  } else {
    Dispatch(msg);
  }
  slot_ = None;
}

void Server::Dispatch(const LGCP::Message& msg) {
  response_ = NotAnswered;
  seqPresent_ = msg.has_seq();
  if (seqPresent_)
    seq_ = static_cast<uint32_t>(msg.get_seq().getValue());

  const LGCP::PDU& pdu = msg.get_pdu();
  if (!pdu.is_command()) {
    Error(LGCP::ErrorCause::unexpectedMsgType);
    return;
  }
  slot_ = None;
  if (msg.has_slot()) {
    slot_ = msg.get_slot().getValue();
    if (slot_ > MaxSlot) {
      slot_ = None;
      Error(LGCP::ErrorCause::invalidSlot);
      return;
    }
  }

  const LGCP::Command& cmd = pdu.get_command();
  bool taken = false;
  for (Service* service : services_) {
    if (service->OnCommand(cmd)) {
      taken = true;
      break;
    }
  }
  if (!taken) {
    Error(LGCP::ErrorCause::unexpectedMsgType);
    return;
  }
  if (response_ == NotAnswered) {
    std::cerr << ext::header(this) << "software error: server do NOT send ack!!!" << std::endl;
    std::cerr << ext::header(this) << "please report this to technical support with the log above." << std::endl;
    Error(LGCP::ErrorCause::internal);
  }
}

}  // namespace CtrlSrv
