#pragma once
// The ED-137 radio control: the radio side of an ED-137 radio-over-IP
// session. It turns the PTT extensions that the controlling positions put
// on the RTP stream into reports for the controller, turns the
// controller's status and modifier records into RX extensions (squelch,
// signal quality) for the positions, repeats them as keep-alives and
// reports the far end lost when nothing arrives for the keep-alive period
// times the multiplier.
//
// The receive path runs for every voice packet: it allocates nothing and
// writes no trace text unless the trace is on; a report (a state change
// from the positions) builds the controller's record.
#include <cstdint>

#include "foundation/mux_time.h"
#include "rtp/ed137_radio_state.h"
#include "rtp/r2s_proto.h"
#include "rtp/radio_control.h"

namespace RTPSignalling {

class ED137RadioControl : public RadioControl {
public:
  // The abort code of a far end that stays silent.
  static constexpr int FarEndLost = 151;

  using RadioControl::RadioControl;

  void SetParams(ED137RadioParams const& params) { params_ = params; }

  // The ed-137 alternative goes to the positions (true); lemz is refused.
  bool SendASNToChan(TERM::RadioStatus const& status) override;
  bool SendASNToChan(TERM::RadioModifier const& modifier) override;
  // The radio's squelch as the controller last set it.
  bool GetSQU() override { return radioState_.squ != 0; }

protected:
  virtual int PutProtoFromRadioToChan(ED137RadioState const&) { return 0; }
  virtual int PutProtoFromChanToRadio(ED137RadioState const&) { return 0; }
  virtual bool AccessFormChanToRadio(ED137RadioState const&) { return false; }
  virtual int EncodeProto(ED137RadioState const&, r2s_proto&) { return 0; }

  // Reads the session dry; of the packets of one source in a row only the
  // last is processed.
  void OnRtpExtEvent(int fd, short revents) override;
  // One payload of a read batch from a source (address in network order):
  // decoded, it becomes the pending packet, and the one pending before is
  // processed first when its source differs. `pending` tells whether a
  // packet is pending.
  void TakePacket(const uint8_t* payload, size_t length, uint32_t ssrc, uint32_t address, bool& pending);
  // One decoded packet (the last of its source in a read batch).
  void OnRtpProtoRXEvent(r2s_proto const& record);
  // A received record as a state: its source, its header, for RX its
  // signal quality; -1 for a record of neither direction.
  int DecodeProto(r2s_proto const& record, ED137RadioState& state);
  // Packs and writes the record; true when it went out.
  bool SendProtoToChan(r2s_proto& record);
  bool NeedSendProto(ED137RadioState const& state);
  void SendRadioStateToChan(ED137RadioState const& state);
  void EncodeStatusASN(ED137RadioState const& state, TERM::RtpRadioRequest& request);
  // The report of a change from the positions: the radio's status and what
  // changed (a PTT type the records cannot hold goes as PTT off, told to
  // the log when the trace is on).
  void EncodeASN(ED137RadioState const& radio, ED137RadioState const& chan, TERM::RtpRadioRequest& request);
  // The controller's records onto a state.
  void DecodeASN(TERM::ED137RadioModifier const& modifier, ED137RadioState& state) { state.DecodeASN(modifier); }
  void DecodeASN(TERM::ED137RadioStatus const& status, ED137RadioState& state) { state.DecodeASN(status); }

  ED137RadioParams params_;
  r2s_proto received_{};
  r2s_proto pending_{};
  r2s_proto transmit_{};
  uint32_t lastKeepAlive_ = Mux::milliseconds();
  uint32_t lastReport_ = lastKeepAlive_;
  uint32_t lastReceive_ = lastKeepAlive_;
  ED137RadioState chanState_;   // last accepted from the positions
  ED137RadioState radioState_;  // last taken from the controller

private:
  // The ed-137 alternative of a status or modifier onto the radio's state
  // and on to the positions; false for another alternative.
  template <class Record>
  bool SendToChan(Record const& record);
};

// The gateway side, the one the ED-137 slot builds.
class ED137RadioGWControl : public ED137RadioControl {
public:
  using ED137RadioControl::ED137RadioControl;

protected:
  int PutProtoFromRadioToChan(ED137RadioState const& state) override;
  int PutProtoFromChanToRadio(ED137RadioState const& state) override;
  // Only a radio that transmits takes PTT from the positions.
  bool AccessFormChanToRadio(ED137RadioState const& state) override;
  int EncodeProto(ED137RadioState const& state, r2s_proto& record) override;
  // Reports a silent far end, sends the keep-alive when it is due and
  // returns the delay to the next one.
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override;
};

}  // namespace RTPSignalling
