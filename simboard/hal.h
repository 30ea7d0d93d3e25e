#pragma once
// "/dev/hal": the TDM switch (outputs and the bytes on channels), the bus
// clock select, the SPI registers of the eight trunk line channels, and the
// board's DIP switch, power supply state and framer LEDs.
#include <array>
#include <cstdint>
#include <map>
#include <vector>

#include "simboard/device.h"

namespace SimBoard {

class Hal : public Device {
public:
  // Request numbers of "/dev/hal" in the board's encoding.
  static constexpr unsigned long Connect = 0x80084d02;   // {destination, source}
  static constexpr unsigned long Disable = 0x80044d03;   // {channel}
  static constexpr unsigned long Write = 0xc0084d04;     // {channel, byte}
  static constexpr unsigned long Read = 0xc0084d05;      // {channel, 255} -> byte in word 1
  static constexpr unsigned long ClockSelect = 0x80044301;  // {source code}
  static constexpr unsigned long SpiWrite = 0xc0034204;  // bytes {channel, register, data}
  static constexpr unsigned long SpiRead = 0xc0034203;   // bytes {channel, register, 255} -> value
  static constexpr unsigned long DipRead = 0xc0014205;   // byte <- DIP switch
  static constexpr unsigned long PowerRead = 0xc0014206; // byte <- power supply state
  static constexpr unsigned long LedWrite = 0xc0014207;  // byte -> framer LEDs

  // Channel numbers the switch takes; others give EINVAL.
  static constexpr int Channels = 16384;
  static constexpr int SpiChannels = 8;

  enum class Kind { Untouched, Disabled, Connected, Constant };
  struct Output {
    Kind kind = Kind::Untouched;
    int source = -1;   // Connected
    uint8_t byte = 0;  // Constant
    unsigned disables = 0;  // disable requests so far
  };

  Hal();

  // The switch map: the state of an output (Untouched when never set).
  Output output(int channel) const;
  // Every output set so far, by channel.
  std::map<int, Output> outputs() const;
  // Counts the changes of the switch map (kind, source or byte of an
  // output); a disable of a disabled output changes nothing.
  uint64_t changes() const { return changes_; }
  // The byte a read request finds on a channel: a byte set by the test, else
  // the output's constant, the byte of its source, or 0xff when idle.
  uint8_t byte_on(int channel) const;
  // Makes reads of the channel find this byte (a line stuck at it); -1 clears.
  void set_input(int channel, int byte);

  // Clock select: the last source code written, -1 before any.
  int clock_source() const { return clockSource_; }

  // SPI line channels. Without the interface every register request fails
  // with ENODEV.
  void set_spi_present(bool present) { spiPresent_ = present; }
  uint8_t spi_register(int channel, int address) const { return spi_[channel][address]; }
  void set_spi_register(int channel, int address, uint8_t value) { spi_[channel][address] = value; }

  // The DIP switch and the power supply state the board reports (0 both
  // supplies, 1 standby, 2 main, 3 both, other values unknown).
  void set_dip(uint8_t value) { dip_ = value; }
  void set_power(uint8_t value) { power_ = value; }
  // The framer LED byte last written, and the number of writes.
  uint8_t leds() const { return leds_; }
  unsigned led_writes() const { return ledWrites_; }

private:
  // Sets an output and counts the change, if any.
  void set(int32_t channel, Kind kind, int source, uint8_t byte);

  std::vector<Output> outputs_;  // by channel
  uint64_t changes_;
  std::map<int, uint8_t> inputs_;
  int clockSource_;
  bool spiPresent_;
  std::array<std::array<uint8_t, 256>, SpiChannels> spi_;
  uint8_t dip_;
  uint8_t power_;
  uint8_t leds_;
  unsigned ledWrites_;
};

}  // namespace SimBoard
