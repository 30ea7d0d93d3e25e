#pragma once
// The ED-137 radio slot: a radio slot whose control speaks the ED-137
// radio-to-server signalling, with a keep-alive timer at half the silence
// limit; when the radio asks for it, the RTP input follows the radio's
// squelch.
#include "rtp/ed137_radio_state.h"
#include "rtp/rtp_ext_slot.h"

class RtpED137Slot : public RtpExtSlot {
public:
  using RtpExtSlot::RtpExtSlot;
  char const* GetName() const override { return "rtp ext ed137"; }
};

class RtpED137RadioGWSlot : public RtpED137Slot {
public:
  // The gateway control on its own extension session attached to the
  // slot's session, with the radio's parameters and the keep-alive timer
  // at period x multiplier / 2: the control decides at each tick whether a
  // keep-alive is due and whether the radio is lost.
  RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                      const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init,
                      const RTPSignalling::ED137RadioParams& radio);
  // The gateway control with default parameters and no timer, on an
  // extension session of its own that is not attached, or without one: the
  // slot's session joins the one the record names. The factory uses neither.
  RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                      const rtp_ext_init_params& init);
  RtpED137RadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                      const rtp_attach_session_params& attach);
  char const* GetName() const override { return "rtp ext ED137 (GW)"; }
};
