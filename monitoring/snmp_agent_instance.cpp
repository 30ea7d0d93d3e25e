#include "monitoring/snmp_agent.h"

#include <iostream>
#include <vector>

#include "asn1/coder_env.h"
#include "foundation/control_net.h"
#include "foundation/ini_reader.h"
#include "foundation/mux_time.h"
#include "monitoring/monitoring_data.h"

namespace {

const IniFile::Symbol<SnmpAgentInstance::MonitoringAddressType> monitoringAddressTypes[] = {
    {"lemzgw", SnmpAgentInstance::lemzgw},
    {"lemzgw.mv", SnmpAgentInstance::lemzgw_mv},
    {"corv", SnmpAgentInstance::corv},
    {nullptr, SnmpAgentInstance::lemzgw},
};

// "a.b.c.d:port": a dotted address and a decimal port of 1..65535.
bool parseHost(const std::string& host, INet4::Addr& address) {
  int port = -1;
  return address.Assign(host, &port) && port > 0;
}

}  // namespace

SnmpAgentInstance::SnmpAgentInstance() : kind_(lemzgw), stamp_(0), listener_(nullptr) {}

SnmpAgentInstance::~SnmpAgentInstance() {
  ping_.reset();
  connection_.reset();
}

void SnmpAgentInstance::Activate(IniFile::SubSection& config) {
  std::string host;
  IniFile::Reader reader("snmpagent: ", std::cerr);
  reader.required.add(&host, "host");
  reader.required.add(&name_, "name");
  reader.required.add(&kind_, "name", monitoringAddressTypes);
  if (!reader.parse(config))
    return;
  INet4::Addr address;
  if (!parseHost(host, address))
    return;
  header_ = "snmpagent." + name_ + " " + address.GetString();
  auto* connector = new Control::ConnectorNet(DottedAddress(address), address.port());
  connection_.reset(connector);
  connection_->service_name(header_);
  connection_->Bind(this);
  connection_->Activate();
}

bool SnmpAgentInstance::connected() const {
  return connection_ && connection_->state() == Control::Service::State::Connected;
}

void SnmpAgentInstance::Command(const MON::Command& command) {
  MON::Message message;
  message.mutable_pdu().select_command() = command;
  Send(message);
}

void SnmpAgentInstance::Send(const MON::Message& message) {
  if (!connected())
    return;
  std::vector<char> bytes;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (!env.encode(message, bytes)) {
    std::clog << header_ << ": encode MON message fail!!!" << std::endl;
    return;
  }
  connection_->Send(bytes.data(), static_cast<int>(bytes.size()));
  SetPingTimer();
  uint32_t now = Mux::milliseconds();
  if (static_cast<int32_t>(now - stamp_) > SilenceMs) {
    std::clog << header_ << ": ping timeout !!! now=" << now << " stamp=" << stamp_ << std::endl;
    connection_->Disconnect();
  }
}

void SnmpAgentInstance::SetPingTimer() { ping_.set(PingMs, &SnmpAgentInstance::OnPingTimer, this); }

void SnmpAgentInstance::OnPingTimer(Timer*) {
  MON::Command ping;
  ping.select_ping();
  Command(ping);
}

void SnmpAgentInstance::OnConnect() {
  std::clog << header_ << ": connected." << std::endl;
  stamp_ = Mux::milliseconds();
  if (listener_)
    listener_->OnSnmpAgentConnect(name_);
}

void SnmpAgentInstance::OnDisconnect() {
  std::clog << header_ << ": connection lost, reset snmpagent instance" << std::endl;
  ping_.reset();
}

void SnmpAgentInstance::OnMessage(const char* data, int length) {
  stamp_ = Mux::milliseconds();
  MON::Message message;
  ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
  if (!env.decode(data, data + length, message, true)) {
    std::cerr << header_ << ": receive : decode error!" << std::endl;
    return;
  }
  OnMessage(message);
}

void SnmpAgentInstance::OnMessage(const MON::Message& message) {
  const MON::PDU& pdu = message.get_pdu();
  if (pdu.is_response())
    OnResponse(pdu.get_response());
  else if (pdu.is_signal())
    OnSignal(pdu.get_signal());
  else
    std::cerr << header_ << ": receive unknown message type" << std::endl;
}
