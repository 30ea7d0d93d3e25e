#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>

#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "foundation/paths.h"
#include "hardware/device_names.h"
#include "slots/modem_control.h"
#include "slots/modem_factory.h"
#include "slots/modem_slot.h"

namespace {

int ddmBits(const TERM::ModemParams& params) {
  int bits = 0;
  for (const TERM::DigitalDataModeEnum& mode : params.get_ddm()) {
    switch (mode.getValue()) {
    case TERM::DigitalDataModeEnum::ddmV110: bits |= ModemCtl::DdmV110; break;
    case TERM::DigitalDataModeEnum::ddm8BIT: bits |= ModemCtl::Ddm8Bit; break;
    case TERM::DigitalDataModeEnum::ddm7BIT: bits |= ModemCtl::Ddm7Bit; break;
    default: break;
    }
  }
  return bits;
}

}  // namespace

DspModemSlot::DspModemSlot(ModemFactory& factory, const TERM::ModemParams& params)
    : ModemSlot(factory, params), timeslot_(-1), modem_(-1) {}

DspModemSlot::~DspModemSlot() {
  pppd_kill();
  unbind();
}

void DspModemSlot::unbind() {
  if (unbinding())
    factory_.ReleaseModemSlot(this);
}

bool DspModemSlot::IOnOutputStream() {
  InitModem();
  return true;
}

bool DspModemSlot::IOnInputStream() {
  InitModem();
  return true;
}

bool DspModemSlot::request(int fd, unsigned long number, int value) {
  ModemCtl::ModemArg arg;
  arg.modem = modem_;
  arg.value = value;
  return DevIo::ioctl(fd, number, &arg) >= 0;
}

void DspModemSlot::InitModem() {
  if (modem_ >= 0)
    return;
  Fd fd(DevIo::open(GetModemDevName(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    failed("fail to open device: ");
    return;
  }
  const int modem = DevIo::ioctl_value(fd.get(), ModemCtl::Allocate, 0);
  if (modem < 0) {
    failed("insufficient resources : ");
    return;
  }
  const int timeslot = DevIo::ioctl_value(fd.get(), ModemCtl::Timeslot, 0);
  if (timeslot < 0) {
    failed("get timeslot fail : ");
    return;
  }
  modem_ = modem;
  if (params_.has_ddm() && !request(fd.get(), ModemCtl::SetDdm, ddmBits(params_))) {
    modem_ = -1;
    failed("set DDM failed : ");
    return;
  }
  if (!request(fd.get(), ModemCtl::ResetDmp, -1))
    std::cerr << ext::header(this) << "reset dmp parameters failed : " << strerror(errno) << std::endl;
  if (params_.has_dmp()) {
    for (const TERM::DDModemParam& p : params_.get_dmp()) {
      ModemCtl::ParamArg arg;
      arg.modem = modem_;
      arg.offset = p.get_offset().getValue();
      arg.value = p.get_value().getValue();
      if (DevIo::ioctl(fd.get(), ModemCtl::SetDmp, &arg) < 0)
        std::cerr << ext::header(this) << "set dmp parameter " << "index=" << p.get_offset().getValue()
                  << " value=" << p.get_value().getValue() << " failed : " << strerror(errno) << std::endl;
    }
  }
  timeslot_ = timeslot;
  device_ = fd;
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
  StartCall(fd);
  // The set-up's own descriptor closes here; the slot keeps its duplicate.
}

void DspModemSlot::StartCall(Fd& fd) {
  if (params_.has_fax()) {
    StartFax(fd);
    return;
  }
  const std::string tty = "/dev/mdm" + std::to_string(modem_);
  if (!params_.has_originate()) {
    if (!request(fd.get(), ModemCtl::Answer, -1))
      failed("answer failed : ");
    else
      pppd_exec(tty, Paths::kPppAnswerOptions);
    return;
  }
  if (!request(fd.get(), ModemCtl::Originate, -1))
    failed("originate failed : ");
  else
    pppd_exec(tty, Paths::kPppOriginateOptions);
}
