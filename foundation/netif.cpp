#include "foundation/netif.h"

#include <cstring>
#include <functional>
#include <net/if.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "foundation/device_io.h"

namespace Net {

namespace {

bool inNet(uint32_t address, uint32_t net, int prefix) {
  const uint32_t mask = prefix == 0 ? 0 : ~0u << (32 - prefix);
  return (address & mask) == net;
}

// Calls visit(socket, request) for every selected IPv4 interface of the
// kernel's list (at most 16 interfaces); counts the visits that return true.
// The interface requests go through the device I/O layer: the board's
// interfaces are part of what the simulated board stands in for.
int forEachSelected(ifconfig_mode_t mode, const std::function<bool(int, ifreq&)>& visit) {
  const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0)
    return -1;
  ifreq records[16];
  std::memset(records, 0, sizeof records);
  ifconf conf;
  conf.ifc_len = sizeof records;
  conf.ifc_req = records;
  if (DevIo::ioctl(sock, SIOCGIFCONF, &conf) < 0) {
    ::close(sock);
    return -1;
  }
  int count = 0;
  const int n = conf.ifc_len / static_cast<int>(sizeof(ifreq));
  for (int i = 0; i < n; ++i) {
    if (records[i].ifr_addr.sa_family != AF_INET)
      continue;
    sockaddr_in address;
    std::memcpy(&address, &records[i].ifr_addr, sizeof address);
    const std::string name(records[i].ifr_name, strnlen(records[i].ifr_name, IFNAMSIZ));
    if (!ifconfig_selects(name, address, mode))
      continue;
    ifreq request;
    std::memset(&request, 0, sizeof request);
    std::memcpy(request.ifr_name, records[i].ifr_name, IFNAMSIZ);
    if (visit(sock, request))
      ++count;
  }
  ::close(sock);
  return count;
}

}  // namespace

bool ifconfig_selects(const std::string& name, const sockaddr_in& address, ifconfig_mode_t mode) {
  if (mode == 0)
    return true;
  const uint32_t a = ntohl(address.sin_addr.s_addr);
  if ((mode & NotLoopback) && strcasecmp(name.c_str(), "lo") != 0)
    return true;
  if ((mode & LinkLocal) && inNet(a, 0xA9FE0000u, 16))
    return true;
  if ((mode & Private) && (inNet(a, 0x0A000000u, 8) || inNet(a, 0xAC100000u, 12) || inNet(a, 0xC0A80000u, 16)))
    return true;
  return false;
}

int ifconfig(std::list<INet4::Addr>& addresses, ifconfig_mode_t mode) {
  return forEachSelected(mode, [&](int sock, ifreq& request) {
    if (DevIo::ioctl(sock, SIOCGIFADDR, &request) < 0)
      return false;
    INet4::Addr address;
    std::memcpy(&address.sockaddr(), &request.ifr_addr, sizeof(sockaddr_in));
    addresses.push_back(address);
    return true;
  });
}

int ifconfig(std::list<std::string>& names, ifconfig_mode_t mode, unsigned int flags) {
  return forEachSelected(mode, [&](int sock, ifreq& request) {
    if (DevIo::ioctl(sock, SIOCGIFADDR, &request) < 0)
      return false;
    if (DevIo::ioctl(sock, SIOCGIFFLAGS, &request) < 0)
      return false;
    if ((static_cast<unsigned int>(static_cast<unsigned short>(request.ifr_flags)) & flags) != flags)
      return false;
    names.push_back(std::string(request.ifr_name, strnlen(request.ifr_name, IFNAMSIZ)));
    return true;
  });
}

std::string hostname() {
  char name[512];
  if (::gethostname(name, sizeof name) < 0)
    return std::string();
  name[sizeof name - 1] = '\0';
  return name;
}

int hostname(const std::string& name) { return ::sethostname(name.c_str(), name.size()); }

}  // namespace Net
