#include "slots/trunk_slot.h"

#include <iostream>

#include "core/slots.h"

void TrunkSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

bool TrunkSlot::IBeforeDestroy() {
  if (auto* owner = dynamic_cast<TrunkFactory*>(factory()))
    owner->ReleaseTrunkSlot(this);
  return true;
}

TrunkFactory::TrunkFactory(unsigned trunk, unsigned base) : trunk_(trunk), base_(base) {
  for (TrunkSlot*& s : slots_)
    s = nullptr;
}

template <class Make>
Slot* TrunkFactory::Replace(unsigned timeslot, Make make) {
  if (TrunkSlot* old = slots_[timeslot]) {
    std::cerr << "trunk-slot: two slots require the same timeslot, remove old." << std::endl;
    std::cerr << " old slot " << *old << std::endl;
    Slots::instance().Destroy(old);
  }
  TrunkSlot* slot = make(base_ + timeslot);
  slots_[timeslot] = slot;
  return slot;
}

Slot* TrunkFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_trunk())
    return nullptr;
  const LGCP::TrunkParams& p = params.get_trunk();
  unsigned timeslot = static_cast<unsigned>(p.get_timeslot().getValue());
  if (static_cast<unsigned>(p.get_trunk().getValue()) != trunk_ || timeslot > 31)
    return nullptr;
  return Replace(timeslot, [](unsigned channel) { return new TrunkSlot(static_cast<int>(channel)); });
}

void TrunkFactory::ReleaseTrunkSlot(TrunkSlot* slot) { slots_[slot->GetTimeSlot() & 31] = nullptr; }

TrunkBRIFactory::TrunkBRIFactory(unsigned trunk, unsigned base) : TrunkFactory(trunk, base) {}

Slot* TrunkBRIFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_trunk_bri())
    return nullptr;
  const LGCP::TrunkParams& p = params.get_trunk_bri();
  unsigned timeslot = static_cast<unsigned>(p.get_timeslot().getValue());
  if (static_cast<unsigned>(p.get_trunk().getValue()) != trunk_ || timeslot >= 4)
    return nullptr;
  return Replace(timeslot, [](unsigned channel) { return new TrunkBRISlot(static_cast<int>(channel)); });
}

void TrunkBRIFactory::ReleaseTrunkSlot(TrunkSlot* slot) { slots_[slot->GetTimeSlot() & 3] = nullptr; }

// Built before main, so they end the factory chain: asked after every
// factory that start-up builds, BRI before E1, higher trunks first.
TrunkFactory trunk0(0, 0), trunk1(1, 32), trunk2(2, 64), trunk3(3, 96);
TrunkBRIFactory trunk_bri0(0, 0), trunk_bri1(1, 4), trunk_bri2(2, 8), trunk_bri3(3, 12), trunk_bri4(4, 16),
    trunk_bri5(5, 20), trunk_bri6(6, 24), trunk_bri7(7, 28);
