// The SNMP item feed of the monitoring service: each member formats one
// cached value or record as item texts and queues them for the agents.
// Numbers are decimal; the items whose values the agents read as unsigned
// (power and controller status, DIP switch, configuration version, the
// terminal counters) are written as unsigned 32-bit numbers.
#include <cstdint>
#include <sstream>
#include <vector>

#include "foundation/paths.h"
#include "foundation/version.h"
#include "monitoring/monitoring_ctl.h"

namespace {

typedef SnmpAgentCtrl Item;

std::string dec(int value) { return std::to_string(value); }
std::string udec(int value) { return std::to_string(static_cast<uint32_t>(value)); }
std::string flag(bool value) { return value ? "1" : "0"; }
std::string text(const ASN1::OCTET_STRING& octets) { return octets; }

const char Blanks[] = " \t\n\r\f\v";

std::string trim(const std::string& piece) {
  size_t begin = piece.find_first_not_of(Blanks);
  if (begin == std::string::npos)
    return std::string();
  return piece.substr(begin, piece.find_last_not_of(Blanks) - begin + 1);
}

}  // namespace

std::string MonitoringCtl::DriverBuildText(const std::string& line) {
  std::vector<std::string> tokens;
  size_t at = line.find_first_not_of(' ');
  while (at != std::string::npos) {
    size_t end = line.find(' ', at);
    tokens.push_back(trim(line.substr(at, end == std::string::npos ? std::string::npos : end - at)));
    at = end == std::string::npos ? end : line.find_first_not_of(' ', end);
  }
  if (tokens.size() >= 4)
    return tokens[1] + " [" + tokens[2] + " " + tokens[3] + "]";
  if (tokens.size() == 3)
    return tokens[1] + " [" + tokens[2] + "]";
  return "none";
}

void MonitoringCtl::sendSnmpDriverBuild() {
  std::string line;
  if (readFirstLine(Paths::kVoiceDriverVersion, 127, line))
    agents_.Send(Item::driverBuild, DriverBuildText(line));
}

void MonitoringCtl::sendSnmpSoftwareBuild() {
  std::ostringstream tag;
  Version::current.put(tag);
  agents_.Send(Item::softwareBuild, tag.str());
}

void MonitoringCtl::sendSnmpPowerStatus() { agents_.Send(Item::powerStatus, udec(data_.power_status().getValue())); }

void MonitoringCtl::sendSnmpControllerStatus() {
  agents_.Send(Item::controllerStatus, udec(data_.own_controller_status().getValue()));
}

void MonitoringCtl::sendSnmpGatewayDip() { agents_.Send(Item::gatewayDip, udec(data_.dip())); }

void MonitoringCtl::sendSnmpGatewayConfigVersion() {
  agents_.Send(Item::gatewayConfigVersion, std::to_string(data_.config_first()));
}

void MonitoringCtl::sendSnmpBoardStatus(const LGCP::BoardStatusParams& board) {
  int index = board.get_position().getValue();
  std::string status = dec(board.get_status().getValue());
  std::string version = text(board.get_version());
  std::string type = dec(board.get_type().getValue());
  agents_.Send(Item::extBoardStatus, index, status);
  agents_.Send(Item::extBoardSoftVer, index, version);
  agents_.Send(Item::extBoardType, index, type);
}

void MonitoringCtl::sendSnmpBoardStatuses() {
  for (const LGCP::BoardStatusParams& board : data_.boards())
    sendSnmpBoardStatus(board);
}

void MonitoringCtl::sendSnmpEmPhoneStatus(const LGCP::EmPhoneStatusParams& phone) {
  int index = phone.get_id().getValue() + 1;
  const std::string values[] = {
      text(phone.get_panelSV()),          text(phone.get_ctrlSV()),           text(phone.get_fpgaSV()),
      dec(phone.get_status().getValue()), dec(phone.get_powerStatus().getValue()), dec(phone.get_mode().getValue()),
      dec(phone.get_hookStatus().getValue()), dec(phone.get_baseStatus().getValue()),
  };
  int type = Item::emPhonePanelSoftVer;
  for (const std::string& value : values)
    agents_.Send(static_cast<Item::MonitoringItemType>(type++), index, value);
}

