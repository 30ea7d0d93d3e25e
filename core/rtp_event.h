#pragma once
// One record read from an RTP session descriptor: nine words in the board's
// byte order. Type 1 is a packet-detection event with its value and time-out;
// the other words are not used.
#include "hardware/board_order.h"

struct rtp_event {
  Hardware::be_u32 type;
  Hardware::be_u32 value;
  Hardware::be_u32 timeout;
  Hardware::be_u32 reserved[6];
};

static_assert(sizeof(rtp_event) == 36, "driver layout");
