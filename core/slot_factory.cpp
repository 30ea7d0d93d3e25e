#include "core/slot_factory.h"

#include "core/slot.h"
#include "messages/ACP/ACP.h"

SlotFactory* firstFactory = nullptr;

SlotFactory::SlotFactory() : next_(firstFactory) { firstFactory = this; }

SlotFactory::~SlotFactory() { slots_.clear(); }

Slot* SlotFactory::NewSlot(LGCP::CreateParams const& params) {
  Slot* slot = INewSlot(params);
  if (slot) {
    slot->factory_ = this;
    slots_.push_back(slot);
  }
  return slot;
}

void SlotFactory::Remove(Slot* slot) { slots_.remove(slot); }

void SlotFactory::PassTrunkStatus(LGCP::Signal const& sig) {
  if (!sig.is_trunkStatus())
    return;
  const ACP::TrunkStatus& status = sig.get_trunkStatus();
  // The BRI line channels report under the same numbers as the E1 trunks;
  // the slots' trunks are E1 trunks.
  if (status.get_type().getValue() != ACP::TrunkType::e1)
    return;
  unsigned trunk = static_cast<unsigned>(status.get_trunk().getValue());
  auto state = static_cast<ACP::TrunkState::NamedNumber>(status.get_state().getValue());
  for (Slot* slot : slots_)
    slot->OnTrunkStatus(trunk, state);
}
