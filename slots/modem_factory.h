#pragma once
// The factory of the modem slots: a slot on a free "hdlcN" interface for a
// digital data call, else on a DSP modem. It also keeps the relay between
// the local authentication client (over TCP on the loopback address) and
// the modem slots: the client's records go up to the slot of their
// session, the slot's activation records go down to the client of its
// session.
#include <cstdint>
#include <list>
#include <ostream>
#include <string>

#include "core/slot_factory.h"
#include "foundation/event.h"
#include "foundation/fd.h"
#include "slots/auth_records.h"

class AuthClient;
class ModemSlot;
class DspModemSlot;
class HdlcModemSlot;

class ModemFactory : public SlotFactory {
public:
  static ModemFactory& instance();

  // Scans the modems and interfaces, then opens the relay's listener.
  ModemFactory();
  ~ModemFactory() override;

  char const* GetName() const override { return "Modem"; }
  Slot* INewSlot(LGCP::CreateParams const& params) override;
  void Query(LGCP::Resources& resources) override;

  void ReleaseModemSlot(DspModemSlot* slot);
  void ReleaseModemSlot(HdlcModemSlot* slot);

  // The relay.
  void Init();
  void OnSocketEvent(int fd, short revents);
  void OnAuth(const attr* record);
  void SendAuth(const attr* record);
  void OnAuthSocketDisconnect(AuthClient* client);

  void PutHeader(std::ostream& out) const;
  uint32_t modem_count() const { return modems_; }
  const std::list<std::string>& free_interfaces() const { return freeInterfaces_; }
  const std::list<AuthClient*>& clients() const { return clients_; }
  const std::list<ModemSlot*>& modem_slots() const { return all_; }
  // The port the relay listens on, 0 without a listener.
  unsigned short auth_port() const;

private:
  void IQuery();

  std::list<HdlcModemSlot*> hdlc_;
  std::list<ModemSlot*> all_;
  uint32_t modems_;
  Fd listener_;
  Event listenEvent_;
  std::list<AuthClient*> clients_;
  std::list<std::string> freeInterfaces_;
};
