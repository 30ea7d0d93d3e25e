#pragma once
// The factory of ED-137 radio slots: it takes a create request for an RTP
// session whose radio part holds an ED-137 status, and reports the board's
// RTP codec capacity like the other RTP factories.
#include <ostream>

#include "core/slot_factory.h"
#include "hardware/rtp_records.h"
#include "rtp/ed137_radio_state.h"
#include "rtp/rtp_capacity.h"

class RtpED137Factory : public SlotFactory {
public:
  // The daemon's factory, built on first use.
  static RtpED137Factory& instance();

  RtpED137Factory();

  char const* GetName() const override { return "RTP Ext ED137"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources& resources) override { capacity_.Query(resources); }

  // "rtp ext ED137[" G.723 "," G.729 "," G.711 "," universal "]: "
  void PutHeader(std::ostream& out) const { capacity_.PutHeader(out); }
  const RtpCapacity& capacity() const { return capacity_; }

  // The driver's record for the session: profile 0x0167 and the words
  // {1, 123, K, S}, K the keep-alive period in packets (of packet_factor x
  // 10 ms, 2 when 0) times sigtime, S sigtime (1 when 0).
  static rtp_ext_init_params InitParams(const RTPSignalling::ED137RadioParams& radio, uint16_t packetFactor);

private:
  RtpCapacity capacity_;
};
