#include "monitoring/monitoring_data.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <iostream>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "asn1/printer.h"
#include "core/traces.h"
#include "foundation/ext.h"
#include "foundation/netif.h"
#include "foundation/paths.h"
#include "foundation/regular_file.h"

namespace {

const int Framers = 4;
const int InterfaceIndexes = 16;

// A setting's section or name becomes one component of a file path: it must
// name a plain entry of its directory.
bool plainComponent(const std::string& text) {
  return !text.empty() && text != "." && text != ".." && text.find('/') == std::string::npos &&
         text.find('\0') == std::string::npos;
}

void putOctets(FILE* file, const ASN1::OCTET_STRING& octets) {
  const std::string bytes = octets;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fputc('\n', file);
}

// Removes the entries of the monitoring directory that `which` picks;
// false when the directory does not open.
bool removeEntries(const std::function<bool(const char*)>& which) {
  std::string dir = Paths::resolve(Paths::kMonitoringDir);
  DIR* d = ::opendir(dir.c_str());
  if (!d)
    return false;
  while (dirent* entry = ::readdir(d))
    if (which(entry->d_name))
      std::remove((dir + entry->d_name).c_str());
  ::closedir(d);
  return true;
}

// Two settings are the same when both name the same oid, or both the same
// section, name and index.
bool sameSetting(const MON::SnmpSetCommandId& a, const MON::SnmpSetCommandId& b) {
  if (a.is_oid() && b.is_oid())
    return a.get_oid().getValue() == b.get_oid().getValue();
  return a.is_name() && b.is_name() && a.get_name() == b.get_name();
}

// Replaces the entry with the record's key, or appends the record.
template <class T>
void store(std::list<T>& list, const T& record, const ASN1::INTEGER& (T::*key)() const) {
  for (T& entry : list) {
    if ((entry.*key)().getValue() == (record.*key)().getValue()) {
      entry = record;
      return;
    }
  }
  list.push_back(record);
}

}  // namespace

std::string DottedAddress(const INet4::Addr& address) {
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &address.sockaddr().sin_addr, text, sizeof text);
  return text;
}

MonitoringDataHolder::MonitoringDataHolder()
    : ownStatus_(HSP::ControllerStatus::unknown), controllerHint_(-1), powerStatus_(LGCP::POWERStatus::unknown),
      dip_(-1), configSecond_(~0ull), configFirst_(~0u) {
  ClearMonitorFiles();

  std::list<INet4::Addr> addresses;
  Net::ifconfig(addresses, Net::Private);
  if (!addresses.empty())
    ownAddress_ = addresses.front();
  else
    ownAddress_.Assign("127.0.0.1");
  ownAddress_.SetPort(0);

  for (int k = 0; k < Framers; ++k) {
    std::string path = Paths::kFramerStatusDir + std::to_string(k);
    struct stat st;
    if (::stat(Paths::resolve(path).c_str(), &st) == 0)
      framers_.emplace_back(k + 1, path);
  }

  if (Fd socket = NetIfDataHolder::RequestSocket()) {
    for (int index = 0; index < InterfaceIndexes; ++index) {
      ifreq request;
      std::memset(&request, 0, sizeof request);
      request.ifr_ifindex = index;
      if (::ioctl(socket.get(), SIOCGIFNAME, &request) == 0)
        interfaces_.emplace_back(index, request.ifr_name);
    }
  }

  CheckForMonDir(Paths::kMonitoringDir);
  CheckForMonDir(Paths::kMonTermCountsDir);
}

MonitoringDataHolder::~MonitoringDataHolder() { ClearMonitorFiles(); }

void MonitoringDataHolder::ClearMonitorFiles() {
  removeEntries([](const char* name) { return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0; });
}

void MonitoringDataHolder::ClearControllerFiles() {
  const bool removed = removeEntries([](const char* name) {
    if (std::strncmp(name, "board", 5) != 0)
      return false;
    if (traces.monitoring)
      std::clog << "remove monitoring info: " << name << std::endl;
    return true;
  });
  // Without the directory the boards stay known, as nothing was removed.
  if (removed)
    boards_.clear();
}

bool MonitoringDataHolder::CheckForMonDir(const std::string& path) {
  std::string dir = Paths::resolve(path);
  if (DIR* d = ::opendir(dir.c_str())) {
    ::closedir(d);
    return true;
  }
  if (::mkdir(dir.c_str(), 0755) == 0)
    return true;
  int err = errno;
  std::clog << "FAIL create monitoring catalog <" << path << "> with code=" << err << std::endl;
  return false;
}

void MonitoringDataHolder::CheckForMonControllerDir(const INet4::Addr& address) {
  if (!CheckForMonDir(Paths::kMonControllerDir))
    return;
  std::string path = Paths::kMonControllerDir + DottedAddress(address);
  std::string dir = Paths::resolve(path);
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0)
    return;
  if (!CheckForMonDir(path) || !address.IsEqual(ownAddress_))
    return;
  if (::symlink(dir.c_str(), Paths::resolve(Paths::kMonControllerSelf).c_str()) != 0) {
    int err = errno;
    std::clog << "FAIL create symlink to monitoring catalog <" << path << "> with code=" << err << std::endl;
  }
}

