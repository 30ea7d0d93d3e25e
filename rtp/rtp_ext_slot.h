#pragma once
// A radio slot: an RTP slot whose session also carries radio signalling in
// the RTP header extension. It owns one radio control (set by the leaf
// class), hands it the controller's radio records and reports the
// control's radio state changes and aborts to the controller.
#include <memory>

#include "messages/TERM/TERM.h"
#include "rtp/radio_control.h"
#include "rtp/rtp_slot.h"

class RtpExtSlot : public RtpSlot, public RTPSignalling::IRadioControlNotify {
public:
  // Each builds the RTP slot; the records are for the leaf class's control.
  RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params,
             const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init);
  RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params, const rtp_ext_init_params& init);
  RtpExtSlot(int channel, const Fd& session, const rtp_connection_params& params,
             const rtp_attach_session_params& attach);
  ~RtpExtSlot() override;

  // The transmitter and receiver signals, then the radio status to the control.
  void IAfterCreate() override;
  // Stops the extension session before the RTP session is released.
  bool IBeforeDestroy() override;
  // rtpExt goes to the control; a codec change stops the extension session
  // around the restart of the RTP session. Afterwards a slot whose input
  // follows squelch switches it by the radio's squelch.
  bool Ioctl(LGCP::IoctlParams const& params) override;
  char const* GetName() const override { return "rtp ext"; }

  // The control's reports: the rtpExt signal, and abort with the cause.
  void RadioControlNotify(TERM::RtpRadioRequest const& report) override;
  void RadioControlNotify(int cause) override;

  // What the create request's radio part sets on the slot: its status, the
  // receive, transmit and SELCAL delays (an absent one 0, none when all are
  // absent), BSS, noise gate and SELCAL shaping on the DSP.
  void ConfigureRadio(TERM::RtpRadioRequest const& radio);
  // The last word of the add-channel record: 1 when the request enables BSS.
  static uint32_t ChannelFlags(TERM::RtpRadioRequest const& radio);

  void set_radio_status(TERM::RadioStatus const& status) { radioStatus_ = status; }
  TERM::RadioStatus const& radio_status() const { return radioStatus_; }
  RTPSignalling::RadioControl* control() const { return control_.get(); }

protected:
  // The attach record naming the slot's own session descriptor (the one
  // the factory had is closed once the slot holds its duplicate).
  rtp_ext_attach_session_params OwnSession(rtp_ext_attach_session_params attach) const;
  // Takes the control; the slot owns it from here on.
  void SetControl(RTPSignalling::RadioControl* control) { control_.reset(control); }
  void DeleteControl() { control_.reset(); }

private:
  bool ChangeCodec(LGCP::IoctlParams const& params);
  void GateBySquelch();

  TERM::RadioStatus radioStatus_;
  std::unique_ptr<RTPSignalling::RadioControl> control_;
};
