#include "foundation/protocol.h"

Protocol::~Protocol() {
  if (owner_) {
    owner_->layers_.remove(this);
    owner_ = nullptr;
  }
}

void Protocol::transmit(Packet& p) {
  if (below())
    below()->message(p);
  else if (owner_)
    owner_->transmit(p);
}

void Protocol::on_message(Packet& p) {
  if (above())
    above()->receive(p);
  else if (owner_)
    owner_->on_message(p);
}

void Protocol::on_activate() {
  if (above())
    above()->local_activate();
  else if (owner_)
    owner_->on_activated(this);
}

void Protocol::on_deactivate(Protocol_status s) {
  if (s->success()) {  // a null report ends the process
    if (below())
      below()->deactivate();
    else if (owner_)
      owner_->on_deactivated(this, s);
    return;
  }
  if (above())
    above()->on_deactivate(s);
  else if (owner_)
    owner_->on_deactivated(this, s);
}

void Protocol::on_status(Protocol_status s) {
  if (above())
    above()->on_status(s);
  else if (owner_)
    owner_->on_status(s);
}

void Protocol::activate() {
  if (below())
    below()->activate();
  else
    local_activate();
}

void Protocol::prepare_head(Packet& p) {
  descend_prepare_head(p);
  local_prepare_head(p);
}

void Protocol::prepare_tail(Packet& p) {
  descend_prepare_tail(p);
  local_prepare_tail(p);
}

Protocol_status Protocol::initialize() {
  if (below()) {
    Protocol_status s = below()->initialize();
    if (!s->success())
      return s;
  }
  return local_initialize();
}

ProtocolsList::~ProtocolsList() {
  while (Protocol* p = layers_.tail()) {
    layers_.remove(p);
    p->owner_ = nullptr;
    delete p;
  }
}

void ProtocolsList::add_protocol_head(Protocol* p) {
  layers_.push_front(p);
  p->owner_ = this;
}

void ProtocolsList::add_protocol_tail(Protocol* p) {
  layers_.push_back(p);
  p->owner_ = this;
}

Protocol* ProtocolsList::search(const Protocol_name& name) const {
  for (Protocol* p = layers_.head(); p; p = p->above())
    if (p->compare_name(name))
      return p;
  return nullptr;
}

void ProtocolsFamily::local_prepare_head(Packet& p) {
  if (top())
    top()->prepare_head(p);
}

void ProtocolsFamily::local_prepare_tail(Packet& p) {
  if (top())
    top()->prepare_tail(p);
}

Protocol_status ProtocolsFamily::local_initialize() {
  if (top())
    return top()->initialize();
  return new Protocol_initialize_error(this);
}
