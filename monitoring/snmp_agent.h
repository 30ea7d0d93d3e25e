#pragma once
// The links to the SNMP agent processes. The daemon answers no SNMP itself:
// it keeps one TCP connection (TPKT framing, MON::Message in aligned PER) to
// each agent named in the "snmpagent" configuration sub-sections and pushes
// monitoring item values to them. Values are queued in two batches, one per
// agent-kind bit (2, 4), numbered with one shared `uniq` counter and sent
// to every link on the next loop turn. A link pings its agent when it has
// sent nothing for 5000 ms and drops an agent that has said nothing for
// more than 30000 ms; its connector reconnects on its own.
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "foundation/control_service.h"
#include "foundation/dpc.h"
#include "foundation/inet4_addr.h"
#include "foundation/ini_file.h"
#include "foundation/timer.h"
#include "messages/MON/MON.h"

class ISnmpAgentNotify {
public:
  virtual ~ISnmpAgentNotify() = default;
  // An agent link came up.
  virtual void OnSnmpAgentConnect(const std::string& /*name*/) {}
};

class SnmpAgentInstance : public Control::Notify {
public:
  // The agent kind named by the "name" key (a bit each).
  enum MonitoringAddressType { lemzgw = 1, corv = 2, lemzgw_mv = 4 };
  static constexpr unsigned PingMs = 5000;
  static constexpr int32_t SilenceMs = 30000;

  SnmpAgentInstance();
  ~SnmpAgentInstance() override;

  // Reads "host" and "name" and starts connecting; a bad sub-section leaves
  // the link idle for good.
  void Activate(IniFile::SubSection& config);
  void Bind(ISnmpAgentNotify* listener) { listener_ = listener; }

  // Wraps the command in a message and sends it.
  void Command(const MON::Command& command);
  // Sends while connected (dropped otherwise), re-arms the ping and checks
  // that the agent has spoken within the last 30000 ms.
  void Send(const MON::Message& message);

  void OnConnect() override;
  void OnDisconnect() override;
  void OnMessage(const char* data, int length) override;

  const std::string& name() const { return name_; }
  bool connected() const;
  void PutHeader(std::ostream& out) const { out << header_; }

private:
  void OnMessage(const MON::Message& message);
  void OnResponse(const MON::Response&) {}
  void OnSignal(const MON::Signal&) {}
  void SetPingTimer();
  void OnPingTimer(Timer*);

  std::unique_ptr<Control::Service> connection_;
  MonitoringAddressType kind_;
  std::string name_;
  std::string header_;
  uint32_t stamp_;
  Timer ping_;
  ISnmpAgentNotify* listener_;
};

class SnmpAgentCtrl {
public:
  enum MonitoringItemType {
    driverBuild, softwareBuild, powerStatus, controllerStatus, gatewayDip, gatewayConfigVersion,
    extBoardStatus, extBoardSoftVer, extBoardType,
    emPhonePanelSoftVer, emPhoneCtrlSoftVer, emPhoneFpgaSoftVer, emPhoneStatus, emPhonePowerStatus, emPhoneMode,
    emPhoneHookStatus, emPhoneBaseStatus,
    routerTermCnt, controllerTermCnt, serverTermCnt, extBoardTermCnt,
    e1Connected, e1StatusDsc, e1SignalLoss, e1FrameAlignLoss, e1NegSlipCount, e1PosSlipCount,
    sgBuildVersion, sgFPGAVersion, sgBootVersion, sgBoardVersion,
    ifDescr, ifAdminStatus, ifOperStatus,
    temperature
  };

  SnmpAgentCtrl();
  virtual ~SnmpAgentCtrl();
  SnmpAgentCtrl(const SnmpAgentCtrl&) = delete;
  SnmpAgentCtrl& operator=(const SnmpAgentCtrl&) = delete;

  // One link per sub-section, in file order, each activated.
  void CreateInstances(IniFile::Section& section);
  // Queues one item value under its group and name, in the batches of its
  // agent-kind bits; an unknown type queues nothing.
  void Send(MonitoringItemType type, const std::string& value) { Send(type, 0, value); }
  void Send(MonitoringItemType type, int index, const std::string& value);
  // Sends and empties the batches.
  void OnDpcSend();
  // Ready settings or trap receivers, sent at once to every link; an empty
  // list sends nothing.
  void Send(const MON::SnmpSetCommands& commands);
  void SendTrapsink(const std::list<std::string>& hosts);
  void Bind(ISnmpAgentNotify* listener);
  void UnBind() { Bind(nullptr); }

  const std::list<std::unique_ptr<SnmpAgentInstance>>& links() const { return links_; }

private:
  void SendToAll(const MON::Command& command);

  std::list<std::unique_ptr<SnmpAgentInstance>> links_;
  Dpc dpc_;
  uint32_t uniq_;
  std::map<int, std::unique_ptr<MON::Command>> batches_;
};
