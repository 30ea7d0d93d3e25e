#pragma once
// E1 and BRI trunk slots: each names one TDM switch channel and owns no
// device, so the controller connects it through the switch. One factory per
// trunk, built before main; a newer slot on a busy time slot replaces the
// older one.
#include "core/slot.h"
#include "core/slot_factory.h"

class TrunkSlot : public Slot {
public:
  explicit TrunkSlot(int channel) : channel_(channel) {}

  int GetTrunk() override { return channel_ >> 5; }
  int GetTrunkTimeSlot() override { return GetTimeSlot(); }
  void IAfterCreate() override;
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return channel_; }
  int IGetReceiveChannel() override { return channel_; }
  char const* GetName() const override { return "trunk"; }
  virtual int GetTimeSlot() { return channel_ & 31; }

  int channel() const { return channel_; }

private:
  int channel_;
};

class TrunkBRISlot : public virtual TrunkSlot {
public:
  explicit TrunkBRISlot(int channel) : TrunkSlot(channel) {}

  int GetTimeSlot() override { return channel() & 3; }
  int GetTrunk() override { return channel() >> 2; }
  int GetTrunkTimeSlot() override { return GetTimeSlot(); }
  char const* GetName() const override { return "trunkBRI"; }
};

class TrunkFactory : public SlotFactory {
public:
  TrunkFactory(unsigned trunk, unsigned base);

  char const* GetName() const override { return "Trunks"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources&) override {}
  // Forgets the slot held for the slot's time slot.
  virtual void ReleaseTrunkSlot(TrunkSlot* slot);

  unsigned trunk() const { return trunk_; }
  TrunkSlot* held(unsigned timeslot) const { return timeslot < 32 ? slots_[timeslot] : nullptr; }

protected:
  // Replaces whatever holds the time slot with a new slot from make.
  template <class Make>
  Slot* Replace(unsigned timeslot, Make make);

  TrunkSlot* slots_[32];
  unsigned trunk_;
  unsigned base_;
};

class TrunkBRIFactory : public virtual TrunkFactory {
public:
  TrunkBRIFactory(unsigned trunk, unsigned base);

  char const* GetName() const override { return "TrunksBRI"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void ReleaseTrunkSlot(TrunkSlot* slot) override;
};

extern TrunkFactory trunk0, trunk1, trunk2, trunk3;
extern TrunkBRIFactory trunk_bri0, trunk_bri1, trunk_bri2, trunk_bri3, trunk_bri4, trunk_bri5, trunk_bri6,
    trunk_bri7;
