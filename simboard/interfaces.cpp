#include "simboard/interfaces.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>

namespace SimBoard {

namespace {

const Interfaces::Interface* byName(const std::vector<Interfaces::Interface>& list, const ifreq& req) {
  const std::string name(req.ifr_name, strnlen(req.ifr_name, IFNAMSIZ));
  for (const Interfaces::Interface& i : list)
    if (i.name == name)
      return &i;
  return nullptr;
}

void putAddress(sockaddr& to, uint32_t address) {
  sockaddr_in in;
  std::memset(&in, 0, sizeof in);
  in.sin_family = AF_INET;
  in.sin_addr.s_addr = htonl(address);
  std::memcpy(&to, &in, sizeof in);
}

}  // namespace

Interfaces::Interfaces() : list_{{"lo", 0x7F000001u, IFF_UP | IFF_LOOPBACK | IFF_RUNNING}} {}

bool Interfaces::answers(unsigned long request) {
  return request == SIOCGIFCONF || request == SIOCGIFADDR || request == SIOCGIFFLAGS;
}

int Interfaces::request(unsigned long request, void* arg) const {
  if (!arg) {
    errno = EFAULT;
    return -1;
  }
  if (request == SIOCGIFCONF) {
    ifconf& conf = *static_cast<ifconf*>(arg);
    const size_t room = conf.ifc_len > 0 ? static_cast<size_t>(conf.ifc_len) / sizeof(ifreq) : 0;
    size_t n = 0;
    for (; n < list_.size() && n < room; ++n) {
      ifreq& r = conf.ifc_req[n];
      std::memset(&r, 0, sizeof r);
      std::strncpy(r.ifr_name, list_[n].name.c_str(), IFNAMSIZ - 1);
      putAddress(r.ifr_addr, list_[n].address);
    }
    conf.ifc_len = static_cast<int>(n * sizeof(ifreq));
    return 0;
  }
  ifreq& req = *static_cast<ifreq*>(arg);
  const Interface* i = byName(list_, req);
  if (!i) {
    errno = ENODEV;
    return -1;
  }
  if (request == SIOCGIFADDR)
    putAddress(req.ifr_addr, i->address);
  else
    req.ifr_flags = static_cast<short>(i->flags);
  return 0;
}

}  // namespace SimBoard
