#pragma once
// ISDN and QSIG slots: a Q.921 data link over a channel the slot opens
// itself, instead of an HDLC controller object: an ISDN slot over its own
// channel of the multi-channel controller ("/dev/mcc/ctl"), an ATS-QSIG
// slot over the DSP data device ("/dev/dsp-data"); ATS-QSIG B-channel slots
// register B channels on an ATS-QSIG slot's device. The slots are the data
// link's HDLC channel and are connected through the TDM switch like
// ordinary slots, on the channel their device assigned. Layer 3 runs in the
// controller and travels as `userData`.
#include <ostream>
#include <vector>

#include "core/slot.h"
#include "core/slot_factory.h"
#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/frame_intake.h"
#include "foundation/protocol.h"
#include "hardware/hdlc.h"
#include "signalling/lapd.h"

class AtsQsigBSlot;

class IsdnSlot : public Slot, public ProtocolsFamily, public ISDN::LAPD::Notify, public GenericHDLC {
public:
  // Takes the device channel (a descriptor of its own is kept) and the link.
  IsdnSlot(const Fd& device, int channel, ISDN::LAPD* lapd, const char* eventName);
  ~IsdnSlot() override;

  bool IActivate(TERM::TermActivateParams const&) override;
  bool IDeactivate() override;
  bool IUserData(std::vector<char> const& data) override;
  bool Ioctl(LGCP::IoctlParams const&) override { return false; }
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return channel_; }
  int IGetReceiveChannel() override { return channel_; }
  char const* GetName() const override { return "MCC"; }

  bool hdlc_transmit(Packet& frame) override;
  bool is_open() const override { return static_cast<bool>(device_); }
  bool is_ready() const override { return ready_; }

  void on_activated(Protocol* protocol) override;
  void on_deactivated(Protocol* protocol, Protocol_status status) override;
  void on_message(Packet& p) override;
  void transmit(Packet&) override {}
  void OnLAPD_FlowStatusChange(ISDN::LAPD*) override {}

  void OnEvent(int fd, short revents);
  void UpdateISDN_Statistics();
  void PutHeader(std::ostream& out) const;

  ISDN::LAPD* lapd() const { return lapd_; }
  bool watching() const { return static_cast<bool>(event_.fd()); }

protected:
  const Fd& device() const { return device_; }
  void StopWatching() { event_.Release(); }

private:
  int channel_;
  Fd device_;
  Event event_;  // watches a duplicate of the device descriptor
  FrameIntake intake_;
  ISDN::LAPD* lapd_;
  bool ready_;
  bool closing_;
};

class AtsQsigSlot : public IsdnSlot {
public:
  AtsQsigSlot(const Fd& device, int channel, ISDN::LAPD* lapd);

  bool IBeforeDestroy() override;
  char const* GetName() const override { return "ATS-QSIG"; }

  // A B-channel slot for index (0-based), or null when the device refuses.
  AtsQsigBSlot* NewBChannel(unsigned index);
  // Gives a B channel back to the device.
  void RemoveBChannel(unsigned index, int channel);
};

class AtsQsigBSlot : public Slot {
public:
  AtsQsigBSlot(unsigned parent, unsigned index, int channel) : parent_(parent), index_(index), channel_(channel) {}

  bool IBeforeDestroy() override;
  bool IOnOutputStream() override { return true; }
  bool IOnInputStream() override { return true; }
  int IGetTransmitChannel() override { return channel_; }
  int IGetReceiveChannel() override { return channel_; }
  char const* GetName() const override { return "ATS-QSIG-B"; }

  void PutHeader(std::ostream& out) const;

private:
  unsigned parent_;
  unsigned index_;
  int channel_;
};

class IsdnFactory : public SlotFactory {
public:
  // Requests of the DSP data device.
  static constexpr unsigned long DspDataChannel = 0x40044211;  // result: the channel's switch number
  static constexpr unsigned long DspDataAddB = 0x8008420f;     // {B channel index, switch number}
  static constexpr unsigned long DspDataRemoveB = 0x80084210;

  static IsdnFactory& instance();

  char const* GetName() const override { return "ISDN"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources&) override {}
  Slot* FindSlot(unsigned number) const;

  void PutHeader(std::ostream& out) const { out << "mcc/isdn: "; }

private:
  Slot* NewIsdnSlot(LGCP::IsdnParams const& params);
  Slot* NewAtsQsigSlot(LGCP::AtsQsigParams const& params);
  Slot* NewAtsQsigBSlot(LGCP::AtsQsigBParams const& params);
};
