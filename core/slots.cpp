#include "core/slots.h"

#include <algorithm>
#include <iostream>

#include "core/slot.h"
#include "core/slot_connect.h"
#include "core/slot_factory.h"
#include "foundation/mux_time.h"

Slots& Slots::instance() {
  static Slots slots;
  return slots;
}

Slots::Slots() : beforeDestroy_(nullptr) { std::fill(table_, table_ + TableSize, nullptr); }

bool Slots::OnCommand(LGCP::Command const& cmd) {
  if (!IsSlotPresent()) {
    if (!cmd.is_query())
      return false;
    CmdQuery();
    return true;
  }
  switch (cmd.currentSelection()) {
  case LGCP::Command::alt_connect:
    CmdConnect(cmd.get_connect().getValue());
    return true;
  case LGCP::Command::alt_disconnect:
    CmdDisconnect();
    return true;
  case LGCP::Command::alt_create:
    CmdCreate(cmd.get_create());
    return true;
  case LGCP::Command::alt_destroy:
    CmdDestroy();
    return true;
  case LGCP::Command::alt_activate:
    CmdActivate(cmd.get_activate());
    return true;
  case LGCP::Command::alt_deactivate:
    CmdDeactivate();
    return true;
  case LGCP::Command::alt_userData:
    CmdUserData(cmd.get_userData().getValue());
    return true;
  case LGCP::Command::alt_ioctl:
    CmdIoctl(cmd.get_ioctl());
    return true;
  default:
    return false;
  }
}

Slot* Slots::CommandSlot() {
  Slot* slot = this->slot(GetSlot());
  if (!slot) {
    Error(LGCP::ErrorCause::slotNotExists);
    return nullptr;
  }
  if (slot->destroying_) {
    Error(LGCP::ErrorCause::destroyInProgress);
    return nullptr;
  }
  return slot;
}

void Slots::CmdQuery() {
  Success();
  UpdateHardwareResources();
}

void Slots::CmdConnect(unsigned receiver) {
  if (!CheckSlot(receiver)) {
    Error(LGCP::ErrorCause::invalidSlot);
    return;
  }
  Slot* from = slot(GetSlot());
  Slot* to = table_[receiver];
  if (!from || !to) {
    Error(LGCP::ErrorCause::slotNotExists);
    return;
  }
  if (from->destroying_ || to->destroying_) {
    Error(LGCP::ErrorCause::destroyInProgress);
    return;
  }
  if (Connect(*from, *to))
    Success();
  else
    Error(LGCP::ErrorCause::connectFail);
}

void Slots::CmdDisconnect() {
  Slot* slot = CommandSlot();
  if (!slot)
    return;
  if (Disconnect(*slot))
    Success();
  else
    Error(LGCP::ErrorCause::disconnectFail);
}

void Slots::CmdCreate(LGCP::CreateParams const& params) {
  uint32_t n = GetSlot();
  if (Slot* old = slot(n)) {
    if (old->destroying_) {
      Error(LGCP::ErrorCause::destroyInProgress);
      return;
    }
    Destroy(old);
    if (table_[n]) {
      Error(LGCP::ErrorCause::slotIdBusy);
      return;
    }
  }
  for (SlotFactory* factory = firstFactory; factory; factory = factory->next()) {
    Slot* slot = factory->NewSlot(params);
    if (!slot)
      continue;
    slot->id_ = n;
    slots_.push_back(slot);
    table_[n] = slot;
    Success();
    slot->IAfterCreate();
    return;
  }
  Error(LGCP::ErrorCause::insufficientResources);
}

void Slots::CmdDestroy() {
  Slot* slot = CommandSlot();
  if (!slot)
    return;
  if (Destroy(slot))
    Success();
  else
    slot->token_ = delayResponse();
}

void Slots::CmdActivate(TERM::TermActivateParams const& params) {
  if (Slot* slot = CommandSlot()) {
    if (slot->IActivate(params))
      Success();
    else
      Error(LGCP::ErrorCause::unsupported);
  }
}

void Slots::CmdDeactivate() {
  if (Slot* slot = CommandSlot()) {
    if (slot->IDeactivate())
      Success();
    else
      Error(LGCP::ErrorCause::unsupported);
  }
}

