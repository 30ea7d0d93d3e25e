#include "monitoring/netif_data.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

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

Fd NetIfDataHolder::RequestSocket() { return Fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)); }

bool NetIfDataHolder::updateNetIf() {
  Fd socket = RequestSocket();
  if (!socket) {
    traceError("Error open socket: ");
    return false;
  }
  ifreq request;
  std::memset(&request, 0, sizeof request);
  request.ifr_ifindex = ifindex_;
  if (::ioctl(socket.get(), SIOCGIFNAME, &request) != 0 || ::ioctl(socket.get(), SIOCGIFFLAGS, &request) != 0) {
    traceError("Error ioctl socket: ");
    return false;
  }
  return setNetIfStatus((request.ifr_flags & IFF_RUNNING) ? 1 : 0);
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
