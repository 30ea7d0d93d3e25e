// The network-side basic-rate link: TEI management and the routing of
// frames and layer-3 messages to the terminals.
#include "signalling/lapd_nt.h"

#include <iostream>

#include "foundation/ext.h"
#include "signalling/head_room.h"
#include "signalling/lapd_frames.h"

namespace ISDN {

using namespace Lapd;

namespace {
constexpr unsigned char FirstAutomaticTEI = 64;
constexpr unsigned char SetupMessage = 5;
}  // namespace

LAPD_NT::LAPD_NT() : timer_(this, &LAPD_NT::on_check_period), log_(0), name_("ISDN::LAPD_NT") {
  for (LAPD_NT_user& u : users_)
    u.set_lapd(this);
}

LAPD_NT::~LAPD_NT() = default;

void LAPD_NT::PutHeader(std::ostream& out) const { out << "LAPD(NT BRI):"; }

void LAPD_NT::set_log(unsigned log) {
  log_ = log;
  for (LAPD_NT_user& u : users_)
    u.set_log(log);
}

void LAPD_NT::local_activate() {
  if (log_ >= 1)
    std::clog << ext::header(this) << "activate" << std::endl;
  check_all_Tei();
  on_activate();
}

void LAPD_NT::local_deactivate() {
  if (log_ >= 1)
    std::clog << ext::header(this) << "deactivate" << std::endl;
  timer_.stop();
  for (LAPD_NT_user& u : users_)
    u.unassign();
  on_deactivate(new Protocol_status_success(this, "success (deactivated locally)"));
}

void LAPD_NT::check_all_Tei() {
  if (log_ >= 1)
    std::clog << ext::header(this) << "Checking Tei values...." << std::endl;
  timer_.stop();
  for (LAPD_NT_user& u : users_)
    u.checking();
  tx_identity(0, GroupTEI, CheckRequest);
  timer_.start(CheckPeriod);
}

void LAPD_NT::tx_identity(unsigned short Ri, int Ai, unsigned char type) {
  Packet frame;
  if (!frame.take(0))
    return;  // no buffer: not sent
  prepare_head(frame);
  put_identity(frame, true, Ri, Ai, type);
  send_to_layer1(frame);
}

void LAPD_NT::remove_tei(int ai) {
  tx_identity(0, ai, IdentityRemove);
  tx_identity(0, ai, IdentityRemove);
}

LAPD_NT_user* LAPD_NT::find_Tei(unsigned char tei) {
  for (LAPD_NT_user& u : users_)
    if (u.state() != LAPD_NT_user::Unassigned && u.tei() == tei)
      return &u;
  return nullptr;
}

LAPD_NT_user* LAPD_NT::find_free_Tei(unsigned char ai) {
  LAPD_NT_user* free = nullptr;
  for (LAPD_NT_user& u : users_) {
    if (u.state() == LAPD_NT_user::Unassigned) {
      free = &u;
      break;
    }
  }
  if (!free)
    return nullptr;
  if (ai != GroupTEI) {
    free->set_tei(ai);
    return free;
  }
  for (unsigned char tei = FirstAutomaticTEI; tei < GroupTEI; ++tei) {
    if (!find_Tei(tei)) {
      free->set_tei(tei);
      return free;
    }
  }
  return nullptr;
}

void LAPD_NT::receive(Packet& frame) {
  unsigned len = frame.length();
  if (len <= 2)
    return;
  const unsigned char* d = frame.data();
  if ((d[0] & 1) || !(d[1] & 1))
    return;
  bool cr = d[0] & 2;
  unsigned sapi = d[0] >> 2;
  unsigned char tei = d[1] >> 1;
  if (tei == GroupTEI) {
    if (d[2] != 0x03)
      return;
    frame.pull(nullptr, 3);
    if (sapi < 63)
      send_to_layer3(frame);
    else
      on_tei_procedure(frame);
    return;
  }
  // An S frame without its N(R) octet.
  if ((d[2] & 3) == 1 && len < 4)
    return;
  LAPD_NT_user* u = find_Tei(tei);
  if (!u) {
    u = find_free_Tei(tei);
    if (!u) {
      if (log_ >= 1)
        std::clog << ext::header(this) << "recieved packet with unassigned TEI=" << unsigned(tei) << ",removed"
                  << std::endl;
      remove_tei(tei);
      return;
    }
    if (log_ >= 1)
      std::clog << ext::header(this) << "Warning:recieved packet with unassigned TEI=" << unsigned(tei) << std::endl;
    u->assign();
  }
  u->receive(frame, cr);
}

void LAPD_NT::message(Packet& p) {
  if (p.length() <= 3)
    return;
  if (p[3] == SetupMessage) {
    if (!ensure_head_room(p, 3))
      return;
    p.push(0x03);
    p.push(0xFF);
    p.push(0x02);
    send_to_layer1(p);
    return;
  }
  for (LAPD_NT_user& u : users_)
    if (u.message(p))
      return;
}

void LAPD_NT::on_tei_procedure(Packet& info) {
  Identity m;
  if (!read_identity(info, m) || info[0] != ManagementEntity)
    return;
  const unsigned short ri = m.ri;
  const int ai = m.ai;
  switch (m.type) {
  case IdentityRequest:
    if (ai < FirstAutomaticTEI) {
      if (log_ >= 1)
        std::clog << ext::header(this) << "recieved identity request with wrong Ai=" << ai << ",ignored" << std::endl;
    } else if (ai == GroupTEI) {
      if (LAPD_NT_user* u = find_free_Tei(GroupTEI)) {
        if (log_ >= 1)
          std::clog << ext::header(this) << "recieved identity request,TEI assigned:" << unsigned(u->tei())
                    << std::endl;
        tx_identity(ri, u->tei(), IdentityAssigned);
        u->assign();
      } else {
        if (log_ >= 1)
          std::clog << ext::header(this) << "recieved identity request, but all TEI values is ussigned" << std::endl;
        tx_identity(ri, GroupTEI, IdentityDenied);
      }
    } else {
      if (log_ >= 1)
        std::clog << ext::header(this) << "recieved identity request with wrong Ai=" << ai << ",denied" << std::endl;
      tx_identity(ri, ai, IdentityDenied);
    }
    break;
  case CheckResponse: {
    if (ai == GroupTEI) {
      if (log_ >= 1)
        std::clog << ext::header(this) << "recieved check response with wrong Ai=" << ai << ",removed" << std::endl;
      remove_tei(ai);
      break;
    }
    LAPD_NT_user* u = find_Tei(static_cast<unsigned char>(ai));
    bool adopted = false;
    if (!u) {
      u = find_free_Tei(static_cast<unsigned char>(ai));
      if (!u) {
        if (log_ >= 1)
          std::clog << ext::header(this) << "recieved check response with wrong Ai=" << ai << ",removed" << std::endl;
        remove_tei(ai);
        break;
      }
      adopted = true;
    }
    if (!adopted && !u->check()) {
      if (ri == u->check_ri())
        break;
      if (log_ >= 1)
        std::clog << ext::header(this) << "recieved check response with dublicated Ai=" << ai << ",removed"
                  << std::endl;
      u->unassign();
      remove_tei(ai);
      break;
    }
    if (log_ >= 1)
      std::clog << ext::header(this) << "TEI " << ai << " checked" << std::endl;
    u->assign();
    u->set_check_ri(ri);
    break;
  }
  case IdentityVerify:
    if (log_ >= 1)
      std::clog << ext::header(this) << "recieved verify request" << std::endl;
    check_all_Tei();
    break;
  default:
    break;
  }
}

}  // namespace ISDN
