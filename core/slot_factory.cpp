#include "core/slot_factory.h"

#include "core/slot.h"

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
