#pragma once
// "/dev/dtmf": per-time-slot tone functions: the DTMF and IVA detectors,
// DTMF rejection, the echo canceller, a two-frequency tone generator and a
// SELCAL sequence generator. The driver delivers one 16-byte event record
// per read. The generator's settings are kept with the loop time at which
// each was made, so tests can check cadences under the test clock.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "simboard/device.h"

namespace SimBoard {

class Dtmf : public Device {
public:
  static constexpr unsigned long ConfigureDetector = 0x40144202;  // {ts, twist, ratio, silence, noise}
  static constexpr unsigned long EnableDetector = 0x40084203;     // {ts, request id}
  static constexpr unsigned long DisableDetector = 0x40044204;    // ts by value
  static constexpr unsigned long Dial = 0x400c4205;               // {ts, f1:16, f2:16, a1:16, a2:16}
  static constexpr unsigned long LmsOn = 0x40044206;              // ts by value
  static constexpr unsigned long LmsOff = 0x40044207;
  static constexpr unsigned long RejectOn = 0x40044209;
  static constexpr unsigned long RejectOff = 0x4004420a;
  static constexpr unsigned long IvaOn = 0x4004420b;
  static constexpr unsigned long IvaOff = 0x4004420c;
  static constexpr unsigned long IvaConfigure = 0x4008420d;       // {ts, level dB}
  static constexpr unsigned long SelcalDial = 0x400c420e;         // {ts, amp:16, 4 signs, 0, 0}

  // One setting of a time slot's generator.
  struct Tone {
    uint32_t at;  // Mux::milliseconds() when it was made
    uint16_t freq1, freq2, amp1, amp2;
    bool off() const { return !freq1 && !freq2 && !amp1 && !amp2; }
    bool silent() const { return !off() && !amp1 && !amp2; }
  };
  struct Channel {
    bool dtmf = false;  // DTMF detector on
    uint32_t id = 0;    // its request id
    bool iva = false;
    bool lms = false;
    bool reject = false;
    std::vector<Tone> tones;       // generator settings, oldest first
    std::vector<std::string> selcals;  // SELCAL sequences dialled
  };

  Dtmf();

  const Channel& channel(uint32_t timeslot) { return channels_[timeslot]; }
  // One event record to every reader; returns the readers reached.
  size_t event(uint32_t code, uint32_t ts, uint32_t timestamp, uint32_t id);
  static Bytes record(uint32_t code, uint32_t ts, uint32_t timestamp, uint32_t id);

private:
  void by_value(unsigned long request, bool Channel::*flag, bool on);

  std::map<uint32_t, Channel> channels_;
};

}  // namespace SimBoard
