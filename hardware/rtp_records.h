#pragma once
// Argument records of the RTP and RTP header-extension drivers, in the
// board's layout and byte order.
#include <cstdint>

#include "hardware/board_order.h"

// The begin-session record (44 bytes). The addresses are numbers whose
// big-endian bytes are the address in network order.
struct rtp_connection_params {
  Hardware::be_u32 dhost_addr;
  Hardware::be_u16 dhost_port;
  uint8_t reserved1[2] = {0, 0};
  Hardware::be_u32 shost_addr;
  Hardware::be_u16 shost_port;
  Hardware::be_u16 rx_pt;
  Hardware::be_u16 tx_pt;
  Hardware::be_u16 packet_factor;
  uint8_t vad = 0;
  uint8_t crate = 0;
  uint8_t reserved2[2] = {0, 0};
  Hardware::be_u32 ssrc;
  Hardware::be_u32 reserved3;
  Hardware::be_u32 reserved4;
  Hardware::be_u32 ttl;
  Hardware::be_i32 dscp;
};

// Names an existing RTP session by descriptor number and process id.
struct rtp_attach_session_params {
  Hardware::be_i32 fd_rtp;
  Hardware::be_i32 pid_rtp;
};

struct rtp_ext_attach_session_params {
  Hardware::be_i32 fd_rtp;
  Hardware::be_i32 pid_rtp;
};

struct rtp_ext_init_params {
  Hardware::be_u16 etype;
  Hardware::be_u16 reserved;
  Hardware::be_u32 words[4];
};

// The source of the extension payload the next read returns. The address
// is a number whose big-endian bytes are the address.
struct rtp_ext_next_source {
  Hardware::be_u32 ssrc;
  Hardware::be_u32 addr;
  Hardware::be_u32 reserved;
};

// The one source address an extension session accepts (same form).
struct rtp_ext_filter_params {
  Hardware::be_u32 addr;
  Hardware::be_u32 reserved;
};

// The add-channel record; the driver returns the TDM switch channel in tdm.
struct rtp_channel_info {
  Hardware::be_i32 tdm;
  Hardware::be_i32 dev_no;
  Hardware::be_i32 chn;
  Hardware::be_u32 reserved;
};

static_assert(sizeof(rtp_connection_params) == 44, "driver layout");
static_assert(sizeof(rtp_attach_session_params) == 8, "driver layout");
static_assert(sizeof(rtp_ext_attach_session_params) == 8, "driver layout");
static_assert(sizeof(rtp_ext_init_params) == 20, "driver layout");
static_assert(sizeof(rtp_channel_info) == 16, "driver layout");
static_assert(sizeof(rtp_ext_next_source) == 12, "driver layout");
static_assert(sizeof(rtp_ext_filter_params) == 8, "driver layout");
