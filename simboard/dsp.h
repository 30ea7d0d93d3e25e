#pragma once
// "/dev/dsp": per-time-slot DSP functions (voice activity and signal
// detection, BSS scoring, noise gate, SELCAL shaping, mute, delays, receive
// gain, tone filters). Requests configure, enable and disable them; the
// driver delivers one 24-byte event record per read.
#include <cstdint>
#include <map>

#include "simboard/device.h"

namespace SimBoard {

class Dsp : public Device {
public:
  static constexpr unsigned long Configure = 0x40146401;  // {ts, feature, 12 bytes of parameters}
  static constexpr unsigned long Enable = 0x400c6402;     // {ts, request id, feature bits}
  static constexpr unsigned long Disable = 0x400c6403;    // {ts, 0, feature bits}
  static constexpr unsigned long Version = 0x40046404;    // no argument; result: the driver version

  // Feature bits, also the event types.
  enum Feature : uint32_t {
    Vad = 1, Sd = 2, RxMute = 4, TxMute = 8, Bss = 16, Delays = 32, RxGain = 64, Ng = 128,
    ToneFilter = 256, Flags = 512, SelcalSh = 1024
  };

  Dsp();

  void set_version(int version) { version_ = version; }
  // The feature bits enabled on a time slot, and the id of its last enabling.
  uint32_t features(uint32_t timeslot) const;
  uint32_t last_id(uint32_t timeslot) const;

  // Event records, delivered to every reader; each returns the readers reached.
  size_t vad(uint32_t ts, uint32_t id, uint32_t mask, int32_t rx, int32_t tx);
  size_t sd(uint32_t ts, uint32_t id, int32_t rx);
  size_t bss(uint32_t ts, uint32_t id, float score);
  size_t tone(uint32_t ts, uint32_t id, uint32_t tone, uint8_t present);
  size_t flags(uint32_t ts, uint32_t id, uint32_t flags, uint32_t mask);

  static Bytes event(uint32_t ts, uint32_t id, uint32_t type, uint32_t w12, uint32_t w16 = 0, uint32_t w20 = 0);

private:
  struct Channel {
    uint32_t features = 0;
    uint32_t id = 0;
  };
  int version_;
  std::map<uint32_t, Channel> channels_;
};

}  // namespace SimBoard
