#pragma once
// "/dev/e1-cas": channel-associated signalling of the four E1 trunks. CAS
// is opened per trunk; each time slot is then enabled with the code it
// sends, and the driver delivers a 12-byte channel record by read for
// every change of a received code.
#include <array>
#include <cstdint>

#include "simboard/device.h"

namespace SimBoard {

class E1Cas : public Device {
public:
  static constexpr unsigned long OpenTrunk = 0x80044300;   // the trunk, by value
  static constexpr unsigned long CloseTrunk = 0x80044301;  // the trunk, by value
  static constexpr unsigned long Channel = 0xc0104304;     // {path, ts, rx:8, tx:8, -, -, flag}
  static constexpr unsigned long ReadChannel = 0xc00c4303; // {path, ts, rx:8, tx:8} -> codes
  static constexpr int Trunks = 4;
  static constexpr int Timeslots = 32;

  struct Slot {
    bool enabled = false;
    uint8_t rx = 0;  // the code received from the line
    uint8_t tx = 0;  // the code sent
  };

  E1Cas();

  bool trunk_open(int trunk) const { return open_.at(trunk); }
  const Slot& slot(int trunk, int timeslot) const { return slots_.at(trunk).at(timeslot); }
  // The line changes the code a time slot receives; the driver reports the
  // change to every reader. Returns the number of readers.
  size_t line_change(int trunk, int timeslot, uint8_t rx);

  // The channel record the driver delivers.
  static Bytes record(uint32_t path, uint32_t timeslot, uint8_t rx, uint8_t tx);

private:
  std::array<bool, Trunks> open_;
  std::array<std::array<Slot, Timeslots>, Trunks> slots_;
};

}  // namespace SimBoard
