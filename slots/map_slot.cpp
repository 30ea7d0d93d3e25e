#include "slots/map_slot.h"

#include <iostream>

#include "core/slots.h"
#include "hardware/hw_mux.h"

int GetMapTimeSlot(LGCP::SharedChannel const& channel) {
  return static_cast<int>((channel.get_bus().getValue() << 7) + channel.get_channel().getValue()) +
         MapSlot::SharedBase;
}

void MapSlot::IAfterCreate() {
  if (IsRxExists())
    OnChangeInputStream(true);
  if (IsTxExists())
    OnChangeOutputStream(true);
}

bool MapSlot::IBeforeDestroy() {
  if (auto* owner = dynamic_cast<MapFactory*>(factory()))
    owner->ReleaseMapSlot(this);
  return true;
}

MapFactory& MapFactory::instance() {
  static MapFactory factory;
  return factory;
}

MapFactory::MapFactory() {
  for (MapSlot*& entry : table_)
    entry = nullptr;
}

Slot* MapFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_map())
    return nullptr;
  const LGCP::MapParams& p = params.get_map();
  int transmit = p.has_transmitter() ? GetMapTimeSlot(p.get_transmitter()) : -1;
  int receive = p.has_receiver() ? GetMapTimeSlot(p.get_receiver()) : -1;
  for (int channel : {transmit, receive})
    if (channel >= MapSlot::SharedBase + SharedChannels)
      return nullptr;
  auto* slot = new MapSlot(transmit, receive);
  AllocateMapSlot(slot);
  return slot;
}

void MapFactory::AllocateMapSlot(MapSlot* slot) {
  if (slot->IsRxExists())
    Take(slot->GetRxLogChannel(), slot);
  if (slot->IsTxExists() && !slot->SameChannel())
    Take(slot->GetTxLogChannel(), slot);
}

void MapFactory::Take(int logChannel, MapSlot* slot) {
  if (MapSlot* old = table_[logChannel]) {
    std::cerr << "map-slot: two slots require the same ipc-slot, remove old." << std::endl;
    std::cerr << "new slot " << *slot << " <-> old slot " << *old << std::endl;
    // The old slot's release empties every entry it holds, this one too.
    Slots::instance().Destroy(old);
  }
  table_[logChannel] = slot;
}

void MapFactory::ReleaseMapSlot(MapSlot* slot) {
  if (slot->IsRxExists()) {
    int log = slot->GetRxLogChannel();
    std::clog << "map: disable map channel " << log << std::endl;
    HwMux::instance()->Disable(slot->IGetReceiveChannel());
    if (table_[log] != slot)
      std::cerr << "map-slot: internal error! MapFactory::ReleaseMapSlot() code 1" << std::endl;
    table_[log] = nullptr;
  }
  if (slot->IsTxExists() && !slot->SameChannel()) {
    int log = slot->GetTxLogChannel();
    if (table_[log] != slot)
      std::cerr << "map-slot: internal error! MapFactory::ReleaseMapSlot() code 2" << std::endl;
    table_[log] = nullptr;
  }
}
