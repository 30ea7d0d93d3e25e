#include "monitoring/snmp_agent.h"

#include <iterator>

namespace {

struct ItemRow {
  int mask;
  const char* group;
  const char* name;
};

// Indexed by SnmpAgentCtrl::MonitoringItemType.
const ItemRow ItemTable[] = {
    {6, "gatewayCommon", "driverBuild"},
    {6, "gatewayCommon", "softwareBuild"},
    {6, "gatewayCommon", "powerStatus"},
    {6, "gatewayCommon", "controllerStatus"},
    {6, "gatewayCommon", "gatewayDip"},
    {6, "gatewayCommon", "gatewayConfigVersion"},
    {2, "extBoardTable", "extBoardStatus"},
    {2, "extBoardTable", "extBoardSoftVer"},
    {2, "extBoardTable", "extBoardType"},
    {2, "emPhoneTable", "emPhonePanelSoftVer"},
    {2, "emPhoneTable", "emPhoneCtrlSoftVer"},
    {2, "emPhoneTable", "emPhoneFpgaSoftVer"},
    {2, "emPhoneTable", "emPhoneStatus"},
    {2, "emPhoneTable", "emPhonePowerStatus"},
    {2, "emPhoneTable", "emPhoneMode"},
    {2, "emPhoneTable", "emPhoneHookStatus"},
    {2, "emPhoneTable", "emPhoneBaseStatus"},
    {6, "gatewayTermCounters", "routerTermCnt"},
    {6, "gatewayTermCounters", "controllerTermCnt"},
    {6, "gatewayTermCounters", "serverTermCnt"},
    {2, "extBoardTermCntTable", "extBoardTermCnt"},
    {2, "e1Table", "e1Connected"},
    {2, "e1Table", "e1StatusDsc"},
    {2, "e1Table", "e1SignalLoss"},
    {2, "e1Table", "e1FrameAlignLoss"},
    {2, "e1Table", "e1NegSlipCount"},
    {2, "e1Table", "e1PosSlipCount"},
    {4, "statusGeneral", "sgBuildVersion"},
    {4, "statusGeneral", "sgFPGAVersion"},
    {4, "statusGeneral", "sgBootVersion"},
    {4, "statusGeneral", "sgBoardVersion"},
    {6, "ifTable", "ifDescr"},
    {6, "ifTable", "ifAdminStatus"},
    {6, "ifTable", "ifOperStatus"},
    {2, "gatewayCommon", "temperature"},
};

// The batch keys: the agent-kind bits that items carry.
const int BatchKeys[] = {SnmpAgentInstance::corv, SnmpAgentInstance::lemzgw_mv};

// The settings list of a batch (selecting the alternative again would empty it).
MON::SnmpSetCommands& settingsOf(MON::Command& batch) {
  return static_cast<MON::SnmpSetCommands&>(*batch.getSelection());
}

}  // namespace

SnmpAgentCtrl::SnmpAgentCtrl() : uniq_(1) {
  for (int key : BatchKeys) {
    std::unique_ptr<MON::Command> batch(new MON::Command);
    batch->select_snmp_set();
    batches_[key] = std::move(batch);
  }
  dpc_.Bind(this, &SnmpAgentCtrl::OnDpcSend);
}

SnmpAgentCtrl::~SnmpAgentCtrl() {
  dpc_.Deactivate();
  links_.clear();
}

void SnmpAgentCtrl::CreateInstances(IniFile::Section& section) {
  for (IniFile::SubSection& config : section) {
    links_.emplace_back(new SnmpAgentInstance);
    links_.back()->Activate(config);
  }
}

void SnmpAgentCtrl::Bind(ISnmpAgentNotify* listener) {
  for (auto& link : links_)
    link->Bind(listener);
}

void SnmpAgentCtrl::Send(MonitoringItemType type, int index, const std::string& value) {
  if (static_cast<unsigned>(type) >= std::size(ItemTable))
    return;
  const ItemRow& item = ItemTable[type];
  for (auto& batch : batches_) {
    if (!(batch.first & item.mask))
      continue;
    MON::SnmpSetCommand command;
    command.set_uniq(static_cast<int>(uniq_++));
    MON::IniName& name = command.mutable_id().select_name();
    name.set_section(item.group);
    name.set_name(item.name);
    name.set_index(index);
    command.set_value(value);
    settingsOf(*batch.second).mutable_commands().push_back(command);
    dpc_.Activate();
  }
}

void SnmpAgentCtrl::OnDpcSend() {
  for (auto& batch : batches_) {
    MON::SnmpSetCommands& commands = settingsOf(*batch.second);
    if (commands.get_commands().empty())
      continue;
    SendToAll(*batch.second);
    commands.mutable_commands().clear();
  }
  dpc_.Deactivate();
}

void SnmpAgentCtrl::Send(const MON::SnmpSetCommands& commands) {
  if (commands.get_commands().empty())
    return;
  MON::Command command;
  command.select_snmp_set() = commands;
  SendToAll(command);
}

void SnmpAgentCtrl::SendTrapsink(const std::list<std::string>& hosts) {
  if (hosts.empty())
    return;
  MON::Command command;
  auto& sinks = command.select_snmp_trapsink_set().mutable_trapsinks();
  for (const std::string& host : hosts) {
    MON::SnmpTrapsink sink;
    sink.set_host(host);
    sinks.push_back(sink);
  }
  SendToAll(command);
}

void SnmpAgentCtrl::SendToAll(const MON::Command& command) {
  for (auto& link : links_)
    link->Command(command);
}
