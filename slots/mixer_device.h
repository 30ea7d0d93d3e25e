#pragma once
// The conference mixer device ("/dev/mixer"): its request codes and
// records. Channels are addressed as {unit, type, number}, type 0 being a
// TDM channel; the device is opened anew for every request.
#include <cstddef>

#include "hardware/board_order.h"

namespace Mixer {

constexpr unsigned long MIX_RX_CLEAR = 0x800c4d02;   // mix_slot: empty a summator
constexpr unsigned long MIX_RX_ADD = 0x801c4d03;     // mix_rx: add an input to a summator
constexpr unsigned long MIX_RX_REMOVE = 0x801c4d04;  // mix_rx: remove it
constexpr unsigned long MIX_TDM = 0x800c4d06;        // mix_slot; result: the TDM switch channel
constexpr unsigned long MIX_UNITS = 0x80104d07;      // mix_units: the unit after the one given

struct mix_slot {
  Hardware::be_i32 unit;
  Hardware::be_i32 type;
  Hardware::be_i32 number;
};
static_assert(sizeof(mix_slot) == 12, "driver layout");

struct mix_rx {
  mix_slot rx;  // the summator
  mix_slot tx;  // the input
  Hardware::be_i32 gain;
};
static_assert(sizeof(mix_rx) == 28 && offsetof(mix_rx, tx) == 12 && offsetof(mix_rx, gain) == 24,
              "driver layout");

struct mix_units {
  Hardware::be_i32 unit;  // -1 before the first request
  Hardware::be_i32 tdmChannels;
  Hardware::be_i32 unused;
  Hardware::be_i32 mixerInputs;
};
static_assert(sizeof(mix_units) == 16 && offsetof(mix_units, mixerInputs) == 12, "driver layout");

// Opens the device, makes the request on the record and closes the device,
// keeping the request's errno; -1 when the device does not open.
int mixer_ctl(unsigned long request, void* record);

}  // namespace Mixer
