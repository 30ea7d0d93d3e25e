#include "slots/modem_factory.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <netinet/in.h>
#include <sys/socket.h>

#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "foundation/inet4_addr.h"
#include "foundation/paths.h"
#include "hardware/device_names.h"
#include "slots/auth_client.h"
#include "slots/hdlc_interface.h"
#include "slots/modem_control.h"
#include "slots/modem_slot.h"

namespace {

constexpr int ListenBacklog = 64;
// A driver that never ends its enumeration still gives a finite count.
constexpr uint32_t MaxModems = 1024;

}  // namespace

ModemFactory& ModemFactory::instance() {
  static ModemFactory factory;
  return factory;
}

ModemFactory::ModemFactory() : modems_(0) {
  listenEvent_.Bind("ModemFactory::OnSocketEvent", &ModemFactory::OnSocketEvent, this);
  IQuery();
  Init();
}

ModemFactory::~ModemFactory() {
  for (AuthClient* client : clients_)
    delete client;
  clients_.clear();
  listenEvent_.Release();
}

void ModemFactory::PutHeader(std::ostream& out) const {
  out << "modem[" << modems_ << "," << all_.size() << "]: ";
}

Slot* ModemFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_modem())
    return nullptr;
  const TERM::ModemParams& p = params.get_modem();
  if (p.has_ddm() && p.get_ddm().size() > 0 && !freeInterfaces_.empty()) {
    auto* slot = new HdlcModemSlot(*this, p, freeInterfaces_.front());
    freeInterfaces_.pop_front();
    hdlc_.push_back(slot);
    all_.push_back(slot);
    return slot;
  }
  auto* slot = new DspModemSlot(*this, p);
  all_.push_back(slot);
  return slot;
}

void ModemFactory::Query(LGCP::Resources& resources) {
  IQuery();
  resources.set_modem(static_cast<int>(modems_));
  resources.set_digital_modems(static_cast<int>(freeInterfaces_.size()));
}

void ModemFactory::ReleaseModemSlot(DspModemSlot* slot) { all_.remove(slot); }

void ModemFactory::ReleaseModemSlot(HdlcModemSlot* slot) {
  hdlc_.remove(slot);
  all_.remove(slot);
  freeInterfaces_.push_back(slot->interface_name());
}

void ModemFactory::IQuery() {
  modems_ = 0;
  Fd fd(DevIo::open(GetModemDevName(), O_RDWR | O_CLOEXEC));
  if (!fd) {
    int err = errno;
    std::cerr << ext::header(this) << "fail to open " << ext::quoted(GetModemDevName()) << " : " << strerror(err)
              << std::endl;
  }
  else {
    for (int index = -1; modems_ < MaxModems; ++modems_) {
      index = DevIo::ioctl_value(fd.get(), ModemCtl::Enumerate, static_cast<unsigned long>(index));
      if (index < 0) {
        if (errno != ENODEV)
          std::cerr << ext::header(this) << "enum fail: " << strerror(errno) << std::endl;
        break;
      }
    }
  }

  freeInterfaces_.clear();
  Fd sock(HdlcIf::OpenSocket());
  if (!sock)
    return;
  for (const std::string& name : HdlcIf::Scan(sock.get())) {
    // An interface a live slot holds is not free.
    bool held = std::any_of(hdlc_.begin(), hdlc_.end(),
                            [&](const HdlcModemSlot* slot) { return slot->interface_name() == name; });
    if (!held)
      freeInterfaces_.push_back(name);
  }
  if (!freeInterfaces_.empty()) {
    std::clog << ext::header(this) << "found point-o-point devices:";
    for (const std::string& name : freeInterfaces_)
      std::clog << ' ' << name;
    std::clog << std::endl;
  }
}

// ---- the authentication relay ----

void ModemFactory::Init() {
  Fd sock(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(Paths::auth_relay_port());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int one = 1;
  ::setsockopt(sock.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(sock.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
    std::cerr << ext::header(this) << "fail to bind auth socket: " << strerror(errno) << std::endl;
    return;
  }
  if (::listen(sock.get(), ListenBacklog) < 0) {
    std::cerr << ext::header(this) << "fail to listen auth socket: " << strerror(errno) << std::endl;
    return;
  }
  if (!sock.NonBlock()) {
    std::cerr << ext::header(this) << "can't set socket to non block mode: " << strerror(errno) << std::endl;
    return;
  }
  listener_.reset(sock.release());
  listenEvent_.Schedule(listener_, POLLIN);
}

unsigned short ModemFactory::auth_port() const {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (!listener_ || ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) < 0)
    return 0;
  return ntohs(address.sin_port);
}

void ModemFactory::OnSocketEvent(int, short revents) {
  if (revents & (POLLERR | POLLHUP)) {
    std::cerr << ext::header(this) << "auth server socket error." << std::endl;
    listener_.close();
    listenEvent_.Release();
    return;
  }
  if (!(revents & POLLIN))
    return;
  INet4::Addr peer;
  socklen_t length = sizeof(sockaddr_in);
  Fd fd(::accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer.sockaddr()), &length, SOCK_CLOEXEC));
  if (!fd || !fd.NonBlock()) {
    std::cerr << ext::header(this) << "fail to set nonblock mode." << std::endl;
    return;
  }
  auto* client = new AuthClient(*this, fd.release(), peer);
  if (!client->Activate()) {
    // Out of descriptors: a connection that cannot be watched is closed now.
    const int err = errno;
    std::cerr << ext::header(this) << "auth connection from " << peer << " refused: " << strerror(err)
              << std::endl;
    delete client;
    return;
  }
  clients_.push_back(client);
  std::cerr << ext::header(this) << "incoming auth connection from " << peer << std::endl;
}

void ModemFactory::OnAuth(const attr* record) {
  const int session = static_cast<int>(record->session);
  for (ModemSlot* slot : all_)
    if (slot->modem_id() == session) {
      slot->OnAuth(record);
      return;
    }
  std::cerr << ext::header(this) << "receive auth request for unknown session " << session << std::endl;
}

void ModemFactory::SendAuth(const attr* record) {
  const int session = static_cast<int>(record->session);
  for (AuthClient* client : clients_)
    if (client->has_session() && client->session() == session) {
      client->Send(record);
      return;
    }
  std::clog << ext::header(this) << "send error: unknown auth " << session << " session." << std::endl;
}

void ModemFactory::OnAuthSocketDisconnect(AuthClient* client) {
  std::clog << ext::header(this) << "auth client " << client->peer() << " disconnected." << std::endl;
  clients_.remove(client);
  delete client;
}
