// The factory of the ISDN, ATS-QSIG and ATS-QSIG B-channel slots.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>

#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "hardware/device_names.h"
#include "hardware/mcc_ctl.h"
#include "signalling/isdn_slot.h"

namespace {

ISDN::LAPD* NewLink(unsigned log, bool network) {
  ISDN::LAPD* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
  lapd->set_log(log);
  lapd->set_side(network ? ISDN::Side::network : ISDN::Side::user);
  return lapd;
}

}  // namespace

IsdnFactory& IsdnFactory::instance() {
  static IsdnFactory factory;
  return factory;
}

Slot* IsdnFactory::INewSlot(LGCP::CreateParams const& params) {
  if (params.is_isdn())
    return NewIsdnSlot(params.get_isdn());
  if (params.is_ats_qsig())
    return NewAtsQsigSlot(params.get_ats_qsig());
  if (params.is_ats_qsig_b())
    return NewAtsQsigBSlot(params.get_ats_qsig_b());
  return nullptr;
}

Slot* IsdnFactory::FindSlot(unsigned number) const {
  for (Slot* slot : slots())
    if (slot->id() == number)
      return slot;
  return nullptr;
}

Slot* IsdnFactory::NewIsdnSlot(LGCP::IsdnParams const& params) {
  Fd fd = MccCtl::Open(O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (!fd) {
    int err = errno;
    std::cerr << ext::header(this) << "fail to open MCC device: " << std::strerror(err) << std::endl;
    return nullptr;
  }
  bool bri = params.get_type().getValue() == LGCP::IsdnType::bri;
  ISDN::LAPD* lapd = NewLink(static_cast<unsigned>(params.get_log().getValue()), params.get_side().is_network());
  if (bri)
    lapd->change_to_bri();
  lapd->set_id(static_cast<unsigned>(params.get_trunk().getValue()));
  if (!MccCtl::Allocate(fd, MccCtl::Allocation{bri ? MccCtl::Bri : MccCtl::Data, 512, 1, 1})) {
    int err = errno;
    std::cerr << ext::header(this) << "MCC_ALLOCATE fail: " << std::strerror(err) << std::endl;
    delete lapd;
    return nullptr;
  }
  int channel = MccCtl::Timeslot(fd);
  if (channel < 0) {
    int err = errno;
    std::cerr << ext::header(this) << "MCC_TIMESLOT fail: " << std::strerror(err) << std::endl;
    delete lapd;
    return nullptr;
  }
  return new IsdnSlot(fd, channel, lapd, "IsdnSlot::OnEvent");
}

Slot* IsdnFactory::NewAtsQsigSlot(LGCP::AtsQsigParams const& params) {
  Fd fd(DevIo::open(GetDspDataDevName(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!fd) {
    int err = errno;
    std::cerr << ext::header(this) << "fail to open dsp-data device: " << std::strerror(err) << std::endl;
    return nullptr;
  }
  int channel = DevIo::ioctl(fd.get(), DspDataChannel, nullptr);
  if (channel < 0) {
    int err = errno;
    std::cerr << ext::header(this) << "dsp-data channel query fail: " << std::strerror(err) << std::endl;
    return nullptr;
  }
  ISDN::LAPD* lapd = NewLink(static_cast<unsigned>(params.get_log().getValue()), params.get_side().is_network());
  AtsQsigSlot* slot = new AtsQsigSlot(fd, channel, lapd);
  lapd->set_id(static_cast<unsigned>(channel));
  return slot;
}

Slot* IsdnFactory::NewAtsQsigBSlot(LGCP::AtsQsigBParams const& params) {
  auto* parent = dynamic_cast<AtsQsigSlot*>(FindSlot(static_cast<unsigned>(params.get_slot().getValue())));
  int subslot = params.get_subslot().getValue();
  if (!parent || subslot <= 0)
    return nullptr;
  return parent->NewBChannel(static_cast<unsigned>(subslot - 1));
}
