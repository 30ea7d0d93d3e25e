#pragma once
// The board's IPv4 interfaces and its host name.
#include <list>
#include <string>
#include <netinet/in.h>

#include "foundation/inet4_addr.h"

namespace Net {

// Which interfaces to list; set bits combine as a union, 0 takes every one.
typedef unsigned int ifconfig_mode_t;
enum : ifconfig_mode_t {
  NotLoopback = 1,  // every interface whose name is not "lo" (any case)
  LinkLocal = 2,    // address in 169.254.0.0/16
  Private = 4,      // address in 10.0.0.0/8, 172.16.0.0/12 or 192.168.0.0/16
};

// Whether an interface of this name and IPv4 address is selected by mode.
bool ifconfig_selects(const std::string& name, const sockaddr_in& address, ifconfig_mode_t mode);

// Appends the IPv4 address of every selected interface: the number
// appended, or -1 when the interfaces cannot be enumerated.
int ifconfig(std::list<INet4::Addr>& addresses, ifconfig_mode_t mode);
// Appends the names of the selected interfaces whose flags hold every bit of
// flags: the number appended, or -1.
int ifconfig(std::list<std::string>& names, ifconfig_mode_t mode, unsigned int flags);

// The host name, "" when it cannot be read.
std::string hostname();
int hostname(const std::string& name);

}  // namespace Net
