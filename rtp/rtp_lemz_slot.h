#pragma once
// The LEMZ radio slots: radio slots whose control speaks the LEMZ radio
// signalling. The gateway slot is the one the LEMZ factory builds, with its
// own extension session and the status timer, or attached to another RTP
// session's extension stream; the workstation slot exists for the
// workstation side of the protocol, which nothing in the daemon builds.
#include "rtp/rtp_ext_slot.h"

class RtpLEMZSlot : public RtpExtSlot {
public:
  using RtpExtSlot::RtpExtSlot;
  char const* GetName() const override { return "rtp ext LEMZ"; }
};

class RtpLEMZRadioGWSlot : public RtpLEMZSlot {
public:
  // The gateway control on its own extension session attached to the
  // slot's session; the status packets run on the timer when asked.
  RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init, bool timer);
  // An extension session of its own that joins no RTP session; no status
  // timer. The factory builds no such slot.
  RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_ext_init_params& init);
  // No extension session: the slot's session joins the one the record names.
  RtpLEMZRadioGWSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_attach_session_params& attach);
  char const* GetName() const override { return "rtp ext LEMZ (GW)"; }
};

class RtpLEMZRadioWSSlot : public RtpLEMZSlot {
public:
  RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init);
  RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_ext_init_params& init);
  RtpLEMZRadioWSSlot(int channel, const Fd& session, const rtp_connection_params& params,
                     const rtp_attach_session_params& attach);
  char const* GetName() const override { return "rtp ext LEMZ (WS)"; }
};
