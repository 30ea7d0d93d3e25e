#pragma once
// "/dev/misc/gw-wd": the hardware watchdog. Keeps what the daemon writes
// ("START", "PING", "STOP"), one entry per write, taken at the write.
#include <cstdint>
#include <deque>
#include <string>

#include "simboard/device.h"

namespace SimBoard {

class Watchdog : public Device {
public:
  Watchdog() : Device("/dev/misc/gw-wd"), total_(0) {}

  // The writes so far, oldest first (the last 4096 of them), and how many
  // in all.
  const std::deque<std::string>& records() const { return records_; }
  uint64_t total() const { return total_; }
  void clear() { records_.clear(); }

protected:
  void received(OpenFile&, Bytes&& data) override;

private:
  std::deque<std::string> records_;
  uint64_t total_;
};

}  // namespace SimBoard