void Slots::CmdUserData(std::vector<char> const& data) {
  if (Slot* slot = CommandSlot()) {
    if (slot->IUserData(data))
      Success();
    else
      Error(LGCP::ErrorCause::unsupported);
  }
}

void Slots::CmdIoctl(LGCP::IoctlParams const& params) {
  if (Slot* slot = CommandSlot()) {
    if (slot->Ioctl(params))
      Success();
    else
      Error(LGCP::ErrorCause::unsupported);
  }
}

bool Slots::Destroy(Slot* slot) {
  if (slot->destroying_)
    return false;  // its release is already on the way
  Disconnect(*slot);
  for (size_t n = slot->receivers_.size(); n > 0; --n) {
    if (slot->receivers_.empty()) {
      std::cerr << "mux internal error: expected slots not exists." << std::endl;
      break;
    }
    Disconnect(*slot->receivers_.front());
  }
  if (!slot->receivers_.empty())
    std::cerr << "mux internal error: unexpected slots exists." << std::endl;
  slot->destroying_ = true;

  Slot* outer = beforeDestroy_;
  beforeDestroy_ = slot;
  bool released = slot->BeforeDestroy();
  // A slot may complete its release from inside its own hook.
  bool deleted = beforeDestroy_ == nullptr;
  beforeDestroy_ = outer;
  if (deleted)
    return true;
  if (!released)
    return false;
  on_release(slot);
  return true;
}

void Slots::on_release(Slot* slot) {
  delayedSuccess(slot->id_, slot->token_);
  int_destroy(slot);
}

void Slots::Unlink(Slot* slot) {
  Disconnect(*slot);
  std::vector<Slot*> receivers = slot->receivers_;
  for (Slot* receiver : receivers)
    if (receiver->source_ == slot)
      Disconnect(*receiver);
  while (!slot->receivers_.empty())
    slot->receivers_.front()->LogicalDisconnect();
}

void Slots::int_destroy(Slot* slot) {
  // Nobody may keep pointing at a deleted slot.
  if (slot->source_ || !slot->receivers_.empty())
    Unlink(slot);
  if (slot->factory_)
    slot->factory_->Remove(slot);
  if (slot == beforeDestroy_)
    beforeDestroy_ = nullptr;
  slots_.remove(slot);
  if (CheckSlot(slot->id_) && table_[slot->id_] == slot)
    table_[slot->id_] = nullptr;
  delete slot;
}

void Slots::UpdateHardwareResources() {
  LGCP::Signal sig;
  LGCP::Resources& resources = sig.select_query();
  resources.mutable_boardMajor();
  resources.mutable_boardMinor();
  resources.set_rtp_g729(0);
  resources.set_rtp_g723(0);
  resources.set_rtp_g711(0);
  resources.set_rtp_g711mcc(0);
  resources.set_modem(0);
  resources.mutable_mixer();
  resources.set_mux(true);
  resources.set_mcc_data(0);
  resources.set_mcc_bri(0);
  resources.set_mcc_trans(0);
  resources.mutable_echoBus();
  resources.set_t38_instances(0);
  resources.set_digital_modems(0);
  resources.set_lin16(0);
  resources.mutable_universal();
  for (SlotFactory* factory = firstFactory; factory; factory = factory->next())
    factory->Query(resources);
  SendSignal(sig);
}

void Slots::OnSignal(LGCP::Signal const& sig) {
  if (!sig.is_trunkStatus())
    return;
  for (SlotFactory* factory = firstFactory; factory; factory = factory->next())
    factory->SelfSignal(sig);
}

void Slots::OnDisconnect() {
  std::list<Slot*> pending;
  while (!slots_.empty()) {
    Slot* slot = slots_.front();
    if (slot->destroying_ || !Destroy(slot)) {
      slots_.remove(slot);
      pending.push_back(slot);
    }
  }
  // The whole daemon pauses here, on the loop's clock.
  Mux::pause(ReleasePauseMs);
  for (Slot* slot : pending) {
    if (slot->factory_)
      slot->factory_->Remove(slot);
    int_destroy(slot);
  }
}
