#pragma once
// Echo slots: one channel on one of 16 echo buses, used in both directions.
// A bus serves slots only when the scan has found it present.
#include "core/slot.h"
#include "core/slot_factory.h"

class EchoSlot : public Slot {
public:
  explicit EchoSlot(unsigned channel) : channel_(channel) {}

  void IAfterCreate() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return static_cast<int>(channel_); }
  int IGetReceiveChannel() override { return static_cast<int>(channel_); }
  char const* GetName() const override { return "echo"; }

private:
  unsigned channel_;
};

class EchoFactory : public SlotFactory {
public:
  static constexpr unsigned Buses = 16;
  static constexpr unsigned BusChannels = 32;

  static EchoFactory& instance();
  EchoFactory();

  char const* GetName() const override { return "Echo"; }
  // Buses above 15 or absent, and channels outside 0..31, are refused.
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  // The present buses, ascending, in `echoBus`.
  void Query(LGCP::Resources& resources) override;

  // Finds the present buses. The board offers no way to detect them, so
  // none is marked present.
  void Scan();

private:
  unsigned char present_[Buses];
};
