#include "signalling/pstn_slot.h"

#include <iostream>

#include "foundation/ext.h"
#include "messages/ACP/ACP.h"
#include "signalling/lapd_frames.h"
namespace {

// The channel's trunk and log level: those of an SS7 link or a Q.921 one.
int ChannelTrunk(LGCP::PstnParams const& params) {
  if (params.is_ss7())
    return params.get_ss7().get_trunk().getValue();
  if (!params.is_isdn())
    return 0;
  const LGCP::IsdnParams& p = params.get_isdn();
  bool nt = p.get_type().getValue() == LGCP::IsdnType::bri && p.get_side().is_network();
  return nt ? 0 : p.get_trunk().getValue();
}
unsigned ChannelLog(LGCP::PstnParams const& params) {
  return params.is_isdn() && ChannelTrunk(params) ? static_cast<unsigned>(params.get_isdn().get_log().getValue()) : 0;
}

}  // namespace

PstnSlot::PstnSlot(LGCP::PstnParams const& params)
    : ChannelSlot(ChannelTrunk(params), ChannelLog(params)),
      mode_(SS7Mode),
      trunk_(0),
      ss7_(nullptr),
      lapd_(nullptr),
      nt_(nullptr),
      linkTarget_(nullptr),
      lastTrunkState_(ACP::TrunkState::unknown),
      trunkReported_(false),
      closing_(false) {
  if (params.is_ss7()) {
    const LGCP::SS7Params& p = params.get_ss7();
    int trunk = p.get_trunk().getValue();
    ss7_ = new SS7::SLC;
    ss7_->set_hdlc(hdlc_.get());
    ss7_->set_trunk(static_cast<unsigned>(trunk));
    ss7_->set_slc(static_cast<unsigned>(p.get_slc().getValue()));
    ss7_->set_dpc(static_cast<unsigned>(p.get_dpc().getValue()));
    ss7_->set_opc(static_cast<unsigned>(p.get_opc().getValue()));
    ss7_->set_emergency(p.get_emergency().getValue());
    linkTarget_ = ss7_;
    add_protocol_tail(ss7_);
    trunk_ = static_cast<unsigned>(trunk - 1);
  } else if (params.is_isdn()) {
    const LGCP::IsdnParams& p = params.get_isdn();
    int trunk = p.get_trunk().getValue();
    unsigned log = static_cast<unsigned>(p.get_log().getValue());
    bool bri = p.get_type().getValue() == LGCP::IsdnType::bri;
    bool network = p.get_side().is_network();
    if (bri && network) {
      nt_ = new ISDN::LAPD_NT;
      nt_->set_log(log);
      add_protocol_tail(nt_);
      mode_ = IsdnBriNetwork;
    } else {
      lapd_ = new ISDN::LAPD(ISDN::Side::user, 0);
      lapd_->set_hdlc(hdlc_.get());
      lapd_->set_side(network ? ISDN::Side::network : ISDN::Side::user);
      lapd_->set_id(static_cast<unsigned>(trunk));
      lapd_->set_log(log);
      lapd_->set_notify(this);
      linkTarget_ = lapd_;
      trunk_ = static_cast<unsigned>(trunk - 1);
      if (bri)
        lapd_->change_to_bri();
      mode_ = bri ? IsdnBri : IsdnPri;
      add_protocol_tail(lapd_);
    }
  }
}

// The link layer goes first, while its channel is still open; nothing of
// its ending reaches the controller.
PstnSlot::~PstnSlot() {
  closing_ = true;
  deactivate();
  while (Protocol* layer = top())
    delete layer;
  ss7_ = nullptr;
  lapd_ = nullptr;
  nt_ = nullptr;
  linkTarget_ = nullptr;
}

void PstnSlot::PutHeader(std::ostream& out) const {
  out << "pstn-slot: ";
  Put(out);
  out << ": ";
}

// ---- connections ----

bool PstnSlot::IHwConnectReceiver(Slot& source) {
  HDLC::Params p = hdlc_->params();
  if (mode_ == SS7Mode || mode_ == IsdnPri) {
    int trunk = source.GetTrunk(), timeslot = source.GetTrunkTimeSlot();
    if (trunk > 3) {
      std::cerr << "pstn-slot: invalid trunk number: " << trunk << std::endl;
      return false;
    }
    if (timeslot > 31) {
      std::cerr << "pstn-slot: invalid timeslot: " << timeslot << std::endl;
      return false;
    }
    hdlc_->set_trunk(static_cast<uint32_t>(trunk));
    p.timeslot = timeslot;
  }
  p.tdm = source.IGetTransmitChannel();
  p.mode = mode_ == SS7Mode ? 0 : mode_ == IsdnPri ? 1 : 2;
  hdlc_->set_params(p);
  if (mode_ == SS7Mode || mode_ == IsdnPri || p.tdm2 != -1)
    iactivate();
  return true;
}

bool PstnSlot::IHwConnectTransmitter(Slot& receiver) {
  if (mode_ != IsdnBri && mode_ != IsdnBriNetwork)
    return true;
  HDLC::Params p = hdlc_->params();
  p.tdm2 = receiver.IGetReceiveChannel();
  hdlc_->set_params(p);
  if (p.tdm != -1)
    iactivate();
  return true;
}

bool PstnSlot::IHwDisconnectTransmitter(Slot& receiver) {
  if (mode_ == IsdnBri || mode_ == IsdnBriNetwork)
    deactivate();
  Slot::IHwDisconnectTransmitter(receiver);
  return true;
}

bool PstnSlot::IHwDisconnectReceiver(Slot& source) {
  deactivate();
  Slot::IHwDisconnectReceiver(source);
  return true;
}

