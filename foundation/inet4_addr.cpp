#include "foundation/inet4_addr.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace INet4 {

void Addr::Reset() {
  memset(&addr_, 0, sizeof addr_);
  addr_.sin_family = AF_INET;
}

namespace {

// Decimal digits only, at least one, read into a number no greater than max.
bool decimal(const std::string& text, unsigned long max, unsigned long& value) {
  if (text.empty())
    return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    value = value * 10 + static_cast<unsigned long>(c - '0');
    if (value > max)
      return false;
  }
  return true;
}

// Four decimal numbers of 0..255 between dots, nothing else: none of the
// shortened, hexadecimal, octal or single-number forms that inet_aton takes
// ("127.1", "0x7f.0.0.1", "010.0.0.1", "2130706433"), which name another
// address than the text seems to.
bool dottedQuad(const std::string& text, in_addr& address) {
  uint32_t word = 0;
  std::string::size_type start = 0;
  for (int part = 0; part < 4; ++part) {
    std::string::size_type dot = text.find('.', start);
    if ((part < 3) != (dot != std::string::npos))
      return false;
    unsigned long value = 0;
    if (!decimal(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start), 255, value))
      return false;
    word = (word << 8) | static_cast<uint32_t>(value);
    start = dot + 1;
  }
  address.s_addr = htonl(word);
  return true;
}

}  // namespace

bool Addr::Assign(const char* text, int* port) {
  std::string host(text ? text : "");
  std::string::size_type colon = host.find(':');
  if (colon == std::string::npos) {
    if (port)
      *port = -1;
  } else {
    // A port is decimal digits of 1..65535; any other text after the colon
    // makes the whole text unusable (and changes nothing).
    unsigned long value = 0;
    if (!decimal(host.substr(colon + 1), 0xFFFF, value) || value == 0) {
      if (port)
        *port = -1;
      return false;
    }
    addr_.sin_port = htons(static_cast<unsigned short>(value));
    if (port)
      *port = static_cast<int>(value);
    host.resize(colon);
  }
  in_addr parsed;
  if (!dottedQuad(host, parsed))
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
