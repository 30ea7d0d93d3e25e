#pragma once
// The state of a LEMZ radio in one flat record, and its translations: from
// a received signalling packet, from the controller's modifier and status
// records, and into the report the controller receives.
#include <cstdint>

#include "messages/TERM/TERM.h"
#include "rtp/sig_proto.h"

namespace RTPSignalling {

// A fresh state holds the values below; -1 marks a value nobody has set.
struct LemzRadioState {
  int32_t command = 0;  // packet type; 0 or below for a full state
  int32_t priority = 15;  // 0..15, lower is higher
  uint32_t ptt = 0;
  uint32_t session_addr = 0;  // the transmitting session, network order
  uint32_t session_ssrc = 0;
  char caller_id[SIG_PROTO_CALLER_ID_SIZE] = {};  // NUL-terminated, at most 255 characters
  uint32_t bss = 0;
  uint32_t vad_rx = 0;
  uint32_t vad_tx = 0;
  uint32_t sql = 0;  // squelch open
  uint32_t sh = 0;
  uint32_t pwr = 0;
  uint32_t rv = 0;
  uint32_t resv = 0;
  uint32_t selcall = 0;  // 0..3
  uint32_t li = 0;       // 0..511
  int32_t remote_no = 0;
  int32_t remote_ch = 0;
  int32_t channel = 0;
  float frequency = 0.0f;
  int32_t squelshe = -1;  // TERM::RadioSquelshe
  int32_t rte = -1;       // TERM::RadioRTE
  int32_t standby_state_channel = -1;  // TERM::RadioStandby
  int32_t standby_group = -1;
  int32_t standby_state_receiver = -1;  // TERM::RadioStandby
  float quality = 0.0f;
  uint32_t source_addr = 0;  // where the packet came from, network order
  uint32_t source_ssrc = 0;
};
static_assert(sizeof(LemzRadioState) == 91 * 4, "91 words");

// The translations; they keep no state. The control derives from this, so
// they are its own operations.
class LemzRadioMapping {
public:
  // Hears of every value a report carries in place of one the controller's
  // records cannot hold (a value never set, or beyond the record's range).
  class SubstitutionLog {
  public:
    virtual void Substituted(const char* field, long value, long sent) = 0;

  protected:
    ~SubstitutionLog() = default;
  };

  // The modifier alternative that carries a command, and the command an
  // alternative carries; -1 for none.
  static int AlternativeOf(int command);
  static int CommandOf(int alternative);

  // The packet's command, source, header flags and the payload of its type;
  // -1 (the header copied) for a type that has no command.
  static int DecodeProto(sig_proto const& packet, LemzRadioState& state);
  // Onto a state that already holds the radio's: the command of the
  // alternative, the modifier's source and the alternative's fields.
  static int DecodeASN(TERM::LemzRadioModifier const& modifier, LemzRadioState& state);
  // A full state (command 0): flags, frequency, remote, squelch, RTE and
  // standby; the session, caller ID, quality and source stay.
  static int DecodeASN(TERM::LemzRadioStatus const& status, LemzRadioState& state);
  // The request's status from the state. A value the status cannot hold is
  // sent as 0 (no-config, active) and told to the log.
  static int EncodeStatusASN(LemzRadioState const& state, TERM::RtpRadioRequest& request,
                             SubstitutionLog* log = nullptr);
  // The status from the radio's state, and the request from what was
  // received; -1 (no request) for a command without an alternative.
  static int EncodeASN(LemzRadioState const& radioState, LemzRadioState const& received,
                       TERM::RtpRadioRequest& request, SubstitutionLog* log = nullptr);
};

}  // namespace RTPSignalling
