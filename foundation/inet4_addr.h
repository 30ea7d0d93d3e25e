#pragma once
// An IPv4 socket address (address and port), copied by value; prints as
// the dotted address, a colon and the port.
#include <netinet/in.h>
#include <ostream>
#include <string>
#include <vector>

namespace INet4 {

class Addr {
public:
  Addr() { Reset(); }

  // 0.0.0.0 port 0.
  void Reset();
  // "a.b.c.d[:port]", a..d decimal 0..255: a port after ':' (decimal, 1..65535)
  // is stored (and written to *port); without one *port is -1 and the port is
  // unchanged. True when the address part parsed; an address that does not
  // parse is left unchanged. Text after ':' that is not such a port fails
  // the whole text, changing nothing (*port -1).
  bool Assign(const char* text, int* port = nullptr);
  bool Assign(const std::string& text, int* port = nullptr) { return Assign(text.c_str(), port); }
  // The address word, in network byte order.
  void Assign(unsigned long address);
  void SetPort(unsigned short port) { addr_.sin_port = htons(port); }

  bool IsEqual(const Addr& other) const;
  void Put(std::ostream& out) const;
  std::string GetString() const;
  std::vector<unsigned char> GetVector() const;

  unsigned short port() const { return ntohs(addr_.sin_port); }
  const sockaddr_in& sockaddr() const { return addr_; }
  sockaddr_in& sockaddr() { return addr_; }

private:
  sockaddr_in addr_;
};

inline std::ostream& operator<<(std::ostream& out, const Addr& a) {
  a.Put(out);
  return out;
}

}  // namespace INet4
