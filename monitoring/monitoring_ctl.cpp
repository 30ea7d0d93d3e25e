#include "monitoring/monitoring_ctl.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "asn1/printer.h"
#include "core/traces.h"
#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "foundation/paths.h"
#include "foundation/process.h"
#include "foundation/regular_file.h"
#include "hardware/errno_suffix.h"

namespace {

const char* const HalDevice = "/dev/hal";
const size_t FramerTextMax = 1024;
const char ConfigPrefix[] = "config.";
const char ConfigSaveName[] = "config.2save.tar.bz2";

// The power supply byte as the controller's power status.
LGCP::POWERStatus::NamedNumber powerStatus(uint8_t byte) {
  if (byte == 0)
    return LGCP::POWERStatus::both;
  return byte <= 3 ? static_cast<LGCP::POWERStatus::NamedNumber>(byte) : LGCP::POWERStatus::unknown;
}

void traceFileError(const char* what, const std::string& path) {
  if (traces.monitoring)
    std::clog << what << ext::quoted(path) << Hardware::ErrnoSuffix(errno) << std::endl;
}

}  // namespace

bool MonitoringCtl::readFirstLine(const char* path, size_t max, std::string& line) {
  Fd fd = OpenRegularFile(Paths::resolve(path), O_RDONLY);
  FILE* file = fd ? ::fdopen(fd.get(), "r") : nullptr;
  if (!file)
    return false;
  fd.release();
  std::vector<char> buffer(max + 1, '\0');
  bool read = std::fgets(buffer.data(), static_cast<int>(buffer.size()), file) != nullptr;
  std::fclose(file);
  if (read)
    line = buffer.data();
  return read;
}

MonitoringCtl& MonitoringCtl::instance() {
  static MonitoringCtl service;
  return service;
}

MonitoringCtl::MonitoringCtl() : led_(0) {
  background_.set(BackgroundFirstMs, &MonitoringCtl::onBkgCheckTimer, this);
  power_.set(PowerMs, &MonitoringCtl::onPowerCheckTimer, this);
  controller_.set(ControllerMs, &MonitoringCtl::onControllerCheckTimer, this);
  resend_.Bind(this, &MonitoringCtl::OnDpcSend);
}

MonitoringCtl::~MonitoringCtl() {
  agents_.UnBind();
  if (hal_) {
    led_ = 0;
    writeLed();
  }
}

void MonitoringCtl::Configure(IniFile::File& file) {
  agents_.CreateInstances(file["snmpagent"]);
  agents_.Bind(this);
}

void MonitoringCtl::release() { hal_.reset(); }

bool MonitoringCtl::IsOpen() {
  if (hal_)
    return true;
  led_ = 0;
  hal_.reset(DevIo::open(HalDevice, O_RDWR | O_CLOEXEC));
  if (!hal_)
    return false;
  writeLed();
  return true;
}

void MonitoringCtl::writeLed() {
  uint8_t byte = led_;
  DevIo::ioctl(hal_.get(), HalLed, &byte);
}

void MonitoringCtl::OnConnect() {
  doPowerCheck();
  sendPowerStatus();
  doControllerCheck();
}

void MonitoringCtl::OnDisconnect() {
  data_.ClearControllerFiles();
  doControllerCheck();
}

bool MonitoringCtl::OnCommand(const LGCP::Command& cmd) {
  if (!cmd.is_display())
    return false;
  OnDisplayCMD(cmd.get_display());
  Success();
  return true;
}

void MonitoringCtl::OnSignal(const LGCP::Signal& sig) {
  if (!sig.is_trunkStatus())
    return;
  const ACP::TrunkStatus& status = sig.get_trunkStatus();
  // The BRI line channels report under the same trunk numbers: only E1
  // trunks are framers.
  if (status.get_type().getValue() != ACP::TrunkType::e1)
    return;
  bool changed = false;
  for (FramerDataHolder& framer : data_.framers())
    if (framer.index() - 1 == status.get_trunk().getValue())
      changed |= framer.setFramerStatus(status.get_state());
  if (changed)
    resend_.Activate();
}

void MonitoringCtl::OnSnmpAgentConnect(const std::string&) { resend_.Activate(); }

void MonitoringCtl::sendPowerStatus() {
  LGCP::Signal sig;
  sig.select_power() = data_.power_status();
  SendSignal(sig);
}

void MonitoringCtl::onBkgCheckTimer() {
  doVersionsCheck();
  doConfigCheck();
  doFramerCheck();
  doTemperatureCheck();
  background_.set(BackgroundMs, &MonitoringCtl::onBkgCheckTimer, this);
}

