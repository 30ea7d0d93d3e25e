#pragma once
// Modem slots: a dial-up data or fax call on a DSP modem of "/dev/mctl"
// (DspModemSlot), or a digital data call on a synchronous "hdlcN" interface
// switched to PPP (HdlcModemSlot). The first stream request sets the modem
// up and starts the PPP daemon or a fax program as a child; the child's
// authentication and accounting reach the controller through the relay,
// and the slot's destruction waits for the child to end.
#include <ostream>
#include <string>

#include "core/slot.h"
#include "foundation/child_wait.h"
#include "foundation/fd.h"
#include "foundation/timer.h"
#include "messages/BASE/BASE.h"
#include "messages/TERM/TERM.h"
#include "slots/auth_records.h"

class ModemFactory;

class ModemSlot : public Slot {
public:
  // How long a child has to end after SIGHUP before it is killed.
  static constexpr unsigned TerminateTimeoutMs = 5000;

  ModemSlot(ModemFactory& factory, const TERM::ModemParams& params);
  ~ModemSlot() override;

  bool IBeforeDestroy() override;
  bool IActivate(TERM::TermActivateParams const& params) override;
  char const* GetName() const override { return "generic-modem"; }
  // The session of the slot's authentication records.
  virtual int modem_id() const = 0;
  // Hands the slot's resources back to the factory; only the first call acts.
  virtual void unbind() = 0;

  // A whole record from the authentication client of this slot's session.
  void OnAuth(const attr* record);

  void PutHeader(std::ostream& out) const;
  int pid() const { return pid_; }
  const TERM::ModemParams& params() const { return params_; }

protected:
  // Starts the PPP daemon on the tty (or interface) with the options file;
  // nothing while a child is recorded.
  void pppd_exec(const std::string& tty, const char* options);
  // Records a started child and watches it with the handler.
  template <class T>
  void watch(int pid, T* owner, void (T::*handler)(int)) {
    pid_ = pid;
    wait_.Bind(owner, handler);
    wait_.Attach(pid);
  }
  void on_terminate(int status);
  // The child has ended: completes a destruction waiting for it (deleting
  // this slot), else sends `abort` with the status.
  void child_ended(int status);
  void on_terminate_timeout();
  // Kills a recorded child that still runs and forgets it; each concrete
  // slot's destructor runs it.
  void pppd_kill();
  // True on the first call only: unbind() hands back once, also when the
  // slot is deleted without its release (the controller lost).
  bool unbinding() {
    bool first = bound_;
    bound_ = false;
    return first;
  }
  // A step that ends the set-up: logs what with the system error text and
  // sends `abort` with errno.
  void failed(const char* what);
  // A 64-bit counter of the controller's messages.
  static BASE::INTEGER64Bits counter(uint32_t high, uint32_t low);

  ModemFactory& factory_;
  TERM::ModemParams params_;
  int pid_;
  ChildWait wait_;
  Timer timer_;

private:
  bool bound_;

  void OnAuthRequest(const voauth* record);
  void OnAcctInformation(const voacct* record);
};

class DspModemSlot : public ModemSlot {
public:
  DspModemSlot(ModemFactory& factory, const TERM::ModemParams& params);
  ~DspModemSlot() override;

  bool IOnOutputStream() override;
  bool IOnInputStream() override;
  int IGetTransmitChannel() override { return timeslot_; }
  int IGetReceiveChannel() override { return timeslot_; }
  char const* GetName() const override { return "dsp-modem"; }
  int modem_id() const override { return modem_; }
  void unbind() override;

  // The ChildWait handler of a fax transfer: its exit code is the page count.
  void on_fax_terminate(int status);

private:
  void InitModem();
  // The set-up step after the common one: PPP or one of the fax branches.
  void StartCall(Fd& fd);
  void StartFax(Fd& fd);
  void RunFaxTransfer(Fd& fd);
  void RunFaxReceiver();
  // A request on the modem {modem, value}; false with errno on failure.
  bool request(int fd, unsigned long number, int value);

  Fd device_;
  int timeslot_;
  int modem_;
};

class HdlcModemSlot : public ModemSlot {
public:
  HdlcModemSlot(ModemFactory& factory, const TERM::ModemParams& params, const std::string& name);
  ~HdlcModemSlot() override;

  bool IOnOutputStream() override;
  bool IOnInputStream() override;
  int IGetTransmitChannel() override { return channel_; }
  int IGetReceiveChannel() override { return channel_; }
  char const* GetName() const override { return "digital-modem"; }
  int modem_id() const override { return -1; }
  void unbind() override;

  const std::string& interface_name() const { return name_; }

private:
  void initModem();

  int channel_;
  std::string name_;
};
