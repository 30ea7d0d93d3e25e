#pragma once
// Requests of the RTP driver "/dev/rtp" on a session descriptor, in the
// board's encoding, and the records only they use.
#include "hardware/board_order.h"

namespace RtpRequest {

constexpr unsigned long BeginSession = 0xC02C5200;   // rtp_connection_params, in/out
constexpr unsigned long AddChannel = 0xC0105202;     // rtp_channel_info, in/out: tdm comes back
constexpr unsigned long InputOn = 0x20005204;
constexpr unsigned long InputOff = 0x20005205;
constexpr unsigned long SetEvents = 0xC024520C;      // PdSetRecord
constexpr unsigned long ResetEvents = 0x8004520D;    // one word: 1 resets PD events
constexpr unsigned long Release1 = 0x2000520A;       // the release sequence, in this order
constexpr unsigned long Release2 = 0x20005203;
constexpr unsigned long Release3 = 0x2000520B;
constexpr unsigned long AttachSession = 0xC0085209;  // rtp_attach_session_params

// Enables packet-detection events with a time-out (given twice).
struct PdSetRecord {
  Hardware::be_u32 type;  // 1: PD
  Hardware::be_u32 reserved1;
  Hardware::be_u32 timeout;
  Hardware::be_u32 reserved2[2];
  Hardware::be_u32 timeout2;
  Hardware::be_u32 reserved3[3];
};
static_assert(sizeof(PdSetRecord) == 36, "driver layout");

struct ResetRecord {
  Hardware::be_i32 events;  // 1: PD
};
static_assert(sizeof(ResetRecord) == 4, "driver layout");

}  // namespace RtpRequest
