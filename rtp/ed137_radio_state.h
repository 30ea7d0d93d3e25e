#pragma once
// The state of an ED-137 radio as the gateway keeps it, the session
// parameters of a radio, and their mapping to and from the controller's
// ED-137 records.
#include <cstdint>

#include "messages/TERM/TERM.h"

namespace RTPSignalling {

// Parameters of one radio session; defaults unless the controller's radio
// response gives them.
struct ED137RadioParams {
  int32_t transmission_depend_on_squ = 0;
  int32_t sigtime = 1;
  int32_t keepalive_period = 200;  // ms
  int32_t keepalive_multiplier = 10;
  int32_t type = 2;      // TERM::ED137RadioType, radio-txrx
  int32_t txrxmode = 2;  // TERM::ED137RadioTxRxMode, txrx

  // Takes the optional fields that are present; type and txrxmode always.
  void Init(TERM::ED137RadioResponse const& response);
};

struct ED137RadioState {
  // flags: the direction in bits 15-12, header valid, quality valid.
  static constexpr uint32_t DirectionMask = 0xF000;
  static constexpr uint32_t Rx = 0x1000;  // radio to positions
  static constexpr uint32_t Tx = 0x2000;  // position to radio
  static constexpr uint32_t HeaderValid = 0x0001;
  static constexpr uint32_t QualityValid = 0x0002;

  uint32_t flags = 0;
  uint32_t ptt = 0;  // TERM::ED137RadioPTT
  uint32_t squ = 0;
  uint32_t ptt_id = 0;
  uint32_t ptt_mute = 0;
  uint32_t ptt_summation = 0;
  uint32_t sct = 0;
  uint32_t bss_method = 0;   // TERM::ED137RadioBSSMethod
  uint32_t bss_quality = 0;  // 0..31
  uint32_t session_addr = 0;  // far end, network order
  uint32_t session_ssrc = 0;

  // The highest PTT type the controller's records hold (emergency PTT on);
  // the wire's three bits reach 7.
  static constexpr uint32_t MaxPtt = 4;

  bool IsEqual(ED137RadioState const& other) const;
  // The PTT type the controller's records carry: the state's, or PTT off
  // for one they cannot hold.
  uint32_t ReportedPtt() const { return ptt <= MaxPtt ? ptt : 0; }
  uint32_t direction() const { return flags & DirectionMask; }
  // Makes the state one of the given direction with a valid header,
  // keeping the quality flag.
  void SetDirection(uint32_t direction) { flags = (flags & ~DirectionMask) | direction | HeaderValid; }

  // From the controller: a status (an RX header, the quality when given;
  // the session words stay) or a modifier (the far end and an RX or TX header).
  void DecodeASN(TERM::ED137RadioStatus const& status);
  void DecodeASN(TERM::ED137RadioModifier const& modifier);
  // The status the controller sees: the header (with the reported PTT
  // type) and always the quality.
  void EncodeStatusASN(TERM::ED137RadioStatus& status) const;
  // The RX or TX command of the state's direction; false for neither.
  bool EncodeASN(TERM::ED137RadioModifierParams& params) const;
};

}  // namespace RTPSignalling