void MonitoringCtl::onPowerCheckTimer() {
  doPowerCheck();
  doDipCheck();
  doNetIfCheck();
  power_.set(PowerMs, &MonitoringCtl::onPowerCheckTimer, this);
}

void MonitoringCtl::onControllerCheckTimer() {
  doControllerCheck();
  controller_.set(ControllerMs, &MonitoringCtl::onControllerCheckTimer, this);
}

bool MonitoringCtl::readHal(unsigned long request, uint8_t& byte) {
  return IsOpen() && DevIo::ioctl(hal_.get(), request, &byte) >= 0;
}

void MonitoringCtl::doPowerCheck() {
  uint8_t byte = 0;
  if (!readHal(HalPower, byte))
    return;
  LGCP::POWERStatus status(powerStatus(byte));
  if (!data_.setPowerStatus(status))
    return;
  if (traces.monitoring)
    std::clog << "New power status - " << status << std::endl;
  sendPowerStatus();
  sendSnmpPowerStatus();
}

void MonitoringCtl::doDipCheck() {
  uint8_t byte = 0;
  if (!readHal(HalDip, byte))
    return;
  if (!data_.setDipValue(byte))
    return;
  if (traces.monitoring)
    std::clog << "New dip - " << static_cast<int>(byte) << std::endl;
  sendSnmpGatewayDip();
}

void MonitoringCtl::doNetIfCheck() {
  for (NetIfDataHolder& netif : data_.interfaces())
    if (netif.updateNetIf())
      sendSnmpNetIfStatus(netif);
}

void MonitoringCtl::doVersionsCheck() {
  struct VersionFile {
    const char* path;
    bool (MonitoringDataHolder::*set)(const std::string&);
    const char* label;
    void (MonitoringCtl::*send)();
  };
  static const VersionFile files[] = {
      {Paths::kBuildVersion, &MonitoringDataHolder::setBuildVersion, "BuildVersion - ",
       &MonitoringCtl::sendSnmpStatusBuildVersion},
      {Paths::kBootVersion, &MonitoringDataHolder::setBootVersion, "BootVersion - ",
       &MonitoringCtl::sendSnmpStatusBootVersion},
      {Paths::kFpgaVersion, &MonitoringDataHolder::setFPGAVersion, "FPGAVersion - ",
       &MonitoringCtl::sendSnmpStatusFPGAVersion},
      {Paths::kBoardVersion, &MonitoringDataHolder::setBoardVersion, "BoardVersion - ",
       &MonitoringCtl::sendSnmpStatusBoardVersion},
  };
  for (const VersionFile& file : files) {
    std::string line;
    if (!readFirstLine(file.path, 254, line))
      continue;
    if (traces.monitoring)
      std::clog << file.label << line << std::endl;
    if ((data_.*file.set)(line))
      (this->*file.send)();
  }
}

void MonitoringCtl::doTemperatureCheck() {
  std::string line;
  if (!readFirstLine(Paths::kTemperature, 254, line))
    return;
  if (traces.monitoring)
    std::clog << "Temperature - " << line << std::endl;
  line = line.substr(0, line.find_first_of(" \t\n\r\f\v"));
  if (data_.setTemperature(line))
    sendSnmpTemperature();
}

