#pragma once
// What the signalling-link slots share: the packet that carries the
// controller's `userData` down a link's family, and the reports of an HDLC
// channel's counters and of a Q.921 link.
#include <vector>

#include "foundation/packet.h"
#include "foundation/protocol.h"
#include "hardware/hdlc.h"
#include "messages/LGCP/LGCP.h"
#include "signalling/lapd.h"

namespace LinkSlot {

// A packet with the family's head room holding the bytes; false when a
// packet cannot hold them (nothing is cut).
bool UserDataPacket(ProtocolsFamily& family, std::vector<char> const& data, Packet& out);
// The bytes of a packet, for the `userData` signal.
std::vector<char> Bytes(const Packet& p);

// `hdlcLinkInfo` with the channel's five counters.
LGCP::IoctlResponse HdlcLinkInfo(const HDLC::Stats& stats);
// `isdnLinkInfo` of the link; false when nothing has changed since the last.
bool IsdnLinkInfo(const ISDN::LAPD& lapd, LGCP::IoctlResponse& out);

}  // namespace LinkSlot
