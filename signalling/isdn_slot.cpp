#include "signalling/isdn_slot.h"

#include <cerrno>
#include <iostream>

#include "core/traces.h"
#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "hardware/board_order.h"
#include "signalling/lapd_frames.h"
#include "signalling/link_slot.h"

namespace {

// The B channel add and remove record.
struct BChannelRecord {
  Hardware::be_u32 index;
  Hardware::be_i32 channel;
};
static_assert(sizeof(BChannelRecord) == 8, "driver layout");

}  // namespace

IsdnSlot::IsdnSlot(const Fd& device, int channel, ISDN::LAPD* lapd, const char* eventName)
    : channel_(channel), device_(device), lapd_(lapd), ready_(false), closing_(false) {
  lapd_->set_notify(this);
  lapd_->set_hdlc(this);
  event_.Bind(eventName, &IsdnSlot::OnEvent, this);
  event_.Schedule(device_, POLLIN | POLLOUT);
  add_protocol_tail(lapd_);
}

// The link goes first, while its channel is still open; nothing of its
// ending reaches the controller, and none of its timers outlives the slot.
IsdnSlot::~IsdnSlot() {
  closing_ = true;
  deactivate();
  while (Protocol* layer = top())
    delete layer;
  lapd_ = nullptr;
  event_.Release();
}

void IsdnSlot::PutHeader(std::ostream& out) const {
  out << "isdn: ";
  Put(out);
}

bool IsdnSlot::IActivate(TERM::TermActivateParams const&) {
  activate();
  return true;
}

bool IsdnSlot::IDeactivate() {
  deactivate();
  return true;
}

bool IsdnSlot::IUserData(std::vector<char> const& data) {
  Packet p;
  if (const char* why = LinkSlot::UserDataPacket(*this, data, ISDN::Lapd::N201, p)) {
    std::cerr << ext::header(this) << ": user data of " << data.size() << " bytes refused: " << why << std::endl;
    return false;
  }
  message(p);
  return true;
}

bool IsdnSlot::hdlc_transmit(Packet& frame) {
  if (frame.length() == 0)
    return true;
  if (!device_)
    return false;
  for (;;) {
    if (DevIo::write(device_.get(), frame.data(), frame.length()) >= 0) {
      if (traces.isdn)
        std::clog << ext::header(this) << ": tx " << frame.text() << std::endl;
      return true;
    }
    if (errno == EINTR)
      continue;
    if (errno == EAGAIN && watching()) {
      // Full: the next writable event makes the link send again.
      ready_ = false;
      event_.Schedule(event_.fd(), POLLIN | POLLOUT);
    }
    return false;
  }
}

void IsdnSlot::OnEvent(int fd, short revents) {
  if (revents & POLLIN) {
    Packet frame;
    ssize_t n = intake_.read(fd, frame);
    if (n > 0 && frame.null()) {
      if (intake_.drops_began())
        std::cerr << ext::header(this) << ": no packet buffer free: frames dropped (" << intake_.dropped()
                  << " in all)" << std::endl;
    } else if (n > 0) {
      if (traces.isdn)
        std::clog << ext::header(this) << ": rx " << frame.text() << std::endl;
      receive(frame);
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      // The channel has ended: a hang-up would be reported on every poll.
      std::cerr << ext::header(this) << ": channel ended, reading stopped" << std::endl;
      event_.Release();
      return;
    }
  } else if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
    std::cerr << ext::header(this) << ": channel failed, reading stopped" << std::endl;
    event_.Release();
    return;
  }
  if ((revents & POLLOUT) && !ready_ && watching()) {
    ready_ = true;
    event_.Schedule(event_.fd(), POLLIN);
    if (lapd_)
      lapd_->on_hdlc_ready();
  }
}

void IsdnSlot::on_message(Packet& p) {
  if (closing_)
    return;
  OnUserData(LinkSlot::Bytes(p));
}

void IsdnSlot::on_activated(Protocol*) {
  if (closing_)
    return;
  UpdateISDN_Statistics();
  OnActivated();
}

void IsdnSlot::on_deactivated(Protocol*, Protocol_status) {
  if (closing_)
    return;
  UpdateISDN_Statistics();
  OnDeactivated();
}

void IsdnSlot::UpdateISDN_Statistics() {
  LGCP::IoctlResponse r;
  if (LinkSlot::IsdnLinkInfo(*lapd_, r))
    OnIoctlResponse(r);
}

// ---- ATS-QSIG ----

AtsQsigSlot::AtsQsigSlot(const Fd& device, int channel, ISDN::LAPD* lapd)
    : IsdnSlot(device, channel, lapd, "AtsQsigSlot::OnEvent") {}

bool AtsQsigSlot::IBeforeDestroy() {
  StopWatching();
  return true;
}

AtsQsigBSlot* AtsQsigSlot::NewBChannel(unsigned index) {
  BChannelRecord record{index, -1};
  if (DevIo::ioctl(device().get(), IsdnFactory::DspDataAddB, &record) < 0) {
    std::cerr << "ats-qsig: " << "add B channel fail !!!" << std::endl;
    return nullptr;
  }
  return new AtsQsigBSlot(id(), index, record.channel);
}

void AtsQsigSlot::RemoveBChannel(unsigned index, int channel) {
  BChannelRecord record{index, channel};
  if (DevIo::ioctl(device().get(), IsdnFactory::DspDataRemoveB, &record) < 0)
    std::cerr << "ats-qsig: " << "remove B channel fail" << std::endl;
}

void AtsQsigBSlot::PutHeader(std::ostream& out) const {
  out << "ats-qsig: ";
  Put(out);
  out << ": ";
}

bool AtsQsigBSlot::IBeforeDestroy() {
  auto* made = dynamic_cast<IsdnFactory*>(factory());
  Slot* parent = made ? made->FindSlot(parent_) : nullptr;
  if (AtsQsigSlot* qsig = dynamic_cast<AtsQsigSlot*>(parent))
    qsig->RemoveBChannel(index_, channel_);
  else if (!parent)
    std::clog << ext::header(this) << "Can't find signalling slot" << std::endl;
  return true;
}
