#pragma once
// What the RTP factories share besides the session set-up: the RTP payload
// type of a controller payload, and the board's RTP codec capacity, asked
// from "/dev/voice", which each factory reports and prints in its log prefix.
#include <ostream>

#include "core/slot_factory.h"
#include "messages/LGCP/LGCP.h"
#include "messages/TERM/TERM_enums.h"

// The RTP payload type of a payload; 0 for one that has none.
int translateCodec(const TERM::Payload& payload);
// The override's type when it is one of the two G.711 payloads and differs
// from the session's payload, else the session payload's type.
int translateCodec(const TERM::Payload& session, const TERM::Payload& override);
// A session can carry the payload: G.711, G.723, G.729, G.711-MCC, G.728.
bool IsSessionPayload(const TERM::Payload& payload);

// The base of the plain RTP and the two radio factories.
class RtpFactoryBase : public SlotFactory {
public:
  // Codec numbers of the capacity query.
  enum Codec { G711 = 1, G723 = 2, G729 = 4, G711Mcc = 8, Universal = 65 };

  // Joins the factory chain and asks the driver for the capacity once;
  // name heads the log prefix ("rtp", "rtp ext LEMZ", ...).
  explicit RtpFactoryBase(const char* name);

  // Asks the driver for the five counts; a count it does not give (0 or a
  // failed request) is 0.
  void IQuery();
  // IQuery, then the five counts into the report.
  void Query(LGCP::Resources& resources) override;
  // name "[" G.723 "," G.729 "," G.711 "," universal "]: "
  void PutHeader(std::ostream& out) const;

private:
  const char* name_;
  int g729_ = 0;
  int g723_ = 0;
  int g711_ = 0;
  int g711mcc_ = 0;
  int universal_ = 0;
};
