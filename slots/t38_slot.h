#pragma once
// T.38 slots: fax relayed between a TDM time slot and a T.38 peer by an
// instance of the T.38 program, one child process per slot, whose standard
// input is a transparent channel of the multi-channel controller. The slot
// holds the child's pid and the channel's time slot.
#include <ostream>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "foundation/child_wait.h"

class T38SoftSlot : public Slot {
public:
  T38SoftSlot(int pid, int timeslot);

  void IAfterCreate() override;
  // Sends the child SIGTERM, without waiting for it.
  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return timeslot_; }
  int IGetReceiveChannel() override { return timeslot_; }
  char const* GetName() const override { return "t38 soft"; }

  // The child has ended: abort with its wait status.
  void OnT38Terminate(int status);
  void PutHeader(std::ostream& out) const {
    Put(out);
    out << ": ";
  }
  int pid() const { return pid_; }

private:
  int pid_;  // -1 once the child has ended
  int timeslot_;
  ChildWait wait_;
};

class T38SoftFactory : public SlotFactory {
public:
  // Program arguments at most, the program's path and the end mark included.
  static constexpr int MaxArgs = 32;
  // What a failed exec makes the child exit with.
  static constexpr int ExecFailed = 1005;

  static T38SoftFactory& instance();

  char const* GetName() const override { return "T.38 soft"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  // `t38-instances`: what the program says it can run.
  void Query(LGCP::Resources& resources) override;

  // Runs the program with "--num-of-instances" and waits for its answer; 0
  // when it gives none.
  static int QueryNumOfInstances();
  void PutHeader(std::ostream& out) const { out << "t38soft: "; }
};