bool MonitoringDataHolder::SaveStatusToFile(const std::string& path, const std::function<void(FILE*)>& saver) {
  Fd fd = OpenRegularFile(Paths::resolve(path), O_WRONLY | O_CREAT | O_TRUNC);
  FILE* file = fd ? ::fdopen(fd.get(), "w") : nullptr;
  if (!file) {
    int err = errno;
    std::clog << "FAIL create temporary file <" << path << "> with code=" << err << std::endl;
    return false;
  }
  fd.release();
  saver(file);
  std::fclose(file);
  return true;
}

bool MonitoringDataHolder::setText(std::string& field, const std::string& text) {
  if (field == text)
    return false;
  field = text;
  return true;
}

bool MonitoringDataHolder::setDipValue(int value) {
  if (value == dip_)
    return false;
  dip_ = value;
  SaveStatusToFile(Paths::kMonDip, [this](FILE* f) { DipStatusSaver(f); });
  return true;
}

bool MonitoringDataHolder::setPowerStatus(const LGCP::POWERStatus& status) {
  if (status.getValue() == powerStatus_.getValue())
    return false;
  powerStatus_ = status;
  SaveStatusToFile(Paths::kMonPowerStatus, [this](FILE* f) { PowerStatusSaver(f); });
  return true;
}

bool MonitoringDataHolder::setConfigVersion(unsigned long first, unsigned long long second) {
  if (static_cast<uint32_t>(first) == configFirst_ && second == configSecond_)
    return false;
  configFirst_ = static_cast<uint32_t>(first);
  configSecond_ = second;
  SaveStatusToFile(Paths::kMonConfigVersion, [this](FILE* f) { ConfigVersionSaver(f); });
  return true;
}

bool MonitoringDataHolder::setControllerStatus(const LGCP::ControllerInfo& info) {
  INet4::Addr address;
  address.Assign(info.get_host().get_iaddr().getValue());
  address.SetPort(0);
  const HSP::ControllerStatus& status = info.get_status();
  bool own = address.IsEqual(ownAddress_);
  if (own)
    ownStatus_ = status;

  bool changed = true;
  bool found = false;
  for (LGCP::ControllerInfo& entry : controllers_) {
    if (entry.get_host() == info.get_host()) {
      changed = entry.get_status().getValue() != status.getValue();
      entry.set_status(static_cast<HSP::ControllerStatus::NamedNumber>(status.getValue()));
      found = true;
      break;
    }
  }
  if (!found)
    controllers_.push_back(info);
  if (!changed)
    return false;

  std::string dotted = DottedAddress(address);
  if (traces.monitoring)
    std::clog << "New controller " << dotted << " status - " << status << std::endl;
  CheckForMonControllerDir(address);
  SaveStatusToFile(Paths::kMonControllerDir + dotted + "/status",
                   [&](FILE* f) { ControllerStatusSaver(f, status); });
  return own;
}

void MonitoringDataHolder::setDisplayStatus(const LGCP::DisplayParams& params) {
  switch (params.currentSelection()) {
  case LGCP::DisplayParams::alt_board: setBoardStatus(params.get_board()); break;
  case LGCP::DisplayParams::alt_snmpTrapReceivers: setSnmpTrapReceivers(params.get_snmpTrapReceivers()); break;
  case LGCP::DisplayParams::alt_emPhone: setEmPhoneInfo(params.get_emPhone()); break;
  case LGCP::DisplayParams::alt_controller: setControllerStatus(params.get_controller()); break;
  case LGCP::DisplayParams::alt_termCounter: setTermCounter(params.get_termCounter()); break;
  case LGCP::DisplayParams::alt_snmp_set: setSnmpCommands(params.get_snmp_set()); break;
  default: break;
  }
}

// The list is updated whatever becomes of the file: a file-system failure
// must not take a board out of what the agents see.
void MonitoringDataHolder::setBoardStatus(const LGCP::BoardInfo& info) {
  if (!info.is_boardStatus())
    return;
  const LGCP::BoardStatusParams& board = info.get_boardStatus();
  SaveStatusToFile(Paths::kMonBoard + std::to_string(board.get_position().getValue()),
                   [&](FILE* f) { BoardStatusSaver(f, board); });
  store(boards_, board, &LGCP::BoardStatusParams::get_position);
}

void MonitoringDataHolder::setEmPhoneInfo(const LGCP::EmPhoneInfo& info) {
  if (!info.is_phoneStatus())
    return;
  const LGCP::EmPhoneStatusParams& phone = info.get_phoneStatus();
  SaveStatusToFile(Paths::kMonEmPhone + std::to_string(phone.get_id().getValue()),
                   [&](FILE* f) { PhoneStatusSaver(f, phone); });
  store(phones_, phone, &LGCP::EmPhoneStatusParams::get_id);
}

