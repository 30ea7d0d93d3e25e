#pragma once
// An SNMP agent for tests: listens on a loopback port, accepts the daemon's
// link and reads its MON::Message values with the project's codec. Each
// message is described in one line: "ping", "trapsink 10.0.0.1,10.0.0.2",
// "set 1 gatewayCommon.driverBuild.0=x|2 ..." (uniq, section.name.index,
// value per setting). Header only, like the test controller.
#include <arpa/inet.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "asn1/coder_env.h"
#include "foundation/fd.h"
#include "messages/MON/MON.h"
#include "tests/support/tpkt_client.h"

namespace monitoring_test {

class FakeAgent : public testing_support::TpktClient {
public:
  FakeAgent() : listen_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_.get(), 4);
    socklen_t length = sizeof a;
    ::getsockname(listen_.get(), reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
  }

  unsigned short port() const { return port_; }
  std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

  // Takes the next connection the daemon made, waiting up to timeoutMs.
  bool accept(int timeoutMs = 0) {
    pollfd p = {listen_.get(), POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
      return false;
    int fd = ::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
      return false;
    adopt(fd);
    return true;
  }

  // Every payload received so far, described; taken out.
  std::vector<std::string> drain() {
    poll();
    std::vector<std::string> lines;
    for (const std::string& payload : payloads())
      lines.push_back(describe(payload));
    payloads().clear();
    return lines;
  }

  bool send(const MON::Message& message) {
    std::vector<char> bytes;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    return env.encode(message, bytes) && send_payload(std::string(bytes.begin(), bytes.end()));
  }
  bool answer_ping() {
    MON::Message m;
    m.mutable_pdu().select_response().select_ping().select_success();
    return send(m);
  }

  static std::string describe(const std::string& payload) {
    MON::Message m;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    if (!env.decode(payload.data(), payload.data() + payload.size(), m, true) || !m.get_pdu().is_command())
      return "undecodable";
    const MON::Command& c = m.get_pdu().get_command();
    std::string text;
    if (c.is_ping())
      return "ping";
    if (c.is_snmp_trapsink_set()) {
      for (const MON::SnmpTrapsink& sink : c.get_snmp_trapsink_set().get_trapsinks())
        text += (text.empty() ? "trapsink " : ",") + sink.get_host().getValue() + (sink.has_port() ? ":" + std::to_string(sink.get_port().getValue()) : "");
      return text;
    }
    if (!c.is_snmp_set())
      return "other";
    for (const MON::SnmpSetCommand& s : c.get_snmp_set().get_commands()) {
      text += text.empty() ? "set " : "|";
      text += std::to_string(s.get_uniq().getValue()) + " " + key(s.get_id()) + "=" + s.get_value().getValue();
    }
    return text;
  }

  static std::string key(const MON::SnmpSetCommandId& id) {
    if (id.is_oid())
      return "oid:" + id.get_oid().getValue();
    const MON::IniName& n = id.get_name();
    return n.get_section().getValue() + "." + n.get_name().getValue() + "." + std::to_string(n.get_index().getValue());
  }

  // The last value of every item in the "set" lines, by key.
  static std::map<std::string, std::string> values(const std::vector<std::string>& lines) {
    std::map<std::string, std::string> out;
    for (const std::string& line : lines) {
      if (line.compare(0, 4, "set ") != 0)
        continue;
      size_t at = 4;
      while (at < line.size()) {
        size_t end = line.find('|', at);
        std::string entry = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
        size_t space = entry.find(' '), eq = entry.find('=');
        out[entry.substr(space + 1, eq - space - 1)] = entry.substr(eq + 1);
        at = end == std::string::npos ? line.size() : end + 1;
      }
    }
    return out;
  }

private:
  Fd listen_;
  unsigned short port_ = 0;
};

}  // namespace monitoring_test
