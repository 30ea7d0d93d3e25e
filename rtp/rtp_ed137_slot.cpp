#include "rtp/rtp_ed137_slot.h"

#include "rtp/ed137_radio_control.h"

using RTPSignalling::ED137RadioGWControl;

namespace {

constexpr uint32_t Gateway = 0;

}  // namespace

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                         const rtp_ext_attach_session_params& attach,
                                         const rtp_ext_init_params& init,
                                         const RTPSignalling::ED137RadioParams& radio)
    : RtpED137Slot(channel, session, params) {
  set_input_follows_squelch(radio.transmission_depend_on_squ != 0);
  auto* control = new ED137RadioGWControl(channel, OwnSession(attach), init);
  control->SetParams(radio);
  control->SetTimerInterval(static_cast<uint32_t>(radio.keepalive_period * radio.keepalive_multiplier) >> 1);
  Bind(control, true, Gateway);
}

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                         const rtp_ext_init_params& init)
    : RtpED137Slot(channel, session, params) {
  Bind(new ED137RadioGWControl(init), false, Gateway);
}

RtpED137RadioGWSlot::RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                         const rtp_attach_session_params& attach)
    : RtpED137Slot(channel, session, params) {
  Bind(new ED137RadioGWControl(channel, this->session(), attach), false, Gateway);
}
