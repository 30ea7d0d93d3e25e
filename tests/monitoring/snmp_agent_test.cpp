#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "foundation/ini_file.h"
#include "monitoring/snmp_agent.h"
#include "tests/monitoring/fake_agent.h"

namespace monitoring_test {
namespace {

using Lines = std::vector<std::string>;

// The octets Erlang's asn1 gives for the messages the tests below expect.
std::map<std::string, std::string> erlangVectors() {
  std::ifstream in(AGENT_VECTORS);
  std::map<std::string, std::string> vectors;
  std::string name, hex;
  while (in >> name >> hex) {
    if (name[0] == '#') {
      std::getline(in, hex);
      continue;
    }
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      vectors[name] += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return vectors;
}

class AgentTest : public ::testing::Test, public ISnmpAgentNotify {
protected:
  void SetUp() override { rig.clock.set_real_wait(2); }
  void OnSnmpAgentConnect(const std::string& name) override { connects.push_back(name); }

  // "snmpagent" sub-sections of "host name" pairs.
  void Configure(const std::vector<std::pair<std::string, std::string>>& agents) {
    std::stringstream text;
    for (const auto& agent : agents)
      text << "[snmpagent]\nhost=" << agent.first << "\nname=" << agent.second << "\n";
    text >> file;
    ctrl.CreateInstances(file["snmpagent"]);
    ctrl.Bind(this);
  }
  // Runs the loop until the agent has taken the link's next connection.
  bool Accept(FakeAgent& agent) {
    bool taken = false;
    rig.until([&] { return taken || (taken = agent.accept()); });
    rig.loop.turn(3);
    return taken;
  }
  // Advances the clock and runs a few turns; what the agent received.
  Lines After(FakeAgent& agent, uint64_t ms) {
    rig.clock.advance(ms);
    rig.loop.turn(3);
    return agent.drain();
  }
  // The payloads received, taken out.
  Lines Octets(FakeAgent& agent) {
    agent.poll();
    Lines octets(agent.payloads().begin(), agent.payloads().end());
    agent.payloads().clear();
    return octets;
  }

  transport_test::Rig rig;
  IniFile::File file;
  Lines connects;
  SnmpAgentCtrl ctrl;
  FakeAgent corv, lemzgw;
  std::map<std::string, std::string> erlang = erlangVectors();
};

TEST_F(AgentTest, BatchesPerKindBitAndReadyCommands) {
  Configure({{"10.0.0.5", "corv"},          // no port: idle
             {corv.host(), "bogus"},        // unknown kind: idle
             {corv.host(), "corv"},
             {lemzgw.host(), "lemzgw"}});   // no batch of its own, still gets both
  ASSERT_TRUE(Accept(corv));
  ASSERT_TRUE(Accept(lemzgw));
  EXPECT_EQ(connects, (Lines{"corv", "lemzgw"}));
  EXPECT_FALSE(corv.accept());

  // One turn's values travel together: the batch of bit 2, then that of bit
  // 4, with uniq numbers in queueing order across both.
  ctrl.Send(SnmpAgentCtrl::driverBuild, "2.6.1 [sim]");
  ctrl.Send(SnmpAgentCtrl::sgBuildVersion, "b1\n");
  ctrl.Send(SnmpAgentCtrl::extBoardStatus, 300, "3");
  ctrl.Send(static_cast<SnmpAgentCtrl::MonitoringItemType>(35), "no such item");
  rig.loop.turn();
  for (FakeAgent* agent : {&corv, &lemzgw})
    EXPECT_EQ(Octets(*agent), (Lines{erlang["batch-2"], erlang["batch-4"]}));
  ctrl.Send(SnmpAgentCtrl::temperature, "41");
  EXPECT_EQ(After(corv, 0), Lines{"set 5 gatewayCommon.temperature.0=41"});

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
  Lines octets = Octets(corv);
  ASSERT_EQ(octets.size(), 2u);
  EXPECT_EQ(octets[0], erlang["trapsink"]);
  EXPECT_EQ(FakeAgent::describe(octets[1]), "set 77 oid:1.3.6.1.4=v");
}

TEST_F(AgentTest, PingLivenessAndReconnection) {
  Configure({{corv.host(), "corv"}});
  ASSERT_TRUE(Accept(corv));

  // The first send arms the ping; an agent that answers stays.
  ctrl.Send(SnmpAgentCtrl::powerStatus, "2");
  EXPECT_EQ(After(corv, 0).size(), 2u);
  EXPECT_TRUE(After(corv, 4999).empty());
  rig.clock.advance(1);
  rig.loop.turn(3);
  EXPECT_EQ(Octets(corv), Lines{erlang["ping"]});
  for (int i = 0; i < 12; ++i) {
    ASSERT_TRUE(corv.answer_ping());
    EXPECT_EQ(After(corv, 5000), Lines{"ping"}) << i;
  }
  // Anything counts as a sign of life, also a payload that does not decode.
  ASSERT_TRUE(corv.send_payload("\xff\xfe"));
  rig.loop.turn(3);

  // Silent from now on: six pings fill the 30000 ms, the seventh finds the
  // silence too long and drops the link.
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(After(corv, 5000), Lines{"ping"}) << i;
  EXPECT_FALSE(corv.closed());
  EXPECT_EQ(After(corv, 5000), Lines{"ping"});
  EXPECT_TRUE(corv.closed());

  // The connector comes back 10000 ms later.
  rig.clock.advance(9999);
  rig.loop.turn(3);
  EXPECT_FALSE(corv.accept());
  rig.clock.advance(1);
  ASSERT_TRUE(Accept(corv));
  EXPECT_EQ(connects.size(), 2u);
}

}  // namespace
}  // namespace monitoring_test
