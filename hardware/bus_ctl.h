#pragma once
// The clock source of the board's TDM buses, selected through "/dev/hal" on
// the controller's `clockCfg` command; at every controller connect and
// disconnect the buses fall back to the free-running clock. Clock control
// can be switched off for the whole run ("--disable-clock").
#include <ostream>

#include "core/ctrl_service.h"
#include "foundation/device_io.h"

class BusCtl : public CtrlSrv::Service, private DevIo::Holder {
public:
  // Source codes of the clock select request.
  static constexpr int FreeRun = 4;
  static constexpr int X3 = 5;

  static BusCtl* instance();

  void DisableControl();
  bool enabled() const { return enabled_; }

  void OnConnect() override;
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command& cmd) override;

  // Opens the device unless it is open (never while control is disabled).
  bool IsOpen();
  void PutHeader(std::ostream& out) const { out << "clkctl: "; }

private:
  BusCtl();
  ~BusCtl() override;

  // A new board: the device closed and clock control on, as constructed.
  void release() override;

  void SetClockSrc(const LGCP::ClockCfg& cfg);
  void SetDefaultClock();
  void DrvSetClkSrc(int code);

  int fd_;
  bool enabled_;
};
