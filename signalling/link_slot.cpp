#include "signalling/link_slot.h"

#include "messages/ACP/ACP.h"

namespace LinkSlot {

const char* UserDataPacket(ProtocolsFamily& family, std::vector<char> const& data, unsigned limit, Packet& out) {
  if (data.size() > limit)
    return "too long for a frame";
  Packet p;
  if (!p.take(0, packet_reserve))
    return "no packet buffer free";
  family.prepare_head(p);
  if (data.size() > p.tailroom())
    return "too long for a frame";
  if (!data.empty())
    p.put(data.data(), static_cast<unsigned>(data.size()));
  out = p;
  return nullptr;
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

ChannelSlot::ChannelSlot(int trunk, unsigned log) : hdlc_(new HDLC), statistics_(this, &ChannelSlot::OnTimer) {
  hdlc_->bind(this);
  hdlc_->set_trunk(static_cast<uint32_t>(trunk));
  hdlc_->set_log_level(log);
  statistics_.start(StatisticsPeriod);
}

ChannelSlot::~ChannelSlot() {
  statistics_.stop();
  hdlc_->unbind();
  hdlc_->deactivate();
}

void ChannelSlot::OnUpdateTimer() {
  statistics_.start(StatisticsPeriod);
  OnIoctlResponse(HdlcLinkInfo(hdlc_->stats()));
}

bool ChannelSlot::OpenChannel() {
  if (hdlc_->activate())
    return true;
  OnDeactivated();
  return false;
}

}  // namespace LinkSlot
