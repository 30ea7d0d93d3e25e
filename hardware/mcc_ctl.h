#pragma once
// Channels of the board's multi-channel controller ("/dev/mcc/ctl"). Every
// descriptor opened on the device may allocate one channel; the descriptor
// then reads and writes that channel's frames. The users (HDLC links, the
// MCC data, voice and T.38 slots, the ISDN slots) differ only in the open
// mode and the allocation record's values, and write their own messages.
#include <cstdint>

#include "foundation/fd.h"
#include "hardware/board_order.h"

namespace MccCtl {

constexpr const char* DeviceName = "/dev/mcc/ctl";

// Requests in the board's encoding.
constexpr unsigned long MCC_ALLOCATE = 0x40144d00;  // the allocation record
constexpr unsigned long MCC_TIMESLOT = 0x20004d02;  // result: the channel's TDM switch number
constexpr unsigned long MCC_COUNTS = 0x80104d03;    // words 0..2: data, BRI and transparent channels

// Channel type codes.
enum Type : uint32_t { Data = 0, Bri = 1, Transparent = 2, Ss7 = 3 };

// What a user asks of a channel; the record's word 2 is always 0.
struct Allocation {
  uint32_t type;
  uint32_t packetSize;  // receive packet size in bytes
  uint32_t rxThreshold;
  uint32_t txThreshold;
};

struct AllocationRecord {
  Hardware::be_u32 type;
  Hardware::be_u32 packetSize;
  Hardware::be_u32 reserved;
  Hardware::be_u32 rxThreshold;
  Hardware::be_u32 txThreshold;
};
static_assert(sizeof(AllocationRecord) == 20, "driver layout");

struct Counts {
  int data = 0;
  int bri = 0;
  int transparent = 0;
};

// Opens the device with the flags; an invalid Fd (errno set) on failure.
Fd Open(int flags);
// Allocates a channel on the descriptor; false with errno on failure.
bool Allocate(const Fd& fd, const Allocation& allocation);
// The channel's TDM switch number, -1 with errno on failure.
int Timeslot(const Fd& fd);
// The numbers of channels of each type; false (counts untouched) when the
// device does not open or the request fails.
bool QueryCounts(Counts& counts);

}  // namespace MccCtl
