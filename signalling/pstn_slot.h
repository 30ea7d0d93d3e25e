#pragma once
// PSTN slots: one signalling link on a trunk time slot, an SS7 link (MTP
// level 2) or an ISDN D channel (Q.921, or the network side of a basic-rate
// bus), over an HDLC channel the slot wires to the trunk itself when it is
// connected. Level 3 runs in the controller: its messages come down in
// `userData` and go up as `userData` signals; link statistics and state go
// up as `ioctl` signals, the statistics every 3000 ms.
#include <ostream>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "foundation/protocol.h"
#include "hardware/hdlc.h"
#include "signalling/lapd.h"
#include "signalling/lapd_nt.h"
#include "signalling/link_slot.h"
#include "signalling/slc.h"

class PstnSlot : public LinkSlot::ChannelSlot, public ProtocolsFamily, public ISDN::LAPD::Notify {
public:
  enum Mode { SS7Mode = 0, IsdnPri = 1, IsdnBri = 2, IsdnBriNetwork = 3 };

  explicit PstnSlot(LGCP::PstnParams const& params);
  ~PstnSlot() override;

  void OnTrunkStatus(unsigned int trunk, ACP::TrunkState::NamedNumber const& state) override;
  bool IActivate(TERM::TermActivateParams const&) override;
  bool IDeactivate() override;
  bool IUserData(std::vector<char> const& data) override;
  bool Ioctl(LGCP::IoctlParams const& params) override;
  bool IHwConnectTransmitter(Slot& receiver) override;
  bool IHwConnectReceiver(Slot& source) override;
  bool IHwDisconnectTransmitter(Slot& receiver) override;
  bool IHwDisconnectReceiver(Slot& source) override;
  char const* GetName() const override { return "pstn"; }

  // From the HDLC channel, to the link layer.
  void on_hdlc_receive(Packet& frame) override;
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override;

  // From the link layer.
  void on_activated(Protocol* protocol) override;
  void on_deactivated(Protocol* protocol, Protocol_status status) override;
  void on_message(Packet& p) override;
  void transmit(Packet& frame) override;
  void OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) override;

  void OnUpdateTimer() override;
  void PutHeader(std::ostream& out) const;

  SS7::SLC* ss7() const { return ss7_; }
  ISDN::LAPD* lapd() const { return lapd_; }
  ISDN::LAPD_NT* lapd_nt() const { return nt_; }

private:
  void iactivate();
  void SendIsdnInfo();
  void SendSs7Info();

  int mode_;
  unsigned trunk_;
  SS7::SLC* ss7_;
  ISDN::LAPD* lapd_;
  ISDN::LAPD_NT* nt_;
  HDLC::Notify* linkTarget_;
  int lastTrunkState_;
  bool trunkReported_;
  bool closing_;  // in the destructor: nothing more reaches the controller
};

class PstnFactory : public SlotFactory {
public:
  static PstnFactory& instance();

  char const* GetName() const override { return "PSTN"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources&) override {}
  void SelfSignal(LGCP::Signal const& sig) override { PassTrunkStatus(sig); }
};
