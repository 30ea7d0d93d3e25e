// The fax branch of a DSP modem's set-up: a transfer program given by the
// controller, an outgoing fax the modem starts itself, or the receiver
// program that stores the pages in a time-stamped file.
#include <cerrno>
#include <ctime>
#include <iostream>

#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "foundation/mux_time.h"
#include "foundation/paths.h"
#include "slots/child_program.h"
#include "slots/modem_control.h"
#include "slots/modem_factory.h"
#include "slots/modem_slot.h"

namespace {

// The transfer's argument vector holds 64 entries: the program, "-m", the
// modem number, the arguments and the terminating null.
constexpr size_t MaxFaxArgs = 64 - 4;

// The receiver's file for a start at the loop's current local time.
std::string faxFileName() {
  Mux::timeval now;
  Mux::gettimeval(now);
  time_t seconds = static_cast<time_t>(now.tv_sec);
  tm local;
  localtime_r(&seconds, &local);
  char name[64];
  if (strftime(name, sizeof name, Paths::kFaxFileFormat, &local) == 0)
    name[0] = '\0';
  return Paths::resolve(name);
}

}  // namespace

void DspModemSlot::StartFax(Fd& fd) {
  if (params_.has_execargs())
    RunFaxTransfer(fd);
  else if (params_.has_originate()) {
    if (!request(fd.get(), ModemCtl::FaxOriginate, -1))
      failed("originate failed : ");
  }
  else
    RunFaxReceiver();
}

void DspModemSlot::RunFaxTransfer(Fd& fd) {
  // The program takes the modem over: neither descriptor may stay open.
  device_.close();
  fd.close();
  ChildProgram fax;
  fax.path = Paths::resolve(params_.has_execfile() ? params_.get_execfile().getValue() : Paths::kFaxTransfer);
  fax.args = {"-m", std::to_string(modem_)};
  for (const ASN1::IA5String& arg : params_.get_execargs()) {
    if (fax.args.size() == 2 + MaxFaxArgs)
      break;
    fax.args.push_back(arg.getValue());
  }
  fax.banner = "executing fax transfer\n";
  int pid = StartChild(fax);
  if (pid < 0) {
    failed("vfork fail: ");
    return;
  }
  watch(pid, this, &DspModemSlot::on_fax_terminate);
  std::clog << ext::header(this) << "fax transfer executed" << " modem=" << modem_ << " ts=" << timeslot_
            << std::endl;
}

void DspModemSlot::RunFaxReceiver() {
  device_.close();
  ChildProgram fax;
  fax.path = Paths::resolve(Paths::kFaxReceiver);
  fax.args = {"-m", std::to_string(modem_), "receive", faxFileName()};
  fax.delaySeconds = 1;
  fax.banner = "executing\n";
  int pid = StartChild(fax);
  if (pid < 0) {
    failed("vfork fail: ");
    return;
  }
  // Watched like any child, so that it ends with its slot.
  watch(pid, static_cast<ModemSlot*>(this), &DspModemSlot::on_terminate);
  std::clog << ext::header(this) << "fax receiver executed" << " modem=" << modem_ << " ts=" << timeslot_
            << std::endl;
}

void DspModemSlot::on_fax_terminate(int status) {
  std::clog << ext::header(this) << "fax terminated with code " << status << std::endl;
  if (status & 0xff)
    std::clog << ext::header(this) << "fax transfer failed" << std::endl;
  const int pages = (status >> 8) & 0xff;
  std::clog << ext::header(this) << "pages received: " << pages << std::endl;
  TERM::ModemProceeding proceeding;
  proceeding.select_acct().set_octetsIn(counter(0, static_cast<uint32_t>(pages)));
  OnModem(proceeding);
  child_ended(status);
}
