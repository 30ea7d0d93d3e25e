#pragma once
// The board's network interfaces as the daemon lists them: the interface
// requests on any socket (list, address, flags) are answered from this
// table, so that nothing of the test machine's own interfaces shows.
#include <cstdint>
#include <string>
#include <vector>

namespace SimBoard {

class Interfaces {
public:
  struct Interface {
    std::string name;
    uint32_t address;  // its big-endian bytes are the address
    unsigned flags;    // IFF_ bits
  };

  // One interface: "lo", 127.0.0.1, up, loopback, running.
  Interfaces();

  void set(std::vector<Interface> interfaces) { list_ = std::move(interfaces); }
  const std::vector<Interface>& list() const { return list_; }

  // Whether the request is one of the interface requests.
  static bool answers(unsigned long request);
  // The ioctl's result; -1 with errno set on failure.
  int request(unsigned long request, void* arg) const;

private:
  std::vector<Interface> list_;
};

}  // namespace SimBoard
