#pragma once
// The factory of ED-137 radio slots: it takes a create request for an RTP
// session whose radio part holds an ED-137 status, and reports the board's
// RTP codec capacity like the other RTP factories.
#include "rtp/rtp_factory_base.h"

class RtpED137Factory : public RtpFactoryBase {
public:
  // The daemon's factory, built on first use.
  static RtpED137Factory& instance();

  RtpED137Factory() : RtpFactoryBase("rtp ext ED137") {}

  char const* GetName() const override { return "RTP Ext ED137"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
};
