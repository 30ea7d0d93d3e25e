#include "signalling/hdlc_slot.h"

#include <algorithm>
#include <iostream>

#include "core/traces.h"
#include "foundation/ext.h"
#include "signalling/link_slot.h"

namespace {
using Packages = ASN1::SEQUENCE_OF<LGCP::HdlcPackage, ASN1::EmptyConstraint>;
}  // namespace

HdlcSlot::HdlcSlot(LGCP::HdlcParams const& params)
    : ChannelSlot(params.get_trunk().getValue(), static_cast<unsigned>(params.get_log().getValue())),
      trunk_(params.get_trunk().getValue() - 1),
      flush_(this, &HdlcSlot::flushResponce),
      address_(static_cast<uint16_t>(params.get_address().getValue())),
      sendCounter_(0),
      peerCounter_(0) {
  if (traces.hdlc)
    std::clog << ext::header(this) << "trunk=" << trunk_ << ", address=" << address_ << std::endl;
}

void HdlcSlot::PutHeader(std::ostream& out) const { out << "HdlcSlot[" << trunk_ << "/*]" << ": "; }

void HdlcSlot::connect(int tdm) {
  HDLC::Params p = hdlc_->params();
  p.tdm = tdm;
  p.mode = 1;  // one line channel both ways
  hdlc_->set_params(p);
  if (tdm != -1)
    iactivate();
}

bool HdlcSlot::IHwConnectTransmitter(Slot& receiver) {
  connect(receiver.IGetReceiveChannel());
  return true;
}

bool HdlcSlot::IHwConnectReceiver(Slot& source) {
  connect(source.IGetTransmitChannel());
  return true;
}

bool HdlcSlot::IHwDisconnectTransmitter(Slot& receiver) {
  if (traces.hdlc)
    std::clog << ext::header(this) << "IHwDisconnectTransmitter" << std::endl;
  Slot::IHwDisconnectTransmitter(receiver);
  hdlc_->deactivate();
  return true;
}

bool HdlcSlot::IHwDisconnectReceiver(Slot& source) {
  if (traces.hdlc)
    std::clog << ext::header(this) << "IHwDisconnectReceiver" << std::endl;
  Slot::IHwDisconnectReceiver(source);
  hdlc_->deactivate();
  return true;
}

void HdlcSlot::iactivate() {
  if (traces.hdlc)
    std::clog << ext::header(this) << "Try to activate HDCL, params.tdm = " << hdlc_->params().tdm << std::endl;
  if (OpenChannel() && traces.hdlc)
    std::clog << ext::header(this) << "HDLC activated successfully" << std::endl;
}

bool HdlcSlot::IActivate(TERM::TermActivateParams const&) {
  if (traces.hdlc)
    std::clog << ext::header(this) << "IActivate" << std::endl;
  iactivate();
  return true;
}

bool HdlcSlot::IDeactivate() {
  OnUpdateTimer();
  return true;
}

bool HdlcSlot::Ioctl(LGCP::IoctlParams const& params) {
  if (!params.is_hdlcPackages())
    return false;
  const Packages& packages = params.get_hdlcPackages();
  // A body a packet cannot hold is refused with the whole command.
  for (const LGCP::HdlcPackage& package : packages)
    if (package.get_body().size() > packet_max_size - HeaderSize) {
      std::cerr << ext::header(this) << "package of " << package.get_body().size() << " bytes refused" << std::endl;
      return false;
    }
  // So is a command whose frames the pool cannot spare buffers for: the
  // queue keeps what it holds, and the command is not half done.
  size_t queued = std::min<size_t>(packages.size(), QueueSize - queue_.count());
  if (packet_pool().available() < packet_reserve + queued) {
    std::cerr << ext::header(this) << queued << " packages refused: no packet buffer free" << std::endl;
    return false;
  }
  for (const LGCP::HdlcPackage& package : packages) {
    const ASN1::OCTET_STRING& body = package.get_body();
    unsigned char counters = static_cast<unsigned char>(((sendCounter_ << 5) & 0xE0) | peerCounter_);
    ++sendCounter_;
    Packet frame;
    if (queue_.count() == QueueSize || !frame.take(0, packet_reserve))
      continue;  // a full queue drops it
    frame.put16_b(address_);
    frame.put(counters);
    if (!body.empty())
      frame.put(body.data(), static_cast<unsigned>(body.size()));
    if (traces.hdlc)
      std::clog << ext::header(this) << "enqueue package: " << frame.text() << std::endl;
    queue_.put(frame);
  }
  if (!queue_.empty() && hdlc_->is_ready())
    on_hdlc_ready();
  return true;
}

void HdlcSlot::on_hdlc_ready() {
  Packet frame;
  while (queue_.preview(&frame)) {
    if (!hdlc_->hdlc_transmit(frame))
      return;  // tried again when the channel can take it
    queue_.get(nullptr);
    if (traces.hdlc)
      std::clog << ext::header(this) << "on_hdlc_ready" << frame.text() << std::endl;
  }
}

void HdlcSlot::on_hdlc_receive(Packet& frame) {
  if (traces.hdlc)
    std::clog << ext::header(this) << "on_hdlc_receive" << frame.text() << std::endl;
  if (frame.length() < HeaderSize)
    return;  // not even an address and counters
  uint16_t address = frame.pull16_b();
  uint8_t counters = frame.pull();
  // Bit 7 of the payload's second byte set: more of the batch follows. A
  // payload without a second byte cannot say so: it ends the batch.
  bool more = frame.length() >= 2 && (frame[1] & 0x80);
  if (address == address_) {
    peerCounter_ = counters >> 5;
    LGCP::HdlcPackage package;
    ASN1::OCTET_STRING& body = package.mutable_body();
    body.getValue().assign(frame.data(), frame.data() + frame.length());
    pending_.push_back(package);
  }
  if (!more)
    flushResponce();
  else if (!flush_.running())
    flush_.start(FlushDelay);
}

void HdlcSlot::flushResponce() {
  flush_.stop();
  if (traces.hdlc)
    std::clog << ext::header(this) << "flushResponce: " << pending_.size() << std::endl;
  if (!pending_.empty()) {
    LGCP::IoctlResponse r;
    r.select_hdlcPackages() = pending_;
    OnIoctlResponse(r);
  }
  pending_.clear();
}

void HdlcSlot::on_hdlc_error(Cause::Type cause) {
  std::clog << ext::header(this) << "on_hdlc_error" << " " << cause << std::endl;
}

HdlcSlotFactory& HdlcSlotFactory::instance() {
  static HdlcSlotFactory factory;
  return factory;
}

Slot* HdlcSlotFactory::INewSlot(LGCP::CreateParams const& params) {
  if (traces.hdlc)
    std::clog << "\n\n" << "HdlcSlotFactory.INewSlot" << "\n\n" << std::endl;
  if (!params.is_hdlcParams())
    return nullptr;
  return new HdlcSlot(params.get_hdlcParams());
}

void HdlcSlotFactory::SelfSignal(LGCP::Signal const& sig) { PassTrunkStatus(sig); }