void MonitoringCtl::sendSnmpEmPhoneStatuses() {
  for (const LGCP::EmPhoneStatusParams& phone : data_.phones())
    sendSnmpEmPhoneStatus(phone);
}

void MonitoringCtl::sendTermCounters(LGCP::TermCounterOwner::NamedNumber owner, Item::MonitoringItemType type) {
  for (const LGCP::TermCounter& counter : data_.term_counters()) {
    if (counter.get_owner().getValue() != owner)
      continue;
    if (owner != LGCP::TermCounterOwner::extBoard)
      agents_.Send(type, udec(counter.get_cnt().getValue()));
    else if (counter.has_ownerId())
      agents_.Send(type, counter.get_ownerId().getValue(), udec(counter.get_cnt().getValue()));
  }
}

void MonitoringCtl::sendSnmpRouterTermCnt() { sendTermCounters(LGCP::TermCounterOwner::router, Item::routerTermCnt); }

void MonitoringCtl::sendSnmpControllerTermCnt() {
  sendTermCounters(LGCP::TermCounterOwner::controller, Item::controllerTermCnt);
}

void MonitoringCtl::sendSnmpServerTermCnt() { sendTermCounters(LGCP::TermCounterOwner::server, Item::serverTermCnt); }

void MonitoringCtl::sendSnmpBoardTermCnt() {
  sendTermCounters(LGCP::TermCounterOwner::extBoard, Item::extBoardTermCnt);
}

void MonitoringCtl::sendSnmpFramerStatus(const FramerDataHolder& framer) {
  int index = framer.index();
  std::string connected = flag(framer.connected());
  std::string state = framer.state();
  std::string signalLoss = flag(framer.signal_loss());
  std::string frameLoss = flag(framer.frame_alignment_loss());
  std::string negative = dec(framer.negative_slips());
  std::string positive = dec(framer.positive_slips());
  agents_.Send(Item::e1Connected, index, connected);
  agents_.Send(Item::e1StatusDsc, index, state);
  agents_.Send(Item::e1SignalLoss, index, signalLoss);
  agents_.Send(Item::e1FrameAlignLoss, index, frameLoss);
  agents_.Send(Item::e1NegSlipCount, index, negative);
  agents_.Send(Item::e1PosSlipCount, index, positive);
}

void MonitoringCtl::sendSnmpFramerStatus() {
  for (const FramerDataHolder& framer : data_.framers())
    sendSnmpFramerStatus(framer);
}

void MonitoringCtl::sendSnmpNetIfStatus(const NetIfDataHolder& netif) {
  int index = netif.ifindex();
  std::string oper = dec(netif.oper_status());
  std::string admin = dec(netif.admin_status());
  agents_.Send(Item::ifOperStatus, index, oper);
  agents_.Send(Item::ifAdminStatus, index, admin);
  agents_.Send(Item::ifDescr, index, netif.name());
}

void MonitoringCtl::sendSnmpNetIfStatus() {
  for (const NetIfDataHolder& netif : data_.interfaces())
    sendSnmpNetIfStatus(netif);
}

void MonitoringCtl::sendSnmpTemperature() { agents_.Send(Item::temperature, data_.temperature()); }
void MonitoringCtl::sendSnmpStatusBuildVersion() { agents_.Send(Item::sgBuildVersion, data_.build_version()); }
void MonitoringCtl::sendSnmpStatusFPGAVersion() { agents_.Send(Item::sgFPGAVersion, data_.fpga_version()); }
void MonitoringCtl::sendSnmpStatusBootVersion() { agents_.Send(Item::sgBootVersion, data_.boot_version()); }
void MonitoringCtl::sendSnmpStatusBoardVersion() { agents_.Send(Item::sgBoardVersion, data_.board_version()); }

void MonitoringCtl::sendSnmpTrapReceivers() { agents_.SendTrapsink(data_.trap_receivers()); }

void MonitoringCtl::sendSnmpCommands() { agents_.Send(data_.snmp_settings()); }

void MonitoringCtl::sendSnmpCommands(const MON::SnmpSetCommands& commands) { agents_.Send(commands); }
