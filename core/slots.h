#pragma once
// The slot registry: the control service that owns every slot. It keeps the
// table of slot numbers, carries out the controller's slot commands and the
// resources query, waits for slots whose release takes time, clears every
// slot when the controller goes away and passes trunk status to the factories.
#include <list>
#include <vector>

#include "core/ctrl_service.h"

class Slot;

class Slots : public CtrlSrv::Service {
public:
  static constexpr unsigned TableSize = 1024;
  // The pause before slots still releasing are deleted when the controller is lost.
  static constexpr int ReleasePauseMs = 1000;

  static Slots& instance();

  void OnConnect() override {}
  // Destroys every slot; those still releasing after the pause are deleted.
  void OnDisconnect() override;
  bool OnCommand(LGCP::Command const& cmd) override;
  // Trunk status goes to every factory.
  void OnSignal(LGCP::Signal const& sig) override;

  // Tears a registered slot down: true when it was deleted at once, false
  // when its release is pending (also when it already was).
  bool Destroy(Slot* slot);
  // Completes a destruction: the report to the controller, then deletion.
  void on_release(Slot* slot);
  // Unregisters and deletes the slot.
  void int_destroy(Slot* slot);
  // Sends the resources report as the `query` signal.
  void UpdateHardwareResources();
  static bool CheckSlot(unsigned n) { return n < TableSize; }

  void CmdQuery();
  void CmdConnect(unsigned receiver);
  void CmdDisconnect();
  void CmdCreate(LGCP::CreateParams const& params);
  void CmdDestroy();
  void CmdActivate(TERM::TermActivateParams const& params);
  void CmdDeactivate();
  void CmdUserData(std::vector<char> const& data);
  void CmdIoctl(LGCP::IoctlParams const& params);

  Slot* slot(unsigned n) const { return CheckSlot(n) ? table_[n] : nullptr; }
  const std::list<Slot*>& slots() const { return slots_; }

private:
  Slots();
  // The slot of the current command; null (after answering) when the
  // number is free or the slot is being destroyed.
  Slot* CommandSlot();
  // Parts the slot from its source and from every receiver.
  void Unlink(Slot* slot);

  Slot* table_[TableSize];
  std::list<Slot*> slots_;  // in order of registration
  Slot* beforeDestroy_;     // the slot whose IBeforeDestroy runs
};