void PstnSlot::iactivate() {
  if (OpenChannel())
    activate();
}

bool PstnSlot::IActivate(TERM::TermActivateParams const&) {
  iactivate();
  return true;
}

bool PstnSlot::IDeactivate() {
  deactivate();
  return true;
}

// ---- traffic ----

bool PstnSlot::IUserData(std::vector<char> const& data) {
  if (!top()) {
    std::cerr << ext::header(this) << "no link layer to carry user data" << std::endl;
    return false;
  }
  Packet p;
  // A Q.921 frame carries at most N201 octets of layer 3.
  unsigned limit = ss7_ ? packet_max_size : ISDN::Lapd::N201;
  if (const char* why = LinkSlot::UserDataPacket(*this, data, limit, p)) {
    std::cerr << ext::header(this) << "user data of " << data.size() << " bytes refused: " << why << std::endl;
    return false;
  }
  message(p);
  return true;
}

void PstnSlot::on_message(Packet& p) {
  if (closing_)
    return;
  OnUserData(LinkSlot::Bytes(p));
}

// Only the network-side link sends down the family: to the channel.
void PstnSlot::transmit(Packet& frame) {
  if (nt_)
    hdlc_->hdlc_transmit(frame);
}

void PstnSlot::on_hdlc_receive(Packet& frame) {
  if (linkTarget_)
    linkTarget_->on_hdlc_receive(frame);
  else if (nt_)
    receive(frame);
}

void PstnSlot::on_hdlc_error(Cause::Type cause) {
  if (linkTarget_)
    linkTarget_->on_hdlc_error(cause);
}

void PstnSlot::on_hdlc_ready() {
  if (linkTarget_)
    linkTarget_->on_hdlc_ready();
}

// ---- link state and reports ----

void PstnSlot::on_activated(Protocol*) {
  if (closing_)
    return;
  SendIsdnInfo();
  SendSs7Info();
  OnActivated();
}

void PstnSlot::on_deactivated(Protocol*, Protocol_status) {
  if (closing_)
    return;
  SendIsdnInfo();
  SendSs7Info();
  OnUpdateTimer();
  OnDeactivated();
}

void PstnSlot::OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) {
  if (closing_)
    return;
  LGCP::IoctlResponse r;
  r.select_isdnLinkStatus() = lapd->flow_status() == ISDN::LAPD::FlowStatus::busy ? LGCP::IsdnLinkStatus::congested
                                                                                   : LGCP::IsdnLinkStatus::normal;
  OnIoctlResponse(r);
}

void PstnSlot::OnTrunkStatus(unsigned int trunk, ACP::TrunkState::NamedNumber const& state) {
  if (trunk != trunk_ || !ss7_)
    return;
  if (trunkReported_ && state == lastTrunkState_)
    return;
  trunkReported_ = true;
  lastTrunkState_ = state;
  ss7_->OnTrunkHardStatus(state == ACP::TrunkState::normal);
}

bool PstnSlot::Ioctl(LGCP::IoctlParams const& params) {
  if (!ss7_)
    return false;
  if (params.is_ss7RqBSN()) {
    LGCP::IoctlResponse r;
    r.select_ss7BSN().setValue(static_cast<int>(ss7_->bsnt()));
    OnIoctlResponse(r);
    return true;
  }
  if (params.is_ss7Log()) {
    const LGCP::SS7L2Log& l = params.get_ss7Log();
    SS7::SLC::LogSwitches& s = ss7_->log();
    s.state = l.get_state().getValue();
    s.raw_receive = l.get_raw_receive().getValue();
    s.raw_transmit = l.get_raw_transmit().getValue();
    s.mtp_transmit = l.get_mtp_transmit().getValue();
    s.mtp_receive = l.get_mtp_receive().getValue();
    s.mtp_activate = l.get_mtp_activate().getValue();
    s.timers = l.get_timers().getValue();
    s.msu_processing = l.get_msu_processing().getValue();
    return true;
  }
  return false;
}

void PstnSlot::OnUpdateTimer() {
  ChannelSlot::OnUpdateTimer();
  SendIsdnInfo();
  SendSs7Info();
}

void PstnSlot::SendIsdnInfo() {
  LGCP::IoctlResponse r;
  if (lapd_ && LinkSlot::IsdnLinkInfo(*lapd_, r))
    OnIoctlResponse(r);
}

void PstnSlot::SendSs7Info() {
  if (!ss7_)
    return;
  SS7::SLC::Statistics s = ss7_->statistics();
  LGCP::IoctlResponse r;
  ACP::SS7LinkInfo& info = r.select_ss7LinkInfo();
  info.set_msuTxCount(static_cast<int>(s.suTx));
  info.set_msuRxCount(static_cast<int>(s.suRx));
  info.set_octetsTx(static_cast<int>(s.octetsTx));
  info.set_octetsRx(static_cast<int>(s.octetsRx));
  info.set_speedRx(0);
  info.set_speedTx(0);
  info.set_overflowCntr(static_cast<int>(s.overflows));
  info.set_rtbSize(static_cast<int>(s.rtbCount));
  info.set_repeatCntr(static_cast<int>(s.retransmissions));
  info.set_badSeqCntr(static_cast<int>(s.nacks));
  info.set_ss7state(static_cast<ACP::SS7State::NamedNumber>(ss7_->get_state_id()));
  OnIoctlResponse(r);
}

PstnFactory& PstnFactory::instance() {
  static PstnFactory factory;
  return factory;
}

Slot* PstnFactory::INewSlot(LGCP::CreateParams const& params) {
  return params.is_pstn() ? new PstnSlot(params.get_pstn()) : nullptr;
}
