#pragma once
// The factory of plain RTP slots: it takes a create request for an RTP
// session without a radio part, and reports the board's RTP codec capacity.
#include <ostream>

#include "core/slot_factory.h"
#include "rtp/rtp_capacity.h"

class RtpFactory : public SlotFactory {
public:
  // The daemon's factory, built on first use.
  static RtpFactory& instance();

  // Joins the factory chain and asks the driver for the capacity once.
  RtpFactory();

  char const* GetName() const override { return "RTP"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources& resources) override { capacity_.Query(resources); }

  void IQuery() { capacity_.IQuery(); }
  // "rtp[" G.723 "," G.729 "," G.711 "," universal "]: "
  void PutHeader(std::ostream& out) const { capacity_.PutHeader(out); }
  const RtpCapacity& capacity() const { return capacity_; }

private:
  RtpCapacity capacity_;
};
