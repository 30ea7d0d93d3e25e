#pragma once
// The cache of every value the monitoring service watches or receives from
// the controller. Each setter compares the new value with the cached one,
// stores it, writes its file under "/var/monitoring/" and reports whether
// it changed, so that the service knows what to pass on to the SNMP agents.
// The file tree is a plain-text view of the cache, one value or record per
// file; it is emptied when the holder is built and when it goes.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <list>
#include <string>

#include "foundation/inet4_addr.h"
#include "messages/HSP/HSP.h"
#include "messages/LGCP/LGCP.h"
#include "messages/MON/MON.h"
#include "messages/TERM/TERM.h"
#include "monitoring/framer_data.h"
#include "monitoring/netif_data.h"

class MonitoringDataHolder {
public:
  MonitoringDataHolder();
  ~MonitoringDataHolder();
  MonitoringDataHolder(const MonitoringDataHolder&) = delete;
  MonitoringDataHolder& operator=(const MonitoringDataHolder&) = delete;

  // True when the value changed (its file is then written).
  bool setDipValue(int value);
  bool setPowerStatus(const LGCP::POWERStatus& status);
  bool setConfigVersion(unsigned long first, unsigned long long second);
  // True when the status changed and the address is the board's own.
  bool setControllerStatus(const LGCP::ControllerInfo& info);
  // No file; true when the text changed.
  bool setTemperature(const std::string& text) { return setText(temperature_, text); }
  bool setBuildVersion(const std::string& text) { return setText(buildVersion_, text); }
  bool setFPGAVersion(const std::string& text) { return setText(fpgaVersion_, text); }
  bool setBootVersion(const std::string& text) { return setText(bootVersion_, text); }
  bool setBoardVersion(const std::string& text) { return setText(boardVersion_, text); }
  // Stores what a display command carries, by alternative.
  void setDisplayStatus(const LGCP::DisplayParams& params);

  // Removes every entry of "/var/monitoring/" that can go.
  void ClearMonitorFiles();
  // Removes the "board" files and forgets the boards.
  void ClearControllerFiles();
  // Creates the directory when it does not open; true when it exists.
  bool CheckForMonDir(const std::string& path);
  // The directory of one controller address, and "self" for the own one.
  void CheckForMonControllerDir(const INet4::Addr& address);
  // Writes one file through the saver; false (logged) when it cannot be created.
  bool SaveStatusToFile(const std::string& path, const std::function<void(FILE*)>& saver);

  const INet4::Addr& own_address() const { return ownAddress_; }
  const HSP::ControllerStatus& own_controller_status() const { return ownStatus_; }
  int& controller_hint() { return controllerHint_; }
  const LGCP::POWERStatus& power_status() const { return powerStatus_; }
  const std::list<LGCP::BoardStatusParams>& boards() const { return boards_; }
  const std::list<LGCP::EmPhoneStatusParams>& phones() const { return phones_; }
  const std::list<LGCP::TermCounter>& term_counters() const { return termCounters_; }
  const std::list<std::string>& trap_receivers() const { return trapReceivers_; }
  int dip() const { return dip_; }
  uint32_t config_first() const { return configFirst_; }
  const std::string& temperature() const { return temperature_; }
  const std::string& build_version() const { return buildVersion_; }
  const std::string& fpga_version() const { return fpgaVersion_; }
  const std::string& boot_version() const { return bootVersion_; }
  const std::string& board_version() const { return boardVersion_; }
  const MON::SnmpSetCommands& snmp_settings() const { return settings_; }
  std::list<FramerDataHolder>& framers() { return framers_; }
  std::list<NetIfDataHolder>& interfaces() { return interfaces_; }

private:
  static bool setText(std::string& field, const std::string& text);
  void setBoardStatus(const LGCP::BoardInfo& info);
  void setSnmpTrapReceivers(const ASN1::SEQUENCE_OF<ASN1::IA5String, ASN1::EmptyConstraint>& list);
  void setEmPhoneInfo(const LGCP::EmPhoneInfo& info);
  void setTermCounter(const LGCP::TermCounter& counter);
  void setSnmpCommands(const MON::SnmpSetCommands& commands);
  void SaveNamedSetting(const MON::IniName& name, const std::string& value);

  // The savers: each writes one file's content.
  void DipStatusSaver(FILE* file) const;
  void PowerStatusSaver(FILE* file) const;
  void ConfigVersionSaver(FILE* file) const;
  void BoardStatusSaver(FILE* file, const LGCP::BoardStatusParams& board) const;
  void PhoneStatusSaver(FILE* file, const LGCP::EmPhoneStatusParams& phone) const;
  void TermCounterSaver(FILE* file, const LGCP::TermCounter& counter) const;
  void ControllerStatusSaver(FILE* file, const HSP::ControllerStatus& status) const;
  void StringParamSaver(FILE* file, const std::string& value) const;

  INet4::Addr ownAddress_;
  HSP::ControllerStatus ownStatus_;
  int controllerHint_;
  std::list<LGCP::ControllerInfo> controllers_;
  LGCP::POWERStatus powerStatus_;
  std::list<LGCP::BoardStatusParams> boards_;
  std::list<LGCP::EmPhoneStatusParams> phones_;
  std::list<LGCP::TermCounter> termCounters_;
  std::list<std::string> trapReceivers_;
  int dip_;
  unsigned long long configSecond_;
  uint32_t configFirst_;
  std::string temperature_, buildVersion_, fpgaVersion_, bootVersion_, boardVersion_;
  MON::SnmpSetCommands settings_;
  std::list<FramerDataHolder> framers_;
  std::list<NetIfDataHolder> interfaces_;
};

// The dotted form of an address, without the port.
std::string DottedAddress(const INet4::Addr& address);
