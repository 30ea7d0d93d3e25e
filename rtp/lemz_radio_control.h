#pragma once
// The LEMZ radio control: LEMZ radio signalling carried in the RTP header
// extension of one radio slot's session. The gateway side receives the
// workstations' GW_* commands, decides whether a workstation may act on the
// radio, reports what it accepts to the controller, turns the controller's
// status and modifiers into WM_* packets and repeats the radio's state as
// WM_* status packets about once a second. The workstation side is the
// mirror image; no factory builds it.
//
// The receive path runs for every extension packet: it allocates nothing
// and writes no trace text unless the trace is on; a report (an accepted
// command) builds the controller's record.
#include <cstdint>

#include "rtp/lemz_radio_state.h"
#include "rtp/radio_control.h"
#include "rtp/sig_proto.h"

namespace RTPSignalling {

// Commands that carry the push-to-talk state.
bool isPTTCommand(int command);
// A full state from a controller status rather than one command.
inline bool isDefaultInitCommand(int command) { return command <= 0; }

class LemzRadioControl : public RadioControl, public LemzRadioMapping, private LemzRadioMapping::SubstitutionLog {
public:
  using RadioControl::RadioControl;

  // The lemz alternative applied to the radio's state and sent on (true);
  // ed-137 is refused.
  bool SendASNToChan(TERM::RadioStatus const& status) override;
  bool SendASNToChan(TERM::RadioModifier const& modifier) override;
  // The radio's squelch as the controller last set it.
  bool GetSQU() override { return radioState_.sql != 0; }

protected:
  virtual int PutProtoFromRadioToChan(LemzRadioState const&) { return 0; }
  virtual int PutProtoFromChanToRadio(LemzRadioState const&) { return 0; }
  virtual bool AccessFormChanToRadio(LemzRadioState const&) { return false; }
  virtual int EncodeProto(LemzRadioState const&, sig_proto&) { return 0; }

  // Reads the session dry; of a run of packets of one type from one source
  // only the last is processed.
  void OnRtpExtEvent(int fd, short revents) override;
  // One payload of a read batch from a source (address in network order):
  // decoded, it becomes the pending packet, and the one pending before is
  // processed first when its type or source differs. `pending` tells
  // whether a packet is pending.
  void TakePacket(const uint8_t* payload, size_t length, uint32_t ssrc, uint32_t address, bool& pending);
  void OnRtpProtoRXEvent(sig_proto const& packet);
  // Packs and writes the packet; false when it did not go out.
  bool SendProtoToChan(sig_proto& packet);
  void SendRadioStateToChan(LemzRadioState const& state);
  // EncodeProto and SendProtoToChan; false when the state has no packet.
  bool SendState(LemzRadioState const& state);
  // The header of a packet from a state.
  static void EncodeProtoHeader(LemzRadioState const& state, sig_proto& packet);
  // The values of the substitutions the reports make go to the log when
  // the trace is on.
  LemzRadioMapping::SubstitutionLog* log() { return trace() ? this : nullptr; }

  sig_proto received_{};
  sig_proto pending_{};
  // Loop times of the last WM_FLAG/WM_TRANS/WM_SEL_CALL_TRANS, WM_CHAN,
  // WM_SELECT_RC_CHAN and WM_STANDBY sent.
  uint32_t tFlag_ = lastStatus_;
  uint32_t tChan_ = lastStatus_;
  uint32_t tRemote_ = lastStatus_;
  uint32_t tStandby_ = lastStatus_;
  LemzRadioState chanState_;   // what the workstations last set
  LemzRadioState radioState_;  // what the controller last set; the source of every status packet

private:
  void Substituted(const char* field, long value, long sent) override;
  // The lemz alternative of a status or modifier onto the radio's state
  // and on to the workstations; false for another alternative.
  template <class Record>
  bool SendToChan(Record const& record);
};

// The gateway side, the one the LEMZ slot builds.
class LemzRadioGWControl : public LemzRadioControl {
public:
  using LemzRadioControl::LemzRadioControl;

protected:
  int PutProtoFromRadioToChan(LemzRadioState const& state) override;
  int PutProtoFromChanToRadio(LemzRadioState const& state) override;
  // A workstation may act when nobody transmits, when this gateway's own
  // session transmits, when it pre-empts with a higher priority, or when it
  // is the one transmitting.
  bool AccessFormChanToRadio(LemzRadioState const& state) override;
  // WM_* packets only.
  int EncodeProto(LemzRadioState const& state, sig_proto& packet) override;
  // The status packets that are due; the delay to the next tick.
  unsigned long ProcessRadioStatus(unsigned long now, unsigned long interval) override;
};

// The workstation side: GW_* packets, no access, no status packets.
class LemzRadioWSControl : public LemzRadioControl {
public:
  using LemzRadioControl::LemzRadioControl;

protected:
  int PutProtoFromRadioToChan(LemzRadioState const& state) override;
  int PutProtoFromChanToRadio(LemzRadioState const& state) override;
  int EncodeProto(LemzRadioState const& state, sig_proto& packet) override;
};

}  // namespace RTPSignalling
