#include "signalling/link_slot.h"

#include "messages/ACP/ACP.h"

namespace LinkSlot {

bool UserDataPacket(ProtocolsFamily& family, std::vector<char> const& data, Packet& out) {
  Packet p;
  p.reserve_head(0);
  family.prepare_head(p);
  if (data.size() > p.tailroom())
    return false;
  if (!data.empty())
    p.put(data.data(), static_cast<unsigned>(data.size()));
  out = p;
  return true;
}

std::vector<char> Bytes(const Packet& p) {
  const char* bytes = reinterpret_cast<const char*>(p.data());
  return std::vector<char>(bytes, bytes + p.length());
}

LGCP::IoctlResponse HdlcLinkInfo(const HDLC::Stats& s) {
  LGCP::IoctlResponse r;
  LGCP::HdlcLinkInfo& info = r.select_hdlcLinkInfo();
  info.set_txSU(static_cast<int>(s.txSU));
  info.set_txDiscard(static_cast<int>(s.txDiscard));
  info.set_txError(static_cast<int>(s.txError));
  info.set_txOverflow(static_cast<int>(s.txOverflow));
  info.set_rxSU(static_cast<int>(s.rxSU));
  return r;
}

bool IsdnLinkInfo(const ISDN::LAPD& lapd, LGCP::IoctlResponse& out) {
  ACP::IsdnLinkInfo& info = out.select_isdnLinkInfo();
  if (!lapd.GetInfo(info))
    return false;
  info.set_side(lapd.side() == ISDN::Side::network ? ACP::IsdnSide::network : ACP::IsdnSide::user);
  return true;
}

}  // namespace LinkSlot
