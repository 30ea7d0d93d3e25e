#pragma once
// A radio slot: an RTP slot whose session also carries radio signalling in
// the RTP header extension. It owns one radio control (set by the leaf
// class), hands it the controller's radio records and reports the
// control's radio state changes and aborts to the controller.
#include <memory>

#include "messages/TERM/TERM.h"
#include "rtp/radio_control.h"
#include "rtp/rtp_session.h"
#include "rtp/rtp_slot.h"

class RtpExtSlot : public RtpSlot, public RTPSignalling::IRadioControlNotify {
public:
  using RtpSlot::RtpSlot;

  // Builds the factory's radio slot through the session set-up, then gives
  // it what the request's radio part sets: the radio status, the receive,
  // transmit and SELCAL delays (an absent one 0, none when all are absent),
  // BSS, noise gate and SELCAL shaping on the DSP.
  static RtpExtSlot* Create(const RtpFactoryBase& factory, const LGCP::CreateRtpParams& request,
                            const RtpSession::MakeSlot& make);

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

  RTPSignalling::RadioControl* control() const { return control_.get(); }

protected:
  // The attach record naming the slot's own session descriptor (the one
  // the factory had is closed once the slot holds its duplicate).
  rtp_ext_attach_session_params OwnSession(rtp_ext_attach_session_params attach) const;
  // Takes a new control, which goes with the slot: this slot hears its
  // reports, no trace, the status timer as asked, the side of the protocol
  // the slot plays (0 gateway, 1 workstation).
  void Bind(RTPSignalling::RadioControl* control, bool timer, uint32_t role);

private:
  bool ChangeCodec(LGCP::IoctlParams const& params);
  void GateBySquelch();

  TERM::RadioStatus radioStatus_;
  std::unique_ptr<RTPSignalling::RadioControl> control_;
};
