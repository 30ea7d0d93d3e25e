#include "rtp/rtp_ext_slot.h"

RtpExtSlot* RtpExtSlot::Create(const RtpFactoryBase& factory, const LGCP::CreateRtpParams& request,
                               const RtpSession::MakeSlot& make) {
  RtpExtSlot* slot = static_cast<RtpExtSlot*>(RtpSession::Create(factory, request, make));
  if (!slot)
    return nullptr;
  const TERM::RtpRadioRequest& radio = request.get_codecRTP().get_radio();
  slot->radioStatus_ = radio.get_status();
  auto delay = [](bool present, const ASN1::INTEGER& value) {
    return present ? static_cast<unsigned>(value.getValue()) : 0u;
  };
  Hardware::DSProcReceiver& dsp = slot->dsproc();
  if (radio.has_rx_delay() || radio.has_tx_delay() || radio.has_selcal_delay())
    dsp.configureDelays(delay(radio.has_rx_delay(), radio.get_rx_delay()),
                        delay(radio.has_tx_delay(), radio.get_tx_delay()),
                        delay(radio.has_selcal_delay(), radio.get_selcal_delay()));
  if (radio.has_bss_enable())
    dsp.enableBSS(radio.get_bss_enable().getValue());
  if (radio.has_ng_enable())
    dsp.enableNG(radio.get_ng_enable().getValue());
  if (radio.has_selcal_sh_enable())
    dsp.enableSelcalSh(radio.get_selcal_sh_enable().getValue());
  return slot;
}

rtp_ext_attach_session_params RtpExtSlot::OwnSession(rtp_ext_attach_session_params attach) const {
  attach.fd_rtp = session().get();
  return attach;
}

void RtpExtSlot::Bind(RTPSignalling::RadioControl* control, bool timer, uint32_t role) {
  control_.reset(control);
  control->SetNotify(this);
  control->SetTrace(false);
  control->SetTimerEnable(timer);
  control->SetRoleFlag(role);
}

void RtpExtSlot::IAfterCreate() {
  RtpSlot::IAfterCreate();
  if (control_)
    control_->SendASNToChan(radioStatus_);
}

bool RtpExtSlot::IBeforeDestroy() {
  if (control_)
    control_->RtpExtStop();
  RtpSlot::IBeforeDestroy();
  return true;
}

bool RtpExtSlot::Ioctl(LGCP::IoctlParams const& params) {
  if (!control_)
    return RtpSlot::Ioctl(params);
  bool result;
  if (params.is_rtpExt())
    result = control_->SendASNToChan(params.get_rtpExt());
  else if (params.is_encoder_mode() || params.is_decoder_mode())
    result = ChangeCodec(params);
  else
    result = RtpSlot::Ioctl(params);
  if (input_follows_squelch())
    GateBySquelch();
  return result;
}

bool RtpExtSlot::ChangeCodec(LGCP::IoctlParams const& params) {
  const bool stopped = control_->RtpExtStop();
  // A control attached through the slot's own session holds a duplicate of
  // it: let it go, or the old session outlives the restart and keeps the
  // channel the new one asks for.
  control_->FollowSession(Fd());
  if (!RtpSlot::Ioctl(params) || !stopped)
    return false;
  // A restart gave the slot a new session: the extension follows it.
  control_->FollowSession(session());
  return control_->RtpExtStart(false);
}

void RtpExtSlot::GateBySquelch() {
  const bool open = control_->GetSQU();
  if (open != input_on())
    SwitchInput(open);
}

void RtpExtSlot::RadioControlNotify(TERM::RtpRadioRequest const& report) { OnRtpRadioEvent(report); }

void RtpExtSlot::RadioControlNotify(int cause) { OnAbort(cause); }
