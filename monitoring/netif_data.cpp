#include "monitoring/netif_data.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/traces.h"
#include "hardware/errno_suffix.h"

namespace {

const size_t Samples = 3;

void traceError(const char* what) {
  if (traces.monitoring)
    std::clog << what << Hardware::ErrnoSuffix(errno) << std::endl;
}

}  // namespace

NetIfDataHolder::NetIfDataHolder(int ifindex, const std::string& name)
    : state_(-1), operStatus_(2), adminStatus_(2), ifindex_(ifindex), name_(name) {}

bool NetIfDataHolder::updateNetIf() {
  int fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    traceError("Error open socket: ");
    return false;
  }
  bool changed = false;
  ifreq request;
  std::memset(&request, 0, sizeof request);
  request.ifr_ifindex = ifindex_;
  if (::ioctl(fd, SIOCGIFNAME, &request) == 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0)
    changed = setNetIfStatus((request.ifr_flags & IFF_RUNNING) ? 1 : 0);
  else
    traceError("Error ioctl socket: ");
  ::close(fd);
  return changed;
}

bool NetIfDataHolder::setNetIfStatus(int sample) {
  samples_.push_back(sample);
  while (samples_.size() > Samples)
    samples_.pop_front();
  int sum = 0;
  for (int s : samples_)
    sum += s;
  int state = sum > 1 ? 1 : 0;
  operStatus_ = adminStatus_ = state == 1 ? 1 : 2;
  bool changed = state != state_;
  state_ = state;
  return changed;
}
