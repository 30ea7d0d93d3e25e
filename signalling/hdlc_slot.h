#pragma once
// Raw HDLC slots: whole frames between the controller and an HDLC channel
// that the slot wires to the slot it is connected with (normally a trunk
// time slot). No link protocol runs; every frame carries a 16-bit station
// address and a byte of two 3-bit counters in front of its payload. The
// controller's frames come in `hdlcPackages` ioctls and leave through a
// 120-frame queue; frames from the line for the slot's address go back in
// batches, as `hdlcPackages` ioctl signals: at once when a frame's second
// payload byte has bit 7 clear, else 100 ms after the first of the batch.
// The channel's counters are reported every 3000 ms.
#include <cstdint>
#include <ostream>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "foundation/timer.h"
#include "hardware/hdlc.h"
#include "signalling/link_slot.h"
#include "signalling/clean_queue.h"

class HdlcSlot : public LinkSlot::ChannelSlot {
public:
  static constexpr unsigned QueueSize = 120;
  static constexpr unsigned FlushDelay = 100;
  static constexpr unsigned HeaderSize = 3;

  explicit HdlcSlot(LGCP::HdlcParams const& params);

  void OnTrunkStatus(unsigned int, ACP::TrunkState::NamedNumber const&) override {}
  bool IActivate(TERM::TermActivateParams const&) override;
  bool IDeactivate() override;
  bool Ioctl(LGCP::IoctlParams const& params) override;
  bool IHwConnectTransmitter(Slot& receiver) override;
  bool IHwConnectReceiver(Slot& source) override;
  bool IHwDisconnectTransmitter(Slot& receiver) override;
  bool IHwDisconnectReceiver(Slot& source) override;
  char const* GetName() const override { return "hdlc-slot"; }

  void on_hdlc_receive(Packet& frame) override;
  void on_hdlc_error(Cause::Type cause) override;
  void on_hdlc_ready() override;

  void PutHeader(std::ostream& out) const;

private:
  // Wires the channel to a line channel and opens it.
  void connect(int tdm);
  void iactivate();
  void flushResponce();

  ASN1::SEQUENCE_OF<LGCP::HdlcPackage, ASN1::EmptyConstraint> pending_;  // the batch being collected
  int trunk_;
  MemberTimer<HdlcSlot> flush_;
  CleanQueue<Packet, QueueSize> queue_;
  uint16_t address_;
  uint8_t sendCounter_;
  uint8_t peerCounter_;
};

class HdlcSlotFactory : public SlotFactory {
public:
  static HdlcSlotFactory& instance();

  char const* GetName() const override { return "HdlcSlotFactory"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources&) override {}
  void SelfSignal(LGCP::Signal const& sig) override;
};
