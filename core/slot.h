#pragma once
// The base of every slot: one channel endpoint that the controller creates,
// connects, activates, feeds and destroys by number. Slot types implement
// the virtual operations; the base keeps the connection links, sends the
// slot's signals and turns board events into controller signals.
//
// A slot is made by its factory (SlotFactory::NewSlot), owned by the slot
// registry (Slots) and deleted only by it. A type whose release takes time
// returns false from IBeforeDestroy and calls on_release() when done.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "hardware/tonec_receiver.h"
#include "messages/ACP/ACP_enums.h"
#include "messages/LGCP/LGCP.h"

class SlotFactory;
class Slots;
struct dsproc_bss_event;
struct dsproc_tone_event;
struct dsproc_flags_event;
struct rtp_event;
namespace Hardware {
struct DSProcVADEvent;
struct DSProcSDEvent;
}  // namespace Hardware

class Slot {
public:
  static constexpr uint32_t NoId = 0xFFFFFFFFu;

  Slot();
  virtual ~Slot();
  Slot(const Slot&) = delete;
  Slot& operator=(const Slot&) = delete;

  virtual int GetTrunk() { return -1; }
  virtual int GetTrunkTimeSlot() { return -1; }
  virtual void OnTrunkStatus(unsigned int, ACP::TrunkState::NamedNumber const&) {}
  // Runs once the create command has been answered.
  virtual void IAfterCreate() {}
  // True: released at once. False: the slot calls on_release() later.
  virtual bool IBeforeDestroy() { return true; }
  // True answers the command with success, false with `unsupported`.
  virtual bool IActivate(TERM::TermActivateParams const&) { return false; }
  virtual bool IDeactivate() { return false; }
  virtual bool IUserData(std::vector<char> const&) { return false; }
  virtual bool Ioctl(LGCP::IoctlParams const&) { return false; }
  // The side with the higher priority takes the hardware step of a connection.
  virtual int GetConnectionPriority() { return 0; }
  virtual bool IHwConnectTransmitter(Slot& receiver);
  virtual bool IHwConnectReceiver(Slot& source);
  virtual bool IHwDisconnectTransmitter(Slot& receiver);
  virtual bool IHwDisconnectReceiver(Slot& source);
  // Asked when the slot gets its first receiver / a source.
  virtual bool IOnOutputStream() { return false; }
  virtual bool IOnInputStream() { return false; }
  // Called when the last receiver / the source goes.
  virtual void IOnOutputRelease() {}
  virtual void IOnInputRelease() {}
  // TDM switch channels: what the slot transmits on, the output it receives on.
  virtual int IGetTransmitChannel() { return -1; }
  virtual int IGetReceiveChannel() { return -1; }
  virtual char const* GetName() const = 0;

  // "05:trunk": the number (two digits below 1024, "i" and the number above,
  // "na" before registration), a colon and the type's name.
  void Put(std::ostream& out) const;

  // Sends a signal about this slot (other services first, then the controller).
  void SendSignal(LGCP::Signal const& sig);
  void OnTonecEvent(LGCP::TonecEvent const& event);
  void OnNumber(std::string const& digits);
  void OnModem(TERM::ModemProceeding const& record);
  void OnModem(TERM::ModemInformation const& record);
  void OnActivated();
  void OnDeactivated();
  void OnAbort(int code);
  void OnUserData(std::vector<char> const& data);
  void OnIoctlResponse(LGCP::IoctlResponse const& response);
  void OnRtpRadioEvent(TERM::RtpRadioRequest const& request);
  void OnVADEvent(LGCP::VADEvent const& event);
  void OnProtoLemzEvent(LEMZGW::ProtoLemzPackets const& packets);
  void OnSDEvent(LGCP::SDEvent const& event);
  void OnRtpEvent(LGCP::RtpEvent const& event);

  // Board events turned into signals.
  void processTonecEvent(Hardware::TonecReceiver::Params const& p);
  void processToneGenEvent();
  void processToneFltEvent(dsproc_tone_event const* e);
  void processVADEvent(Hardware::DSProcVADEvent const& e);
  void processSDEvent(Hardware::DSProcSDEvent const& e);
  void processFlagsEvent(dsproc_flags_event const* e);
  void processBSSEvent(dsproc_bss_event const* e);
  void processRtpEvent(rtp_event const& e);

  // A deferred release has completed: when the slot is being destroyed, the
  // registry answers the waiting destroy and deletes the slot.
  void on_release();
  // IBeforeDestroy; on true the slot leaves its factory's list.
  bool BeforeDestroy();

  // The logical half of a connection, called on the receiver.
  void LogicalConnect(Slot& source);
  void LogicalDisconnect();
  // Stream announcements to the controller; false also tears down the
  // connections on that side.
  void OnChangeInputStream(bool active);
  void OnChangeOutputStream(bool active);

  uint32_t id() const { return id_; }
  Slot* source() const { return source_; }
  const std::vector<Slot*>& receivers() const { return receivers_; }
  SlotFactory* factory() const { return factory_; }
  bool input_stream() const { return inputActive_; }
  bool output_stream() const { return outputActive_; }
  bool destroying() const { return destroying_; }
  uint32_t delayed_token() const { return token_; }

private:
  friend class SlotFactory;
  friend class Slots;
  void SendAlternative(int alternative, ASN1::AbstractData* value);

  uint32_t id_;
  std::vector<Slot*> receivers_;  // sorted, each once
  Slot* source_;
  SlotFactory* factory_;
  bool inputActive_;
  bool outputActive_;
  bool destroying_;
  uint32_t token_;
};

inline std::ostream& operator<<(std::ostream& out, Slot const& slot) {
  slot.Put(out);
  return out;
}
