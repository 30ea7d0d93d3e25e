#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "foundation/ini_file.h"
#include "monitoring/snmp_agent.h"
#include "tests/monitoring/fake_agent.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

namespace monitoring_test {
namespace {

// The octets Erlang's asn1 gives for the messages the tests below expect.
std::map<std::string, std::string> erlangVectors() {
  std::ifstream in(AGENT_VECTORS);
  std::map<std::string, std::string> vectors;
  std::string name, hex;
  while (in >> name) {
    if (name[0] == '#') {
      std::getline(in, hex);
      continue;
    }
    in >> hex;
    std::string octets;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      octets += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    vectors[name] = octets;
  }
  return vectors;
}

class Listener : public ISnmpAgentNotify {
public:
  void OnSnmpAgentConnect(const std::string& name) override { connects.push_back(name); }
  std::vector<std::string> connects;
};

class AgentTest : public ::testing::Test {
protected:
  void SetUp() override {
    clock.set_auto_advance(false);
    clock.set_real_wait(2);
  }

  // "snmpagent" sub-sections of "host name" pairs.
  void Configure(const std::vector<std::pair<std::string, std::string>>& agents) {
    std::stringstream text;
    for (const auto& agent : agents)
      text << "[snmpagent]\nhost=" << agent.first << "\nname=" << agent.second << "\n";
    text >> file;
    ctrl.CreateInstances(file["snmpagent"]);
    ctrl.Bind(&listener);
  }
  // Runs the loop until the agent has taken the link's next connection.
  bool Accept(FakeAgent& agent) {
    bool taken = false;
    return runner.until([&] { return taken || (taken = agent.accept()); }, 200);
  }
  // Advances the clock and runs a few turns; what the agent received.
  std::vector<std::string> After(FakeAgent& agent, uint64_t ms) {
    clock.advance(ms);
    runner.turn(3);
    return agent.drain();
  }

  testing_support::LogCapture logs;
  testing_support::TestClock clock;
  testing_support::LoopRunner runner;
  IniFile::File file;
  Listener listener;
  SnmpAgentCtrl ctrl;
  FakeAgent corv, lemzgw;
};

TEST_F(AgentTest, BatchesPerKindBitAndReadyCommands) {
  Configure({{"10.0.0.5", "corv"},          // no port: idle
             {corv.host(), "bogus"},        // unknown kind: idle
             {corv.host(), "corv"},
             {lemzgw.host(), "lemzgw"}});   // no batch of its own, still gets both
  ASSERT_TRUE(Accept(corv));
  ASSERT_TRUE(Accept(lemzgw));
  runner.turn(3);
  EXPECT_EQ(listener.connects, (std::vector<std::string>{"corv", "lemzgw"}));
  EXPECT_EQ(ctrl.links().size(), 4u);
  EXPECT_NE(logs.err().find("snmpagent: required key \"name\" has invalid value=\"bogus\""), std::string::npos);
  EXPECT_NE(logs.log().find("snmpagent.corv " + corv.host() + ": connected."), std::string::npos);

  // One turn's values travel together: the batch of bit 2, then that of bit
  // 4, with uniq numbers in queueing order across both.
  ctrl.Send(SnmpAgentCtrl::driverBuild, "2.6.1 [sim]");
  ctrl.Send(SnmpAgentCtrl::sgBuildVersion, "b1\n");
  ctrl.Send(SnmpAgentCtrl::extBoardStatus, 300, "3");
  ctrl.Send(static_cast<SnmpAgentCtrl::MonitoringItemType>(35), "no such item");
  runner.turn();
  std::map<std::string, std::string> erlang = erlangVectors();
  for (FakeAgent* agent : {&corv, &lemzgw}) {
    agent->poll();
    ASSERT_EQ(agent->payloads().size(), 2u);
    EXPECT_EQ(agent->payloads()[0], erlang["batch-2"]);
    EXPECT_EQ(agent->payloads()[1], erlang["batch-4"]);
    agent->payloads().clear();
  }
  EXPECT_EQ(After(corv, 0), std::vector<std::string>{});
  ctrl.Send(SnmpAgentCtrl::temperature, "41");
  EXPECT_EQ(After(corv, 0), std::vector<std::string>{"set 5 gatewayCommon.temperature.0=41"});

  // Trap receivers and ready settings go at once; empty lists send nothing.
  ctrl.SendTrapsink({});
  ctrl.Send(MON::SnmpSetCommands());
  ctrl.SendTrapsink({"10.0.0.1", "192.168.1.20"});
  MON::SnmpSetCommands settings;
  MON::SnmpSetCommand setting;
  setting.set_uniq(77);
  setting.mutable_id().select_oid() = "1.3.6.1.4";
  setting.set_value("v");
  settings.mutable_commands().push_back(setting);
  ctrl.Send(settings);
  corv.poll();
  ASSERT_EQ(corv.payloads().size(), 2u);
  EXPECT_EQ(corv.payloads()[0], erlang["trapsink"]);
  EXPECT_EQ(FakeAgent::describe(corv.payloads()[1]), "set 77 oid:1.3.6.1.4=v");
}

TEST_F(AgentTest, PingLivenessAndReconnection) {
  Configure({{corv.host(), "corv"}});
  ASSERT_TRUE(Accept(corv));
  runner.turn(3);
  std::map<std::string, std::string> erlang = erlangVectors();

  // The first send arms the ping; an agent that answers stays.
  ctrl.Send(SnmpAgentCtrl::powerStatus, "2");
  EXPECT_EQ(After(corv, 0).size(), 2u);
  EXPECT_TRUE(After(corv, 4999).empty());
  clock.advance(1);
  runner.turn(3);
  corv.poll();
  ASSERT_EQ(corv.payloads().size(), 1u);
  EXPECT_EQ(corv.payloads()[0], erlang["ping"]);
  corv.payloads().clear();
  for (int i = 0; i < 12; ++i) {
    ASSERT_TRUE(corv.answer_ping());
    EXPECT_EQ(After(corv, 5000), std::vector<std::string>{"ping"}) << i;
  }
  // Anything counts as a sign of life, also a payload that does not decode.
  ASSERT_TRUE(corv.send_payload("\xff\xfe"));
  runner.turn(3);
  EXPECT_NE(logs.err().find("snmpagent.corv " + corv.host() + ": receive : decode error!"), std::string::npos);

  // Silent from now on: six pings fill the 30000 ms, the seventh finds the
  // silence too long and drops the link.
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(After(corv, 5000), std::vector<std::string>{"ping"}) << i;
  EXPECT_FALSE(corv.closed());
  EXPECT_EQ(After(corv, 5000), std::vector<std::string>{"ping"});
  EXPECT_TRUE(corv.closed());
  EXPECT_NE(logs.log().find(": ping timeout !!! now="), std::string::npos);
  EXPECT_NE(logs.log().find("snmpagent.corv " + corv.host() + ": connection lost, reset snmpagent instance"),
            std::string::npos);

  // The connector comes back 10000 ms later.
  clock.advance(9999);
  runner.turn(3);
  EXPECT_FALSE(corv.accept());
  clock.advance(1);
  ASSERT_TRUE(Accept(corv));
  runner.turn(3);
  EXPECT_EQ(listener.connects.size(), 2u);
}

}  // namespace
}  // namespace monitoring_test