// The configuration archive "config.<8 hex digits>-<16 hex digits>...": the
// last matching name wins. The configuration directory stays the working
// directory.
void MonitoringCtl::doConfigCheck() {
  std::string dir = Paths::resolve(Paths::kConfigDir);
  DIR* d = ::opendir(dir.c_str());
  if (!d)
    return;
  if (::chdir(dir.c_str()) != 0)
    std::cerr << "monitoring: cannot enter " << Paths::kConfigDir << ": " << std::strerror(errno) << std::endl;
  while (dirent* entry = ::readdir(d)) {
    struct stat st;
    if (::fstatat(dirfd(d), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
      continue;
    std::string name = entry->d_name;
    if (name.compare(0, sizeof ConfigPrefix - 1, ConfigPrefix) != 0 ||
        name.compare(0, sizeof ConfigSaveName - 1, ConfigSaveName) == 0)
      continue;
    std::string version = name.substr(sizeof ConfigPrefix - 1, 25);
    unsigned long first = std::strtoul(version.substr(0, 8).c_str(), nullptr, 16);
    unsigned long long second = version.size() > 9 ? std::strtoull(version.substr(9).c_str(), nullptr, 16) : 0;
    if (data_.setConfigVersion(first, second))
      sendSnmpGatewayConfigVersion();
  }
  ::closedir(d);
}

void MonitoringCtl::doFramerCheck() {
  for (FramerDataHolder& framer : data_.framers()) {
    Fd fd = OpenRegularFile(Paths::resolve(framer.path()), O_RDONLY);
    if (!fd) {
      traceFileError("Error open file: ", framer.path());
      continue;
    }
    std::vector<unsigned char> text(FramerTextMax);
    ssize_t length = ::read(fd.get(), text.data(), text.size());
    fd.close();
    if (length <= 0) {
      traceFileError("Error read file: ", framer.path());
      continue;
    }
    text.resize(static_cast<size_t>(length));
    if (framer.setFramerStatus(text))
      sendSnmpFramerStatus(framer);
  }
}

void MonitoringCtl::doControllerCheck() {
  LGCP::ControllerInfo info;
  info.mutable_host().set_iaddr(DottedAddress(data_.own_address()));
  bool connected = false;
  if (CheckServerConnection(connected) && connected) {
    info.set_status(static_cast<HSP::ControllerStatus::NamedNumber>(data_.own_controller_status().getValue()));
  } else {
    int pid = find_proc_by_name("controller", data_.controller_hint());
    data_.controller_hint() = pid;
    info.set_status(pid < 1 ? HSP::ControllerStatus::notrun : HSP::ControllerStatus::notconnection);
  }
  if (data_.setControllerStatus(info))
    sendSnmpControllerStatus();
}

void MonitoringCtl::OnDisplayCMD(const LGCP::DisplayParams& params) {
  data_.setDisplayStatus(params);
  switch (params.currentSelection()) {
  case LGCP::DisplayParams::alt_board:
    if (params.get_board().is_boardStatus())
      sendSnmpBoardStatus(params.get_board().get_boardStatus());
    break;
  case LGCP::DisplayParams::alt_snmpTrapReceivers: sendSnmpTrapReceivers(); break;
  case LGCP::DisplayParams::alt_framer: setFramerLed(params.get_framer()); break;
  case LGCP::DisplayParams::alt_emPhone:
    if (params.get_emPhone().is_phoneStatus())
      sendSnmpEmPhoneStatus(params.get_emPhone().get_phoneStatus());
    break;
  case LGCP::DisplayParams::alt_controller: sendSnmpControllerStatus(); break;
  case LGCP::DisplayParams::alt_termCounter:
    sendSnmpRouterTermCnt();
    sendSnmpControllerTermCnt();
    sendSnmpServerTermCnt();
    sendSnmpBoardTermCnt();
    break;
  case LGCP::DisplayParams::alt_snmp_set: sendSnmpCommands(params.get_snmp_set()); break;
  default: break;
  }
}

// Two bits per E1 line n: bit 2n the link LED, bit 2n+1 the line LED.
void MonitoringCtl::setFramerLed(const LGCP::FramerInfo& info) {
  if (!IsOpen())
    return;
  unsigned n = info.get_e1().getValue();
  uint8_t link = static_cast<uint8_t>(1u << (2 * n));
  uint8_t line = static_cast<uint8_t>(2u << (2 * n));
  const LGCP::FramerInfoData& data = info.get_info();
  if (data.is_link()) {
    if (data.get_link())
      led_ &= static_cast<uint8_t>(~link);
    else
      led_ |= link;
  } else if (data.is_line()) {
    if (data.get_line()) {
      if (!(led_ & line))
        led_ |= link;
      led_ |= line;
    } else {
      led_ &= static_cast<uint8_t>(~(line | link));
    }
  }
  writeLed();
}

void MonitoringCtl::OnDpcSend() {
  resend_.Deactivate();
  sendSnmpTrapReceivers();
  sendSnmpDriverBuild();
  sendSnmpSoftwareBuild();
  sendSnmpPowerStatus();
  sendSnmpControllerStatus();
  sendSnmpGatewayDip();
  sendSnmpGatewayConfigVersion();
  sendSnmpTemperature();
  sendSnmpStatusBuildVersion();
  sendSnmpStatusFPGAVersion();
  sendSnmpStatusBootVersion();
  sendSnmpStatusBoardVersion();
  sendSnmpBoardStatuses();
  sendSnmpEmPhoneStatuses();
  sendSnmpRouterTermCnt();
  sendSnmpControllerTermCnt();
  sendSnmpServerTermCnt();
  sendSnmpBoardTermCnt();
  sendSnmpFramerStatus();
  sendSnmpNetIfStatus();
  sendSnmpCommands();
}
