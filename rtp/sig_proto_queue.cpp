#include <cstring>

#include "rtp/sig_proto.h"

const uint32_t init_sig_proto_type[SIG_PROTO_QUEUE_TYPES] = {
    SIG_PROTO_GW_FLAG,           SIG_PROTO_GW_FLAG_PTT,  SIG_PROTO_GW_FLAG_BSS,       SIG_PROTO_GW_FLAG_RV,
    SIG_PROTO_GW_FLAG_SH,        SIG_PROTO_GW_FLAG_PW,   SIG_PROTO_GW_FLAG_RS,        SIG_PROTO_GW_ADJUST_CHAN,
    SIG_PROTO_GW_SEL_CALL,       SIG_PROTO_GW_SELECT_RC_CHAN, SIG_PROTO_GW_ADJUST_STANDBY,
    SIG_PROTO_WM_FLAG,           SIG_PROTO_WM_TRANS,     SIG_PROTO_WM_CHAN,           SIG_PROTO_WM_RADIO_QUALITY,
    SIG_PROTO_WM_SEL_CALL_TRANS, SIG_PROTO_WM_STANDBY,
};

sig_proto_queue_block sig_proto_queue;

int init_sig_proto_queue() {
  std::memset(&sig_proto_queue, 0, sizeof sig_proto_queue);
  for (size_t i = 0; i < SIG_PROTO_QUEUE_SIZE; ++i)
    sig_proto_queue.records[i].type = i < SIG_PROTO_QUEUE_TYPES ? init_sig_proto_type[i] : ~uint32_t(0);
  return 0;
}
