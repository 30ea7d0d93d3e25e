#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
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

// Every row of the item table: queued all in one turn, each item lands in
// the batch of each agent-kind bit of its mask (2 first, then 4), under its
// group and name, with uniq numbers in queueing order across both batches.
TEST_F(AgentTest, EveryItemUnderItsGroupNameAndMask) {
  Configure({{corv.host(), "corv"}});
  ASSERT_TRUE(Accept(corv));
  const struct {
    int mask;
    const char* group;
    const char* name;
  } items[] = {
      {6, "gatewayCommon", "driverBuild"},         {6, "gatewayCommon", "softwareBuild"},
      {6, "gatewayCommon", "powerStatus"},         {6, "gatewayCommon", "controllerStatus"},
      {6, "gatewayCommon", "gatewayDip"},          {6, "gatewayCommon", "gatewayConfigVersion"},
      {2, "extBoardTable", "extBoardStatus"},      {2, "extBoardTable", "extBoardSoftVer"},
      {2, "extBoardTable", "extBoardType"},        {2, "emPhoneTable", "emPhonePanelSoftVer"},
      {2, "emPhoneTable", "emPhoneCtrlSoftVer"},   {2, "emPhoneTable", "emPhoneFpgaSoftVer"},
      {2, "emPhoneTable", "emPhoneStatus"},        {2, "emPhoneTable", "emPhonePowerStatus"},
      {2, "emPhoneTable", "emPhoneMode"},          {2, "emPhoneTable", "emPhoneHookStatus"},
      {2, "emPhoneTable", "emPhoneBaseStatus"},    {6, "gatewayTermCounters", "routerTermCnt"},
      {6, "gatewayTermCounters", "controllerTermCnt"}, {6, "gatewayTermCounters", "serverTermCnt"},
      {2, "extBoardTermCntTable", "extBoardTermCnt"},  {2, "e1Table", "e1Connected"},
      {2, "e1Table", "e1StatusDsc"},               {2, "e1Table", "e1SignalLoss"},
      {2, "e1Table", "e1FrameAlignLoss"},          {2, "e1Table", "e1NegSlipCount"},
      {2, "e1Table", "e1PosSlipCount"},            {4, "statusGeneral", "sgBuildVersion"},
      {4, "statusGeneral", "sgFPGAVersion"},       {4, "statusGeneral", "sgBootVersion"},
      {4, "statusGeneral", "sgBoardVersion"},      {6, "ifTable", "ifDescr"},
      {6, "ifTable", "ifAdminStatus"},             {6, "ifTable", "ifOperStatus"},
      {2, "gatewayCommon", "temperature"},
  };
  ASSERT_EQ(std::size(items), 35u);
  std::string batch[2];
  int uniq = 1;
  for (int type = 0; type < 35; ++type) {
    const std::string index = std::to_string(100 + type);
    ctrl.Send(static_cast<SnmpAgentCtrl::MonitoringItemType>(type), 100 + type, "v" + index);
    for (int bit : {0, 1})
      if (items[type].mask & (2 << bit))
        batch[bit] += std::string(batch[bit].empty() ? "set " : "|") + std::to_string(uniq++) + " " +
                      items[type].group + "." + items[type].name + "." + index + "=v" + index;
  }
  ctrl.Send(static_cast<SnmpAgentCtrl::MonitoringItemType>(-1), "no such item");
  EXPECT_EQ(After(corv, 0), (Lines{batch[0], batch[1]}));
}

// The agent kinds are exactly "lemzgw", "lemzgw.mv" and "corv": a link of
// each connects; any other name leaves its link idle.
TEST_F(AgentTest, AgentKindNames) {
  const struct {
    const char* name;
    bool connects;
  } kinds[] = {{"lemzgw", true},     {"lemzgw.mv", true}, {"corv", true},  {"lemzgw_mv", false},
               {"lemzgw.", false},   {"CORV", false},     {"mv", false},    {"", false}};
  const size_t count = std::size(kinds);
  std::vector<std::unique_ptr<FakeAgent>> agents;
  std::vector<std::pair<std::string, std::string>> config;
  for (const auto& kind : kinds) {
    agents.emplace_back(new FakeAgent);
    config.emplace_back(agents.back()->host(), kind.name);
  }
  Configure(config);
  Lines connected;
  for (size_t i = 0; i < count; ++i) {
    if (kinds[i].connects) {
      EXPECT_TRUE(Accept(*agents[i])) << kinds[i].name;
      connected.push_back(kinds[i].name);
    }
  }
  rig.loop.turn(3);
  for (size_t i = 0; i < count; ++i) {
    if (!kinds[i].connects) {
      EXPECT_FALSE(agents[i]->accept()) << kinds[i].name;
    }
  }
  std::sort(connects.begin(), connects.end());
  std::sort(connected.begin(), connected.end());
  EXPECT_EQ(connects, connected);
  EXPECT_EQ(ctrl.links().size(), count);
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
