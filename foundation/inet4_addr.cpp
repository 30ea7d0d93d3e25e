#include "foundation/inet4_addr.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace INet4 {

void Addr::Reset() {
  memset(&addr_, 0, sizeof addr_);
  addr_.sin_family = AF_INET;
}

bool Addr::Assign(const char* text, int* port) {
  std::string host(text ? text : "");
  std::string::size_type colon = host.find(':');
  if (colon == std::string::npos) {
    if (port)
      *port = -1;
  } else {
    int value = atoi(host.c_str() + colon + 1);
    addr_.sin_port = htons(static_cast<unsigned short>(value));
    if (port)
      *port = value;
    host.resize(colon);
  }
  in_addr parsed;
  if (inet_aton(host.c_str(), &parsed) == 0)
    return false;
  addr_.sin_addr = parsed;
  return true;
}

void Addr::Assign(unsigned long address) { addr_.sin_addr.s_addr = static_cast<in_addr_t>(address); }

bool Addr::IsEqual(const Addr& other) const {
  return addr_.sin_addr.s_addr == other.addr_.sin_addr.s_addr && addr_.sin_port == other.addr_.sin_port;
}

void Addr::Put(std::ostream& out) const { out << GetString(); }

std::string Addr::GetString() const {
  char dotted[INET_ADDRSTRLEN];
  inet_ntop(AF_INET, &addr_.sin_addr, dotted, sizeof dotted);
  char text[INET_ADDRSTRLEN + 8];
  snprintf(text, sizeof text, "%s:%d", dotted, static_cast<int>(ntohs(addr_.sin_port)));
  return text;
}

std::vector<unsigned char> Addr::GetVector() const {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&addr_.sin_addr.s_addr);
  return std::vector<unsigned char>(b, b + 4);
}

}  // namespace INet4
