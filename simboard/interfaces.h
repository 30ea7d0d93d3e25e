#pragma once
// The board's network interfaces as the daemon sees them through the
// interface requests made on any socket: the list, address and flag
// requests answered from this table, so that nothing of the test machine's
// own interfaces shows; and the synchronous HDLC interfaces ("hdlc0",
// "hdlc1", ...) as the generic-HDLC layer of the kernel presents them: the
// index and flag requests and SIOCWANDEV. Requests for an "hdlc" name that
// does not exist fail with ENODEV; index and set-flag requests for other
// names are left to the system.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simboard/request.h"

namespace SimBoard {

class HdlcInterface {
public:
  HdlcInterface(std::string name, int index, uint32_t slotMap);

  const std::string& name() const { return name_; }
  int index() const { return index_; }
  // Interface flags (IFF_*): point-to-point and down at first.
  short flags() const { return flags_; }
  void set_flags(short flags) { flags_ = flags; }
  // The protocol last set through SIOCWANDEV (IF_PROTO_*), raw HDLC at first,
  // and the raw HDLC record {encoding, parity} that came with it.
  uint32_t protocol() const { return protocol_; }
  uint16_t encoding() const { return encoding_; }
  uint16_t parity() const { return parity_; }
  // The E1 time slot map the interface reports (its TDM channel).
  uint32_t slot_map() const { return slotMap_; }
  // The request fails with err `times` times (-1: until cleared).
  void fail(unsigned long request, int err, int times = -1);

private:
  friend class Interfaces;
  int answer(unsigned long request, void* arg);

  std::string name_;
  int index_;
  short flags_;
  uint32_t protocol_;
  uint16_t encoding_;
  uint16_t parity_;
  uint32_t slotMap_;
  std::map<unsigned long, std::pair<int, int>> failures_;  // request -> {errno, times}
};

class Interfaces {
public:
  struct Interface {
    std::string name;
    uint32_t address;  // its big-endian bytes are the address
    unsigned flags;    // IFF_ bits
  };

  // One listed interface: "lo", 127.0.0.1, up, loopback, running; no HDLC
  // interface. Requests on the HDLC interfaces go to the log.
  explicit Interfaces(RequestLog& log);

  // The listed interfaces (those with an address).
  void set(std::vector<Interface> interfaces) { list_ = std::move(interfaces); }
  const std::vector<Interface>& list() const { return list_; }

  // The HDLC interfaces; add() replaces one of the same name.
  HdlcInterface& add(const std::string& name, uint32_t slotMap);
  HdlcInterface* find(const std::string& name) const;
  void remove(const std::string& name);

  // Whether the board answers this request; the request then returns its
  // result, errno set on failure. A request on an HDLC interface is logged
  // with the interface name as the device, the settings type or the new
  // flags as the value and, for SIOCWANDEV, the settings buffer before and
  // after.
  static bool handles(unsigned long request, const void* arg);
  int request(unsigned long request, void* arg);

private:
  int hdlc_request(unsigned long request, void* arg);

  RequestLog& log_;
  std::vector<Interface> list_;
  std::vector<std::unique_ptr<HdlcInterface>> hdlc_;
};

}  // namespace SimBoard
