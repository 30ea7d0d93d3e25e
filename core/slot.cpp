#include "core/slot.h"

#include <iomanip>
#include <iostream>

#include "core/slot_factory.h"
#include "core/slots.h"
#include "messages/LEMZGW/LEMZGW.h"
#include "messages/TERM/TERM.h"

Slot::Slot()
    : id_(NoId), source_(nullptr), factory_(nullptr), inputActive_(false), outputActive_(false),
      destroying_(false), token_(0) {}

Slot::~Slot() { receivers_.clear(); }

void Slot::Put(std::ostream& out) const {
  if (id_ == NoId)
    out << "na";
  else if (id_ < 1024) {
    char fill = out.fill('0');
    out << std::setw(2) << id_;
    out.fill(fill);
  }
  else
    out << 'i' << id_;
  out << ':' << GetName();
}

void Slot::SendSignal(LGCP::Signal const& sig) { Slots::instance().SendSignal(id_, sig); }

void Slot::SendAlternative(int alternative, ASN1::AbstractData* value) {
  LGCP::Signal sig;
  sig.setSelection(alternative, value);
  SendSignal(sig);
}

void Slot::OnTonecEvent(LGCP::TonecEvent const& event) { SendAlternative(LGCP::Signal::alt_tonec, event.clone()); }

void Slot::OnNumber(std::string const& digits) {
  LGCP::Signal sig;
  sig.select_number() = digits;
  SendSignal(sig);
}

void Slot::OnModem(TERM::ModemProceeding const& record) {
  SendAlternative(LGCP::Signal::alt_modemProceeding, record.clone());
}

void Slot::OnModem(TERM::ModemInformation const& record) {
  SendAlternative(LGCP::Signal::alt_modemInformation, record.clone());
}

void Slot::OnActivated() {
  LGCP::Signal sig;
  sig.select_activated();
  SendSignal(sig);
}

void Slot::OnDeactivated() {
  LGCP::Signal sig;
  sig.select_deactivated() = LGCP::DeactivateCause::networkError;
  SendSignal(sig);
}

void Slot::OnAbort(int code) {
  LGCP::Signal sig;
  sig.select_abort().setValue(code);
  SendSignal(sig);
}

void Slot::OnUserData(std::vector<char> const& data) {
  LGCP::Signal sig;
  sig.select_userData() = data;
  SendSignal(sig);
}

void Slot::OnIoctlResponse(LGCP::IoctlResponse const& response) {
  SendAlternative(LGCP::Signal::alt_ioctl, response.clone());
}

void Slot::OnRtpRadioEvent(TERM::RtpRadioRequest const& request) {
  SendAlternative(LGCP::Signal::alt_rtpExt, request.clone());
}

void Slot::OnVADEvent(LGCP::VADEvent const& event) { SendAlternative(LGCP::Signal::alt_vad, event.clone()); }

void Slot::OnProtoLemzEvent(LEMZGW::ProtoLemzPackets const& packets) {
  SendAlternative(LGCP::Signal::alt_protoLemz, packets.clone());
}

void Slot::OnSDEvent(LGCP::SDEvent const& event) { SendAlternative(LGCP::Signal::alt_sd, event.clone()); }

void Slot::OnRtpEvent(LGCP::RtpEvent const& event) { SendAlternative(LGCP::Signal::alt_rtp, event.clone()); }

void Slot::on_release() {
  if (!destroying_)
    return;
  if (factory_)
    factory_->Remove(this);
  Slots::instance().on_release(this);
}

bool Slot::BeforeDestroy() {
  if (!IBeforeDestroy())
    return false;
  if (factory_)
    factory_->Remove(this);
  else
    std::cerr << "slot: internal error!!! BeforeDestroy() not connected to factory" << std::endl;
  return true;
}
