#pragma once
// The far end of a TPKT link for tests: a TCP client on the loopback
// interface that writes payloads framed by TPKT and collects the payloads
// of the frames it reads. It has its own framing, independent of the
// daemon's, and reads only when asked, so a test on the loop's thread reads
// between loop turns (poll) and another thread may block (wait).
#include <cstddef>
#include <deque>
#include <string>

#include "foundation/fd.h"

namespace testing_support {

class TpktClient {
public:
  TpktClient() : closed_(false) {}
  virtual ~TpktClient() = default;
  TpktClient(const TpktClient&) = delete;
  TpktClient& operator=(const TpktClient&) = delete;

  // Connects to 127.0.0.1:port (TCP_NODELAY); false when refused.
  bool connect(unsigned short port);
  // Takes a connected socket (one a test server accepted) instead.
  void adopt(int fd);
  void close();
  bool connected() const { return static_cast<bool>(fd_); }

  // Writes one frame carrying the payload; false when it cannot be written.
  bool send_payload(const std::string& payload);
  // Writes bytes as they are (for broken framing).
  bool send_raw(const std::string& bytes);

  // Reads what has arrived, without waiting; the number of payloads held.
  size_t poll();
  // Blocks up to timeoutMs of real time until `count` payloads are held.
  bool wait(size_t count, int timeoutMs);
  // The peer closed the connection (seen by poll or wait).
  bool closed() const { return closed_; }

  std::deque<std::string>& payloads() { return payloads_; }

private:
  bool read_some(int timeoutMs);
  void split();

  Fd fd_;
  std::string buffer_;
  std::deque<std::string> payloads_;
  bool closed_;
};

// "03 00 LL LL" + payload.
std::string tpkt_frame(const std::string& payload);

}  // namespace testing_support
