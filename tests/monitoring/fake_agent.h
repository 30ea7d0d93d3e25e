#pragma once
// An SNMP agent for tests: listens on a loopback port, accepts the daemon's
// link and reads its MON::Message values with the project's codec. Each
// message is described in one line: "ping", "trapsink 10.0.0.1,10.0.0.2",
// "set 1 gatewayCommon.driverBuild.0=x|2 ..." (uniq, section.name.index,
// value per setting). Header only, like the test controller.
#include <map>
#include <poll.h>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "messages/MON/MON.h"
#include "tests/foundation/transport_helpers.h"

namespace monitoring_test {

class FakeAgent : public testing_support::TpktClient {
public:
  unsigned short port() const { return transport_test::local_port(listen_.get()); }
  std::string host() const { return "127.0.0.1:" + std::to_string(port()); }

  // Takes the next connection the daemon made, waiting up to timeoutMs.
  bool accept(int timeoutMs = 0) {
    pollfd p = {listen_.get(), POLLIN, 0};
    int fd = ::poll(&p, 1, timeoutMs) > 0 ? ::accept4(listen_.get(), nullptr, nullptr, SOCK_CLOEXEC) : -1;
    if (fd >= 0)
      adopt(fd);
    return fd >= 0;
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

  bool answer_ping() {
    MON::Message m;
    m.mutable_pdu().select_response().select_ping().select_success();
    std::vector<char> bytes;
    ASN1::CoderEnv env(ASN1::CoderEnv::per_Aligned);
    return env.encode(m, bytes) && send_payload(std::string(bytes.begin(), bytes.end()));
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
        text += (text.empty() ? "trapsink " : ",") + sink.get_host().getValue();
      return text;
    }
    for (const MON::SnmpSetCommand& s : c.get_snmp_set().get_commands()) {
      text += text.empty() ? "set " : "|";
      text += std::to_string(s.get_uniq().getValue()) + " ";
      if (s.get_id().is_oid()) {
        text += "oid:" + s.get_id().get_oid().getValue();
      } else {
        const MON::IniName& n = s.get_id().get_name();
        text += n.get_section().getValue() + "." + n.get_name().getValue() + "." +
                std::to_string(n.get_index().getValue());
      }
      text += "=" + s.get_value().getValue();
    }
    return text;
  }

  // The last value of every item in the "set" lines, by key.
  static std::map<std::string, std::string> values(const std::vector<std::string>& lines) {
    std::map<std::string, std::string> out;
    for (const std::string& line : lines) {
      if (line.compare(0, 4, "set ") != 0)
        continue;
      std::stringstream entries(line.substr(4));
      for (std::string entry; std::getline(entries, entry, '|');) {
        size_t space = entry.find(' '), eq = entry.find('=');
        out[entry.substr(space + 1, eq - space - 1)] = entry.substr(eq + 1);
      }
    }
    return out;
  }

private:
  Fd listen_ = transport_test::listener();
};

}  // namespace monitoring_test
