#pragma once
// Ext slots: a transmit and a receive channel of the shared bus range. The
// slot takes a source only while the controller has it activated.
#include "core/slot.h"
#include "core/slot_factory.h"

class ExtSlot : public Slot {
public:
  ExtSlot(int transmit, int receive) : transmit_(transmit), receive_(receive) {}

  void IAfterCreate() override { OnChangeOutputStream(true); }
  bool IBeforeDestroy() override;
  bool IActivate(TERM::TermActivateParams const& params) override;
  bool IDeactivate() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return input_stream(); }
  int IGetTransmitChannel() override { return transmit_; }
  int IGetReceiveChannel() override { return receive_; }
  char const* GetName() const override { return "bri"; }

private:
  int transmit_;
  int receive_;
};

class ExtFactory : public SlotFactory {
public:
  static ExtFactory& instance();

  char const* GetName() const override { return "Ext"; }
  // Channels outside the shared range (values outside 0..2047) are refused.
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources&) override {}
};
