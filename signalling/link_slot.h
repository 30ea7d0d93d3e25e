#pragma once
// What the signalling-link slots share: the packet that carries the
// controller's `userData` down a link's family, the reports of an HDLC
// channel's counters and of a Q.921 link, and the slot over an HDLC
// channel of its own.
#include <memory>
#include <vector>

#include "core/slot.h"
#include "foundation/packet.h"
#include "foundation/protocol.h"
#include "foundation/timer.h"
#include "hardware/hdlc.h"
#include "messages/LGCP/LGCP.h"
#include "signalling/lapd.h"

namespace LinkSlot {

// A packet with the family's head room holding the bytes, for `userData`
// that the link carries in frames of at most `limit` octets. Null when
// made; else why the bytes are refused (nothing is cut): too long for a
// frame, or the pool keeps its last buffers for the controller link and
// the frames the links build and read.
const char* UserDataPacket(ProtocolsFamily& family, std::vector<char> const& data, unsigned limit, Packet& out);
// The bytes of a packet, for the `userData` signal.
std::vector<char> Bytes(const Packet& p);

// `hdlcLinkInfo` with the channel's five counters.
LGCP::IoctlResponse HdlcLinkInfo(const HDLC::Stats& stats);
// `isdnLinkInfo` of the link; false when nothing has changed since the last.
bool IsdnLinkInfo(const ISDN::LAPD& lapd, LGCP::IoctlResponse& out);

// A slot over an HDLC channel that it wires to the slot it is connected
// with: it takes the hardware step of every connection it is in (its
// priority is above every other kind's), and reports the channel's
// counters every 3000 ms from its creation. The channel goes with the
// slot, after whatever a derived slot runs over it.
class ChannelSlot : public Slot, public HDLC::Notify {
public:
  static constexpr unsigned StatisticsPeriod = 3000;

  ChannelSlot(int trunk, unsigned log);
  ~ChannelSlot() override;

  int GetConnectionPriority() override { return 1; }
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }

  // Re-arms the timer and sends the reports (`hdlcLinkInfo`).
  virtual void OnUpdateTimer();

protected:
  // Opens the channel; a channel that cannot be opened is reported
  // `deactivated`.
  bool OpenChannel();

  std::unique_ptr<HDLC> hdlc_;

private:
  void OnTimer() { OnUpdateTimer(); }
  MemberTimer<ChannelSlot> statistics_;
};

}  // namespace LinkSlot
