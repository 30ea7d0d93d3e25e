#include "rtp/rtp_ed137_slot.h"

#include "rtp/ed137_radio_control.h"

using RTPSignalling::ED137RadioGWControl;

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                         const rtp_ext_attach_session_params& attach,
                                         const rtp_ext_init_params& init,
                                         const RTPSignalling::ED137RadioParams& radio)
    : RtpED137Slot(channel, session, params, attach, init) {
  set_input_follows_squelch(radio.transmission_depend_on_squ != 0);
  ED137RadioGWControl* control = new ED137RadioGWControl(channel, OwnSession(attach), init);
  control->SetParams(radio);
  Bind(control);
  control->SetTimerInterval(TimerInterval(radio));
  control->SetTimerEnable(true);
  control->SetRoleFlag(0);
}

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                         const rtp_ext_init_params& init)
    : RtpED137Slot(channel, session, params, init) {
  Bind(new ED137RadioGWControl(init));
  control()->SetTimerEnable(false);
  control()->SetRoleFlag(0);
}

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                         const rtp_attach_session_params& attach)
    : RtpED137Slot(channel, session, params, attach) {
  Bind(new ED137RadioGWControl(channel, this->session(), attach));
  control()->SetTimerEnable(false);
  control()->SetRoleFlag(0);
}

RtpED137RadioGWSlot::~RtpED137RadioGWSlot() {
  if (control()) {
    control()->SetNotify(nullptr);
    control()->SetTimerEnable(false);
  }
  DeleteControl();
}

unsigned long RtpED137RadioGWSlot::TimerInterval(const RTPSignalling::ED137RadioParams& radio) {
  return static_cast<unsigned long>(static_cast<uint32_t>(radio.keepalive_period * radio.keepalive_multiplier) >> 1);
}

void RtpED137RadioGWSlot::Bind(RTPSignalling::RadioControl* control) {
  SetControl(control);
  control->SetNotify(this);
  control->SetTrace(false);
}
