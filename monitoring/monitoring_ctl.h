#pragma once
// The monitoring service: polls the board's health (power supply and DIP
// switch on "/dev/hal", version files, configuration archive names, E1
// framer status files, temperature, network interfaces, controller state),
// keeps the last value of each in its data holder (which writes the files
// under "/var/monitoring/"), feeds every changed value to the SNMP agents,
// sends the controller the `power` signal, and serves the controller's
// `display` command, by which the controller hands over what only it knows.
// Bound last among the control services, it sees only the commands that no
// other service took, and every signal the others send.
#include <cstdint>
#include <string>

#include "core/ctrl_service.h"
#include "foundation/device_io.h"
#include "foundation/dpc.h"
#include "foundation/fd.h"
#include "foundation/ini_file.h"
#include "foundation/timer.h"
#include "monitoring/monitoring_data.h"
#include "monitoring/snmp_agent.h"

class MonitoringCtl : public CtrlSrv::Service, public ISnmpAgentNotify, private DevIo::Holder {
public:
  static constexpr unsigned BackgroundFirstMs = 1000;
  static constexpr unsigned BackgroundMs = 60000;
  static constexpr unsigned PowerMs = 2000;
  static constexpr unsigned ControllerMs = 5000;
  // Requests of "/dev/hal", each on one byte.
  static constexpr unsigned long HalDip = 0xC0014205;    // read: DIP switch
  static constexpr unsigned long HalPower = 0xC0014206;  // read: power supply state
  static constexpr unsigned long HalLed = 0xC0014207;    // write: framer LEDs

  // The daemon's one service, built on first use.
  static MonitoringCtl& instance();

  // Prepares the monitoring directory and arms the three check timers
  // (tests build their own services).
  MonitoringCtl();
  ~MonitoringCtl() override;

  // One SNMP agent link per "snmpagent" sub-section, then this service
  // listens to them.
  void Configure(IniFile::File& file);

  void OnConnect() override;
  void OnDisconnect() override;
  bool OnCommand(const LGCP::Command& cmd) override;
  void OnSignal(const LGCP::Signal& sig) override;
  void OnSnmpAgentConnect(const std::string& name) override;

  void sendPowerStatus();
  // "/dev/hal", opened on demand; true while it is open.
  bool IsOpen();

  // The SNMP item feed: each queues one value or record for the agents.
  void sendSnmpDriverBuild();
  void sendSnmpSoftwareBuild();
  void sendSnmpPowerStatus();
  void sendSnmpControllerStatus();
  void sendSnmpGatewayDip();
  void sendSnmpGatewayConfigVersion();
  void sendSnmpBoardStatus(const LGCP::BoardStatusParams& board);
  void sendSnmpBoardStatuses();
  void sendSnmpEmPhoneStatus(const LGCP::EmPhoneStatusParams& phone);
  void sendSnmpEmPhoneStatuses();
  void sendSnmpRouterTermCnt();
  void sendSnmpControllerTermCnt();
  void sendSnmpServerTermCnt();
  void sendSnmpBoardTermCnt();
  void sendSnmpFramerStatus(const FramerDataHolder& framer);
  void sendSnmpFramerStatus();
  void sendSnmpNetIfStatus(const NetIfDataHolder& netif);
  void sendSnmpNetIfStatus();
  void sendSnmpTemperature();
  void sendSnmpStatusBuildVersion();
  void sendSnmpStatusFPGAVersion();
  void sendSnmpStatusBootVersion();
  void sendSnmpStatusBoardVersion();
  void sendSnmpTrapReceivers();
  // Ready settings, sent at once (the stored ones, or the given ones).
  void sendSnmpCommands();
  void sendSnmpCommands(const MON::SnmpSetCommands& commands);

  // The "driverBuild" value of a voice driver version line.
  static std::string DriverBuildText(const std::string& line);

  MonitoringDataHolder& data() { return data_; }

private:
  // A new board: "/dev/hal" closed, opened again at its next use.
  void release() override;
  void onBkgCheckTimer();
  void onPowerCheckTimer();
  void onControllerCheckTimer();
  void doPowerCheck();
  void doDipCheck();
  void doNetIfCheck();
  void doVersionsCheck();
  void doTemperatureCheck();
  void doConfigCheck();
  void doFramerCheck();
  void doControllerCheck();
  void OnDisplayCMD(const LGCP::DisplayParams& params);
  void setFramerLed(const LGCP::FramerInfo& info);
  // The first line of a file, newline included when it fits in `max`
  // characters; false when the file does not open, is no regular file or
  // has nothing to read.
  static bool readFirstLine(const char* path, size_t max, std::string& line);
  // One byte from "/dev/hal"; false when it is not open or the request fails.
  bool readHal(unsigned long request, uint8_t& byte);
  void writeLed();
  void sendTermCounters(LGCP::TermCounterOwner::NamedNumber owner, SnmpAgentCtrl::MonitoringItemType type);
  void OnDpcSend();

  Fd hal_;
  MonitoringDataHolder data_;
  SnmpAgentCtrl agents_;
  Timer background_;
  Timer power_;
  Timer controller_;
  uint8_t led_;
  Dpc resend_;
};