void MonitoringDataHolder::setSnmpTrapReceivers(
    const ASN1::SEQUENCE_OF<ASN1::IA5String, ASN1::EmptyConstraint>& list) {
  trapReceivers_.clear();
  for (const ASN1::IA5String& receiver : list)
    trapReceivers_.push_back(receiver.getValue());
  if (traces.monitoring)
    std::clog << "Trap receivers:" << list << std::endl;
}

void MonitoringDataHolder::setTermCounter(const LGCP::TermCounter& counter) {
  std::string path;
  switch (counter.get_owner().getValue()) {
  case LGCP::TermCounterOwner::router: path = Paths::kMonTermCountsRouter; break;
  case LGCP::TermCounterOwner::controller: path = Paths::kMonTermCountsController; break;
  case LGCP::TermCounterOwner::server: path = Paths::kMonTermCountsServer; break;
  case LGCP::TermCounterOwner::extBoard:
    if (counter.has_ownerId())
      path = Paths::kMonTermCountsBoard + std::to_string(counter.get_ownerId().getValue());
    break;
  default: break;
  }
  if (!path.empty())
    SaveStatusToFile(path, [&](FILE* f) { TermCounterSaver(f, counter); });

  for (LGCP::TermCounter& entry : termCounters_) {
    if (entry.get_owner().getValue() != counter.get_owner().getValue())
      continue;
    if (!entry.has_ownerId() ||
        (counter.has_ownerId() && entry.get_ownerId().getValue() == counter.get_ownerId().getValue())) {
      entry.set_cnt(counter.get_cnt().getValue());
      return;
    }
  }
  termCounters_.push_back(counter);
}

void MonitoringDataHolder::setSnmpCommands(const MON::SnmpSetCommands& commands) {
  for (const MON::SnmpSetCommand& received : commands.get_commands()) {
    MON::SnmpSetCommand* match = nullptr;
    for (MON::SnmpSetCommand& stored : settings_.mutable_commands()) {
      if (sameSetting(stored.get_id(), received.get_id())) {
        match = &stored;
        break;
      }
    }
    if (match)
      match->set_value(received.get_value().getValue());
    else
      settings_.mutable_commands().push_back(received);
    if (received.get_id().is_name())
      SaveNamedSetting(received.get_id().get_name(), received.get_value().getValue());
  }
}

// "/var/monitoring/" + section + "/" + index + "/" + name. Section and name
// come from the controller: one that is not a plain file name gets no file.
void MonitoringDataHolder::SaveNamedSetting(const MON::IniName& name, const std::string& value) {
  const std::string& section = name.get_section().getValue();
  const std::string& file = name.get_name().getValue();
  std::string index = std::to_string(name.get_index().getValue());
  if (!plainComponent(section) || !plainComponent(file)) {
    std::cerr << "snmp-set: setting " << ext::quoted(section) << "/" << index << "/" << ext::quoted(file)
              << " is not a plain file name: no file written" << std::endl;
    return;
  }
  std::string dir = Paths::kMonitoringDir + section;
  CheckForMonDir(dir);
  dir += "/" + index;
  CheckForMonDir(dir);
  SaveStatusToFile(dir + "/" + file, [&](FILE* f) { StringParamSaver(f, value); });
}

void MonitoringDataHolder::DipStatusSaver(FILE* file) const { std::fprintf(file, "%d", dip_); }

void MonitoringDataHolder::PowerStatusSaver(FILE* file) const {
  std::fprintf(file, "%d", powerStatus_.getValue());
}

void MonitoringDataHolder::ConfigVersionSaver(FILE* file) const {
  std::fprintf(file, "%08x-%016llx", static_cast<unsigned>(configFirst_), configSecond_);
}

void MonitoringDataHolder::BoardStatusSaver(FILE* file, const LGCP::BoardStatusParams& board) const {
  std::fprintf(file, "%d\n", board.get_status().getValue());
  putOctets(file, board.get_version());
  std::fprintf(file, "%d\n", board.get_type().getValue());
}

void MonitoringDataHolder::PhoneStatusSaver(FILE* file, const LGCP::EmPhoneStatusParams& phone) const {
  putOctets(file, phone.get_panelSV());
  putOctets(file, phone.get_ctrlSV());
  putOctets(file, phone.get_fpgaSV());
  std::fprintf(file, "%d\n%d\n%d\n%d\n%d\n", phone.get_status().getValue(), phone.get_powerStatus().getValue(),
               phone.get_mode().getValue(), phone.get_hookStatus().getValue(), phone.get_baseStatus().getValue());
}

void MonitoringDataHolder::TermCounterSaver(FILE* file, const LGCP::TermCounter& counter) const {
  std::fprintf(file, "%d", counter.get_cnt().getValue());
}

void MonitoringDataHolder::ControllerStatusSaver(FILE* file, const HSP::ControllerStatus& status) const {
  std::fprintf(file, "%d", status.getValue());
}

void MonitoringDataHolder::StringParamSaver(FILE* file, const std::string& value) const {
  std::fwrite(value.data(), 1, value.size(), file);
}
