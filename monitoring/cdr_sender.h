#pragma once
// Sends one text record as a UDP datagram to each address of a list.
#include <string>

#include "foundation/fd.h"

namespace CDR_Sender {

class Sender {
public:
  // Opens the UDP socket; on failure the sender stays without one.
  Sender();
  virtual ~Sender();
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;

  // Sends `record` (its bytes, no terminator) to every "a.b.c.d:port" word
  // of the whitespace-separated `addresses`, in order. A word without a
  // usable address or port is logged and skipped. Send errors are not
  // reported. False only when there is no socket.
  bool SendTo(const std::string& record, const std::string& addresses);

private:
  Fd socket_;
};

}  // namespace CDR_Sender
