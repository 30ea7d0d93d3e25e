#pragma once
// The factory of LEMZ radio slots: it takes a create request for an RTP
// session whose radio part holds a LEMZ status, and reports the board's RTP
// codec capacity like the other RTP factories.
#include <ostream>

#include "core/slot_factory.h"
#include "rtp/rtp_capacity.h"

class RtpLEMZFactory : public SlotFactory {
public:
  // The daemon's factory, built on first use.
  static RtpLEMZFactory& instance();

  RtpLEMZFactory();

  char const* GetName() const override { return "RTP Ext LEMZ"; }
  // The slot has its own extension session (with the status timer) unless
  // the request's rtp-e2m mode is only-rtp, which attaches the session to
  // the extension stream of the RTP session it names.
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources& resources) override { capacity_.Query(resources); }

  // "rtp ext LEMZ[" G.723 "," G.729 "," G.711 "," universal "]: "
  void PutHeader(std::ostream& out) const { capacity_.PutHeader(out); }
  const RtpCapacity& capacity() const { return capacity_; }

private:
  RtpCapacity capacity_;
};
