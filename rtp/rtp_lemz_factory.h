#pragma once
// The factory of LEMZ radio slots: it takes a create request for an RTP
// session whose radio part holds a LEMZ status, and reports the board's RTP
// codec capacity like the other RTP factories.
#include "rtp/rtp_factory_base.h"

class RtpLEMZFactory : public RtpFactoryBase {
public:
  // The daemon's factory, built on first use.
  static RtpLEMZFactory& instance();

  RtpLEMZFactory() : RtpFactoryBase("rtp ext LEMZ") {}

  char const* GetName() const override { return "RTP Ext LEMZ"; }
  // The slot has its own extension session (with the status timer) unless
  // the request's rtp-e2m mode is only-rtp, which attaches the session to
  // the extension stream of the RTP session it names.
  Slot* INewSlot(LGCP::CreateParams const& params) override;
};
