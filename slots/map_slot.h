#pragma once
// Map slots: a transmit and a receive channel of the shared inter-board bus
// (TDM switch channels 8192..10239), each optional. A shared channel
// belongs to one map slot at a time: a newer slot that asks for it
// replaces the older holder.
#include "core/slot.h"
#include "core/slot_factory.h"

class MapSlot : public Slot {
public:
  static constexpr int SharedBase = 8192;

  MapSlot(int transmit, int receive) : transmit_(transmit), receive_(receive) {}

  void IAfterCreate() override;
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return IsTxExists(); }
  bool IOnInputStream() override { return IsRxExists(); }
  int IGetTransmitChannel() override { return transmit_; }
  int IGetReceiveChannel() override { return receive_; }
  char const* GetName() const override { return "map"; }

  bool IsTxExists() const { return transmit_ >= 0; }
  bool IsRxExists() const { return receive_ >= 0; }
  int GetTxLogChannel() const { return transmit_ - SharedBase; }
  int GetRxLogChannel() const { return receive_ - SharedBase; }
  // Both directions on one shared channel: it is held once.
  bool SameChannel() const { return IsTxExists() && transmit_ == receive_; }

private:
  int transmit_;
  int receive_;
};

class MapFactory : public SlotFactory {
public:
  static constexpr int SharedChannels = 2048;

  static MapFactory& instance();
  MapFactory();

  char const* GetName() const override { return "Map"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources&) override {}

  // Enters the slot for its channels, replacing their older holders.
  void AllocateMapSlot(MapSlot* slot);
  // Leaves the slot's entries empty and disables its receive channel.
  void ReleaseMapSlot(MapSlot* slot);

  MapSlot* holder(int logChannel) const { return table_[logChannel]; }

private:
  void Take(int logChannel, MapSlot* slot);

  MapSlot* table_[SharedChannels];
};

// The switch channel of a shared bus channel.
int GetMapTimeSlot(LGCP::SharedChannel const& channel);
