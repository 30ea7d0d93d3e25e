#pragma once
// The factory of plain RTP slots: it takes a create request for an RTP
// session without a radio part, and reports the board's RTP codec capacity.
#include "rtp/rtp_factory_base.h"

class RtpFactory : public RtpFactoryBase {
public:
  // The daemon's factory, built on first use.
  static RtpFactory& instance();

  RtpFactory() : RtpFactoryBase("rtp") {}

  char const* GetName() const override { return "RTP"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
};
