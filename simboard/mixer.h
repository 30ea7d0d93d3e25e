#pragma once
// "/dev/mixer": the conference mixer. Units are numbered; each has TDM
// channels (summators and inputs are numbered 0 up to the channel count)
// whose TDM switch numbers the MIX_TDM request gives, and a summator matrix
// of the inputs added to each summator with their gains. A unit enumeration
// request walks the units in the order they were added. Channel addresses
// are {unit, type, number} with type 0 for a TDM channel.
#include <cstdint>
#include <map>
#include <vector>

#include "simboard/device.h"

namespace SimBoard {

class Mixer : public Device {
public:
  static constexpr unsigned long RxClear = 0x800c4d02;   // {unit, type, summator}
  static constexpr unsigned long RxAdd = 0x801c4d03;     // {summator address, input address, gain}
  static constexpr unsigned long RxRemove = 0x801c4d04;  // the same record
  static constexpr unsigned long Tdm = 0x800c4d06;       // {unit, type, number}; result: switch channel
  static constexpr unsigned long Units = 0x80104d07;     // {unit, TDM channels, 0, mixer inputs}

  struct Unit {
    int number = 0;
    int tdmChannels = 0;
    int mixerInputs = 0;
    int tdmBase = 0;  // switch channel of TDM channel 0
    // Summator -> input -> gain.
    std::map<int, std::map<int, int>> summators;
  };

  Mixer();

  // Adds a unit (tdmBase < 0: 1024 + 128 x number); a later one with the
  // same number replaces it.
  Unit& add_unit(int number, int tdmChannels, int mixerInputs, int tdmBase = -1);
  void remove_unit(int number);
  Unit* unit(int number);
  const std::vector<Unit>& units() const { return units_; }
  // The inputs added to a summator, with their gains (empty for none).
  std::map<int, int> summator(int unit, int number);

private:
  // The unit and channel number a channel address names; the errno that
  // refuses it, or 0.
  int address(const Request& r, size_t offset, Unit*& unit, int& number);
  // The summator and the input of an add or remove record, on one unit.
  int pair(const Request& r, Unit*& unit, int& summator, int& input);

  std::vector<Unit> units_;
};

}  // namespace SimBoard
