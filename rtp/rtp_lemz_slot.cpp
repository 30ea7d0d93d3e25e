#include "rtp/rtp_lemz_slot.h"

#include "rtp/lemz_radio_control.h"

using RTPSignalling::LemzRadioGWControl;
using RTPSignalling::LemzRadioWSControl;

namespace {

constexpr uint32_t Gateway = 0;
constexpr uint32_t Workstation = 1;

}  // namespace

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init,
                                       bool timer)
    : RtpLEMZSlot(channel, session, params) {
  Bind(new LemzRadioGWControl(channel, OwnSession(attach), init), timer, Gateway);
}

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_ext_init_params& init)
    : RtpLEMZSlot(channel, session, params) {
  Bind(new LemzRadioGWControl(init), false, Gateway);
}

RtpLEMZRadioGWSlot::RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_attach_session_params& attach)
    : RtpLEMZSlot(channel, session, params) {
  Bind(new LemzRadioGWControl(channel, this->session(), attach), false, Gateway);
}

RtpLEMZRadioWSSlot::RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init)
    : RtpLEMZSlot(channel, session, params) {
  Bind(new LemzRadioWSControl(channel, OwnSession(attach), init), false, Workstation);
}

RtpLEMZRadioWSSlot::RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_ext_init_params& init)
    : RtpLEMZSlot(channel, session, params) {
  Bind(new LemzRadioWSControl(init), false, Workstation);
}

RtpLEMZRadioWSSlot::RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                                       const rtp_attach_session_params& attach)
    : RtpLEMZSlot(channel, session, params) {
  Bind(new LemzRadioWSControl(channel, this->session(), attach), false, Workstation);
}
