#include "hardware/bus_ctl.h"

#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "asn1/printer.h"
#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "hardware/board_order.h"
#include "hardware/spi_ctrl.h"

namespace {

const char* const DeviceName = "/dev/hal";
constexpr unsigned long HW_CLOCK_SELECT = 0x80044301;  // {source code}

const char* const SourceNames[] = {"f0", "f1", "f2", "f3", "freerun", "X3", "?1", "?2"};

struct ClockArg {
  Hardware::be_i32 code;
};

}  // namespace

BusCtl* BusCtl::instance() {
  static BusCtl bus;
  return &bus;
}

BusCtl::BusCtl() : fd_(-1), enabled_(true) {}

BusCtl::~BusCtl() { release(); }

void BusCtl::release() {
  if (fd_ >= 0)
    DevIo::close(fd_);
  fd_ = -1;
  enabled_ = true;
}

void BusCtl::DisableControl() {
  std::clog << ext::header(this) << "clock control disabled." << std::endl;
  enabled_ = false;
}

bool BusCtl::IsOpen() {
  if (!enabled_)
    return false;
  if (fd_ < 0)
    fd_ = DevIo::open(DeviceName, O_RDWR | O_CLOEXEC);
  return fd_ >= 0;
}

void BusCtl::OnConnect() {
  if (enabled_)
    SetDefaultClock();
}

void BusCtl::OnDisconnect() {
  if (enabled_)
    SetDefaultClock();
}

bool BusCtl::OnCommand(const LGCP::Command& cmd) {
  if (!cmd.is_clockCfg())
    return false;
  if (!enabled_) {
    Error(LGCP::ErrorCause::unsupported);
    return true;
  }
  // The device's answer only shows in the log: the controller gets success.
  SetClockSrc(cmd.get_clockCfg());
  Success();
  return true;
}

void BusCtl::SetDefaultClock() {
  LGCP::ClockCfg cfg;
  cfg.set_clkSel0(LGCP::ClkSel0::internal);
  cfg.set_bextEn(LGCP::BExtEn::disabled);
  cfg.set_source(-1);
  SetClockSrc(cfg);
}

void BusCtl::SetClockSrc(const LGCP::ClockCfg& cfg) {
  if (!IsOpen()) {
    spiCtrl::instance()->clock(-1);
    std::cerr << ext::header(this) << "set clock source fail: code 1." << std::endl;
    return;
  }
  std::cerr << ext::header(this) << "set clock source cmd: " << cfg << std::endl;
  if (cfg.get_clkSel0().getValue() == LGCP::ClkSel0::internal)
    DrvSetClkSrc(FreeRun);
  else if (cfg.get_bextEn().getValue() == LGCP::BExtEn::disabled)
    DrvSetClkSrc(X3);
  else if (cfg.get_source().getValue() >= 0)
    DrvSetClkSrc(cfg.get_source().getValue());
}

void BusCtl::DrvSetClkSrc(int code) {
  if (fd_ < 0) {
    std::cerr << ext::header(this) << "device open error" << std::endl;
    return;
  }
  ClockArg arg;
  arg.code = code;
  if (DevIo::ioctl(fd_, HW_CLOCK_SELECT, &arg) < 0) {
    std::cerr << ext::header(this) << "HW_CLOCK_SELECT fail." << std::endl;
    return;
  }
  std::cerr << ext::header(this) << "clock source = ";
  // Codes beyond the table have no name; the driver decides whether they serve.
  if (code < static_cast<int>(sizeof SourceNames / sizeof SourceNames[0]))
    std::cerr << SourceNames[code];
  else
    std::cerr << code;
  std::cerr << std::endl;
}
