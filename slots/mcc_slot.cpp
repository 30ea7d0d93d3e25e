#include "slots/mcc_slot.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>

#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "hardware/mcc_ctl.h"

MccSlot::MccSlot(const Fd& channel) : timeslot_(MccCtl::Timeslot(channel)), channel_(channel) {
  frame_.reserve(FrameSize);
  event_.Bind("MccSlot::OnEvent", &MccSlot::OnEvent, this);
  event_.Schedule(channel_, POLLIN);
}

void MccSlot::PutHeader(std::ostream& out) const {
  out << "mcc: ";
  Put(out);
  out << ": ";
}

void MccSlot::OnEvent(int, short revents) {
  const short failed = POLLERR | POLLHUP | POLLNVAL;
  ReadEnd end = (revents & POLLIN) ? DoRead() : ReadEnd::Failed;
  // A hang-up or an error stays reported on every poll: once nothing more
  // can be read, the channel is not watched any longer.
  if (end == ReadEnd::Drained || (end == ReadEnd::Failed && !(revents & failed)))
    return;
  if (revents & POLLHUP)
    StopReading("channel hung up");
  else
    StopReading(end == ReadEnd::Closed ? "channel closed" : "channel failed");
}

MccSlot::ReadEnd MccSlot::DoRead() {
  for (;;) {
    frame_.resize(FrameSize);
    ssize_t n = DevIo::read(event_.fd().get(), frame_.data(), FrameSize);
    if (n > 0) {
      frame_.resize(static_cast<size_t>(n));
      OnUserData(frame_);
      if (!reading())
        return ReadEnd::Drained;
      continue;
    }
    if (n == 0)
      return ReadEnd::Closed;  // a channel gives no empty frames: it has ended
    if (errno == EINTR)
      continue;
    return errno == EAGAIN ? ReadEnd::Drained : ReadEnd::Failed;
  }
}

void MccSlot::StopReading(const char* why) {
  std::cerr << ext::header(this) << why << ", reading stopped" << std::endl;
  event_.Release();
}

bool MccSlot::IUserData(std::vector<char> const& data) {
  if (data.empty())
    return true;  // nothing to send; an empty frame would read as the channel's end
  ssize_t n;
  do
    n = DevIo::write(channel_.get(), data.data(), data.size());
  while (n < 0 && errno == EINTR);
  if (n < 0) {
    int err = errno;
    std::cerr << ext::header(this) << "write failed: " << std::strerror(err) << std::endl;
    return false;
  }
  if (static_cast<size_t>(n) != data.size()) {
    std::cerr << ext::header(this) << "short write: " << n << " of " << data.size() << " bytes" << std::endl;
    return false;
  }
  return true;
}

MccFactory& MccFactory::instance() {
  static MccFactory factory;
  return factory;
}

Slot* MccFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_mcc())
    return nullptr;
  Fd fd = MccCtl::Open(O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (!fd) {
    int err = errno;
    std::cerr << ext::header(this) << "fail to open MCC device: " << std::strerror(err) << std::endl;
    return nullptr;
  }
  const LGCP::MccParams& p = params.get_mcc();
  unsigned type = static_cast<unsigned>(p.get_type().getValue());
  if (type > MccCtl::Transparent)
    return nullptr;
  if (p.get_mode().getValue() == LGCP::MccMode::ss7)
    type = MccCtl::Ss7;
  std::clog << ext::header(this) << "MCC_ALLOCATE type=" << type << std::endl;
  if (!MccCtl::Allocate(fd, MccCtl::Allocation{type, 512, 1, 1})) {
    int err = errno;
    std::cerr << ext::header(this) << "MCC_ALLOCATE fail: " << std::strerror(err) << std::endl;
    return nullptr;
  }
  return new MccSlot(fd);
}

void MccFactory::Query(LGCP::Resources& resources) {
  MccCtl::Counts counts;
  MccCtl::QueryCounts(counts);
  resources.set_mcc_data(counts.data);
  resources.set_mcc_bri(counts.bri);
  resources.set_mcc_trans(counts.transparent);
}
