#include <iostream>

#include "foundation/ext.h"
#include "foundation/fd.h"
#include "foundation/paths.h"
#include "slots/hdlc_interface.h"
#include "slots/modem_factory.h"
#include "slots/modem_slot.h"

HdlcModemSlot::HdlcModemSlot(ModemFactory& factory, const TERM::ModemParams& params, const std::string& name)
    : ModemSlot(factory, params), channel_(-1), name_(name) {}

HdlcModemSlot::~HdlcModemSlot() {
  pppd_kill();
  Fd sock(HdlcIf::OpenSocket());
  if (sock)
    if (const char* failure = HdlcIf::RestoreRawHdlc(sock.get(), name_))
      std::cerr << ext::header(this) << failure << std::endl;
  unbind();
}

void HdlcModemSlot::unbind() {
  if (unbinding())
    factory_.ReleaseModemSlot(this);
}

bool HdlcModemSlot::IOnOutputStream() {
  initModem();
  return true;
}

bool HdlcModemSlot::IOnInputStream() {
  initModem();
  return true;
}

void HdlcModemSlot::initModem() {
  if (pid_ >= 0)
    return;
  Fd sock(HdlcIf::OpenSocket());
  if (!sock)
    return;
  if (!HdlcIf::GetChannel(sock.get(), name_, channel_)) {
    std::cerr << ext::header(this) << "SIOCWANDEV/IF_GET_IFACE fail!" << std::endl;
    return;
  }
  if (!HdlcIf::SetPpp(sock.get(), name_)) {
    std::cerr << ext::header(this) << "SIOCWANDEV/IF_PROTO_PPP fail!" << std::endl;
    return;
  }
  pppd_exec(name_, Paths::kPppInterfaceOptions);
}
