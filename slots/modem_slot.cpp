#include "slots/modem_slot.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <unistd.h>

#include "foundation/ext.h"
#include "foundation/paths.h"
#include "slots/child_program.h"
#include "slots/modem_factory.h"

namespace {

// At most this many of the controller's arguments reach the PPP daemon.
constexpr size_t MaxPppdArgs = 62;

std::string field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

}  // namespace

ModemSlot::ModemSlot(ModemFactory& factory, const TERM::ModemParams& params)
    : factory_(factory), params_(params), pid_(-1), bound_(true) {
  wait_.Bind(this, &ModemSlot::on_terminate);
}

ModemSlot::~ModemSlot() = default;

void ModemSlot::PutHeader(std::ostream& out) const {
  Put(out);
  out << ": ";
}

void ModemSlot::pppd_exec(const std::string& tty, const char* options) {
  if (pid_ >= 0)
    return;
  ChildProgram pppd;
  pppd.path = Paths::resolve(params_.has_execfile() ? params_.get_execfile().getValue() : Paths::kPppd);
  if (params_.has_execargs()) {
    for (const ASN1::IA5String& arg : params_.get_execargs()) {
      if (pppd.args.size() == MaxPppdArgs)
        break;
      pppd.args.push_back(arg.getValue());
    }
  }
  else {
    pppd.args = {"file", Paths::resolve(options), tty};
    if (!params_.get_cid().getValue().empty()) {
      pppd.args.push_back("remotenumber");
      pppd.args.push_back(params_.get_cid().getValue());
    }
  }
  int pid = StartChild(pppd);
  if (pid < 0) {
    failed("vfork fail: ");
    return;
  }
  watch(pid, this, &ModemSlot::on_terminate);
  std::clog << ext::header(this) << "pppd executed" << " cid=" << ext::quoted(params_.get_cid().getValue())
            << " pid=" << pid << std::endl;
}

void ModemSlot::failed(const char* what) {
  int err = errno;
  std::cerr << ext::header(this) << what << strerror(err) << std::endl;
  OnAbort(err);
}

bool ModemSlot::IActivate(TERM::TermActivateParams const& params) {
  if (!params.is_modem()) {
    std::cerr << ext::header(this) << "modem's activation requests parameter." << std::endl;
    return false;
  }
  const TERM::ModemUserParameters& user = params.get_modem();
  const uint32_t session = static_cast<uint32_t>(modem_id());
  auth_accept accept{{sizeof(auth_accept), AuthAccept, session}, 1};
  factory_.SendAuth(&accept.head);
  auth_ip ip{{sizeof(auth_ip), AuthIp, session},
             0,
             inet_addr(user.get_remoteAddr().c_str()),
             inet_addr(user.get_netmask().c_str()),
             inet_addr(user.get_gateway().c_str()),
             inet_addr(user.get_dns().c_str()),
             static_cast<uint32_t>(user.get_mtu().getValue())};
  factory_.SendAuth(&ip.head);
  return true;
}

bool ModemSlot::IBeforeDestroy() {
  if (pid_ < 0) {
    unbind();
    return true;
  }
  // A child that has ended already is not signalled; its end is on its way.
  if (wait_.Signal(SIGHUP))
    std::cerr << ext::header(this) << "sent HUP to pppd." << std::endl;
  timer_.set(TerminateTimeoutMs, &ModemSlot::on_terminate_timeout, this);
  return false;
}

BASE::INTEGER64Bits ModemSlot::counter(uint32_t high, uint32_t low) {
  BASE::INTEGER64Bits value;
  value.set_low(static_cast<int>(low));
  value.set_high(static_cast<int>(high));
  return value;
}

void ModemSlot::on_terminate(int status) {
  std::clog << ext::header(this) << "pppd terminated with code " << status << std::endl;
  child_ended(status);
}

void ModemSlot::child_ended(int status) {
  pid_ = -1;
  timer_.reset();
  if (destroying()) {
    unbind();
    on_release();  // deletes this slot
    return;
  }
  OnAbort(status);
}

void ModemSlot::on_terminate_timeout() {
  std::cerr << ext::header(this) << "pppd terminate timeout!" << std::endl;
  pppd_kill();
  if (destroying()) {
    unbind();
    on_release();  // deletes this slot
  }
}

void ModemSlot::pppd_kill() {
  if (pid_ < 0)
    return;
  if (wait_.Signal(SIGKILL)) {
    std::cerr << ext::header(this) << "pppd isn't terminated, killing ..." << std::endl;
    ::sleep(0);
  }
  // Killed or ended: the slot gives the child up and never signals it again.
  pid_ = -1;
}

void ModemSlot::OnAuth(const attr* record) {
  switch (record->type) {
  case AuthRequest:
    if (record->size != sizeof(voauth))
      std::cerr << ext::header(this) << "auth request, invalid size: " << record->size << std::endl;
    else
      OnAuthRequest(reinterpret_cast<const voauth*>(record));
    break;
  case AuthAccept: std::cerr << ext::header(this) << "auth accept, ignored." << std::endl; break;
  case AuthIp: std::cerr << ext::header(this) << "auth ip, ignored." << std::endl; break;
  case AuthAccounting:
    if (record->size != sizeof(voacct))
      std::cerr << ext::header(this) << "auth accounting, invalid size: " << record->size << std::endl;
    else
      OnAcctInformation(reinterpret_cast<const voacct*>(record));
    break;
  default:
    std::cerr << ext::header(this) << "unknown request from portslave: 0x" << std::hex << record->type << std::dec
              << std::endl;
  }
}

void ModemSlot::OnAuthRequest(const voauth* record) {
  TERM::ModemProceeding proceeding;
  TERM::MdmRequestUserAuth& auth = proceeding.select_auth();
  auth.set_username(field(record->username, sizeof record->username));
  auth.set_password(field(record->password, sizeof record->password));
  OnModem(proceeding);
}

void ModemSlot::OnAcctInformation(const voacct* record) {
  TERM::ModemProceeding proceeding;
  TERM::MdmAccounting& acct = proceeding.select_acct();
  acct.set_octetsOut(counter(record->octetsOut[0], record->octetsOut[1]));
  acct.set_octetsIn(counter(record->octetsIn[0], record->octetsIn[1]));
  acct.set_packetsOut(counter(record->packetsOut[0], record->packetsOut[1]));
  acct.set_packetsIn(counter(record->packetsIn[0], record->packetsIn[1]));
  acct.set_time(counter(0, record->time));
  OnModem(proceeding);
}
