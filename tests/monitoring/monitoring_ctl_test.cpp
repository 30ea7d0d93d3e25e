#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "core/ctrl_server.h"
#include "core/traces.h"
#include "foundation/control_net.h"
#include "foundation/paths.h"
#include "monitoring/monitoring_ctl.h"
#include "simboard/board.h"
#include "simboard/hal.h"
#include "simboard/status_files.h"
#include "tests/foundation/temp_root.h"
#include "tests/monitoring/fake_agent.h"
#include "tests/monitoring/tree.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"
#include "tests/support/test_controller.h"

namespace monitoring_test {
namespace {

typedef std::map<std::string, std::string> Values;

// Every expected key with its value in what the agent received.
::testing::AssertionResult Holds(const Values& received, const Values& expected) {
  for (const auto& e : expected) {
    auto r = received.find(e.first);
    if (r == received.end())
      return ::testing::AssertionFailure() << e.first << " not received";
    if (r->second != e.second)
      return ::testing::AssertionFailure() << e.first << "=" << r->second << ", expected " << e.second;
  }
  return ::testing::AssertionSuccess();
}

// The board's monitoring service with one agent link (kind "corv") to a fake
// agent, a control server of its own and the simulated board; the clock
// moves only when a test moves it.
class MonitoringTest : public ::testing::Test {
protected:
  MonitoringTest() : root("monitoring") {
    char dir[PATH_MAX];
    cwd = getcwd(dir, sizeof dir) ? dir : "/";
    for (const char* d : {"/usr", "/usr/local", "/usr/local/etc"})
      mkdir((root.path() + d).c_str(), 0755);
    SimBoard::StatusFiles::write_defaults();
  }
  ~MonitoringTest() override {
    if (chdir(cwd.c_str()) != 0)
      ADD_FAILURE() << "cannot return to " << cwd;
  }

  void SetUp() override {
    clock.set_auto_advance(false);
    clock.set_real_wait(2);
    std::stringstream conf("[snmpagent]\nhost=" + agent.host() + "\nname=corv\n");
    conf >> file;
    ctl.reset(new MonitoringCtl);
    ctl->Configure(file);
    server.Bind(ctl.get());
    ASSERT_TRUE(Accept());
    runner.turn(3);
  }

  // Runs the loop until the agent has taken the link's next connection.
  bool Accept() {
    bool taken = false;
    return runner.until([&] { return taken || (taken = agent.accept()); }, 200);
  }

  void Connect() {
    auto* acceptor = new Control::AcceptorNetCheckConnection(0, false);
    ASSERT_TRUE(server.Activate(acceptor));
    ASSERT_TRUE(controller.connect(acceptor->bound_port()));
    ASSERT_TRUE(runner.until([&] { return controller.poll() > 0; }, 200));
  }
  // What the controller received, after a few turns; power signals with their value.
  std::vector<std::string> FromController() {
    runner.turn(3);
    controller.poll();
    std::vector<std::string> lines;
    for (const std::string& payload : controller.payloads()) {
      LGCP::Message m;
      if (!testing_support::TestController::decode(payload, m))
        lines.push_back("undecodable");
      else if (m.get_pdu().is_signal() && m.get_pdu().get_signal().is_power())
        lines.push_back(std::string("signal power ") + m.get_pdu().get_signal().get_power().getName());
      else
        lines.push_back(testing_support::TestController::describe(m));
    }
    controller.payloads().clear();
    return lines;
  }
  // Sends a display command; true when it was answered with success alone.
  bool Display(const std::function<void(LGCP::DisplayParams&)>& fill) {
    controller.command(++seq, -1, [&](LGCP::Command& c) { fill(c.select_display()); });
    runner.until([&] { return controller.poll() > 0; }, 200);
    return FromController() == std::vector<std::string>{"seq=" + std::to_string(seq) + " success"};
  }
  // Moves the clock on in steps of at most 5000 ms, letting the due timers
  // fire and answering the link's pings; what else the agent received.
  std::vector<std::string> After(uint64_t ms) {
    std::vector<std::string> lines;
    do {
      uint64_t step = std::min<uint64_t>(ms, 5000);
      clock.advance(step);
      ms -= step;
      runner.turn(3);
      for (const std::string& line : agent.drain()) {
        if (line == "ping")
          agent.answer_ping();
        else
          lines.push_back(line);
      }
    } while (ms > 0);
    return lines;
  }

  TempRoot root;
  std::string cwd;
  SimBoard::Board board;
  testing_support::LogCapture logs;
  testing_support::TestClock clock;
  testing_support::LoopRunner runner;
  FakeAgent agent;
  IniFile::File file;
  std::unique_ptr<MonitoringCtl> ctl;
  CtrlSrv::Server server;
  testing_support::TestController controller;
  int seq = 0;
};

TEST_F(MonitoringTest, PowerSignalDipAndFramerLeds) {
  board.hal().set_power(0);
  Connect();
  // The check on connect found a change (one signal), then the one every
  // connection gets.
  EXPECT_EQ(FromController(), (std::vector<std::string>{"signal power both", "signal power both"}));
  EXPECT_EQ(readFile("/var/monitoring/powerstatus"), "3");
  EXPECT_EQ(board.hal().led_writes(), 1u);  // all LEDs off when the device opens
  EXPECT_TRUE(Holds(FakeAgent::values(After(0)), {{"gatewayCommon.powerStatus.0", "3"}}));

  // Power bytes at the 2000 ms checks: a signal only on a change.
  struct {
    uint8_t byte;
    const char* signal;
    const char* file;
  } powers[] = {{3, nullptr, "3"}, {1, "standby", "1"}, {2, "main", "2"}, {4, "unknown", "0"}, {200, nullptr, "0"}};
  for (const auto& p : powers) {
    board.hal().set_power(p.byte);
    After(2000);
    EXPECT_EQ(FromController(), p.signal ? std::vector<std::string>{std::string("signal power ") + p.signal}
                                         : std::vector<std::string>{})
        << int(p.byte);
    EXPECT_EQ(readFile("/var/monitoring/powerstatus"), p.file) << int(p.byte);
  }
  board.hal().set_dip(0xa5);
  EXPECT_TRUE(Holds(FakeAgent::values(After(2000)), {{"gatewayCommon.gatewayDip.0", "165"}}));
  EXPECT_EQ(readFile("/var/monitoring/dip"), "165");

  // Framer LEDs: bit 2n is line n's link LED, bit 2n+1 its line LED.
  struct {
    unsigned e1;
    bool line;  // else link
    bool on;
    uint8_t byte;
  } leds[] = {{2, false, false, 0x10}, {2, true, true, 0x30}, {2, true, false, 0x00}, {2, true, true, 0x30},
              {2, false, true, 0x20},  {2, true, true, 0x20}, {0, false, false, 0x21}};
  for (const auto& l : leds) {
    EXPECT_TRUE(Display([&](LGCP::DisplayParams& d) {
      LGCP::FramerInfo& f = d.select_framer();
      f.set_e1(l.e1);
      (l.line ? f.mutable_info().select_line() : f.mutable_info().select_link()) = l.on;
    }));
    EXPECT_EQ(board.hal().leds(), l.byte) << l.e1 << l.line << l.on;
  }
  EXPECT_TRUE(agent.drain().empty());
  server.Deactivate();
  ctl.reset();
  EXPECT_EQ(board.hal().leds(), 0);  // off again at the end
}

MON::SnmpSetCommand Setting(int uniq, const char* section, const char* name) {
  MON::SnmpSetCommand c;
  c.set_uniq(uniq);
  MON::IniName& id = c.mutable_id().select_name();
  id.set_section(section);
  id.set_name(name);
  id.set_index(2);
  c.set_value("x");
  return c;
}

TEST_F(MonitoringTest, DisplayCommands) {
  Connect();
  FromController();
  agent.drain();
  std::string own = DottedAddress(ctl->data().own_address());
  typedef std::vector<std::pair<std::string, std::string>> Files;
  struct Case {
    const char* name;
    std::function<void(LGCP::DisplayParams&)> fill;
    Files files;
    std::vector<std::string> lines;  // exactly, when no values are given
    Values values;
  } cases[] = {
      {"board",
       [](LGCP::DisplayParams& d) {
         LGCP::BoardStatusParams& b = d.select_board().select_boardStatus();
         b.set_position(3);
         b.set_version({'v', '1'});
         b.set_status(LGCP::ExtBoardStatus::ready);
         b.set_type(LGCP::ExtBoardType::fxs);
       },
       {{"/var/monitoring/board3", "3\nv1\n2\n"}},
       {},
       {{"extBoardTable.extBoardStatus.3", "3"}, {"extBoardTable.extBoardSoftVer.3", "v1"},
        {"extBoardTable.extBoardType.3", "2"}}},
      {"board channel", [](LGCP::DisplayParams& d) { d.select_board().select_boardChannelStatus(); }, {}, {}, {}},
      {"trap receivers",
       [](LGCP::DisplayParams& d) {
         auto& list = d.select_snmpTrapReceivers();
         list.push_back(ASN1::IA5String("10.0.0.1"));
         list.push_back(ASN1::IA5String("10.0.0.2"));
       },
       {},
       {"trapsink 10.0.0.1,10.0.0.2"},
       {}},
      {"phone",
       [](LGCP::DisplayParams& d) {
         LGCP::EmPhoneStatusParams& p = d.select_emPhone().select_phoneStatus();
         p.set_panelSV({'p'});
         p.set_fpgaSV({'f'});
         p.set_powerStatus(LGCP::POWERStatus::both);
         p.set_baseStatus(LGCP::EmPhoneConnectionStatus::disconnected);
       },
       {{"/var/monitoring/emphone0", "p\n\nf\n0\n3\n0\n0\n2\n"}},
       {},
       {{"emPhoneTable.emPhonePanelSoftVer.1", "p"}, {"emPhoneTable.emPhoneFpgaSoftVer.1", "f"},
        {"emPhoneTable.emPhonePowerStatus.1", "3"}, {"emPhoneTable.emPhoneBaseStatus.1", "2"}}},
      {"controller",
       [&](LGCP::DisplayParams& d) {
         LGCP::ControllerInfo& c = d.select_controller();
         c.mutable_host().set_iaddr(own);
         c.set_status(HSP::ControllerStatus::ok);
       },
       {{"/var/monitoring/controller/" + own + "/status", "1"}, {"/var/monitoring/controller/self/status", "1"}},
       {},
       {{"gatewayCommon.controllerStatus.0", "1"}}},
      {"counter",
       [](LGCP::DisplayParams& d) {
         LGCP::TermCounter& t = d.select_termCounter();
         t.set_owner(LGCP::TermCounterOwner::extBoard);
         t.set_ownerId(7);
         t.set_cnt(5);
       },
       {{"/var/monitoring/term_cnts/board7", "5"}},
       {},
       {{"extBoardTermCntTable.extBoardTermCnt.7", "5"}}},
      // Names from the wire that would leave the tree get no file, but the
      // agents still get the setting.
      {"settings",
       [&](LGCP::DisplayParams& d) {
         auto& list = d.select_snmp_set().mutable_commands();
         for (const MON::SnmpSetCommand& c : {Setting(9, "net", "mask"), Setting(10, "..", "evil"),
                                              Setting(11, "net", "../../evil"), Setting(12, "", ".")})
           list.push_back(c);
       },
       {{"/var/monitoring/net/2/mask", "x"}},
       {"set 9 net.mask.2=x|10 ...evil.2=x|11 net.../../evil.2=x|12 ...2=x"},
       {}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(Display(c.fill)) << c.name;
    for (const auto& f : c.files)
      EXPECT_EQ(readFile(f.first), f.second) << c.name << " " << f.first;
    std::vector<std::string> lines = After(0);
    if (c.values.empty())
      EXPECT_EQ(lines, c.lines) << c.name;
    else
      EXPECT_TRUE(Holds(FakeAgent::values(lines), c.values)) << c.name;
  }
  for (const char* outside : {"/var/2", "/var/monitoring/evil", "/var/monitoring/2"})
    EXPECT_FALSE(exists(outside)) << outside;
  EXPECT_NE(logs.err().find("snmp-set: setting \"..\"/2/\"evil\" is not a plain file name: no file written"),
            std::string::npos);

  // The controller's going takes the board files and the boards away.
  server.Deactivate();
  EXPECT_FALSE(exists("/var/monitoring/board3"));
  EXPECT_TRUE(ctl->data().boards().empty());
  EXPECT_TRUE(exists("/var/monitoring/emphone0"));
}

TEST_F(MonitoringTest, BackgroundChecksAndTrunkStatus) {
  std::string etc = root.path() + "/usr/local/etc/";
  std::ofstream(etc + "config.0000001a-00000000000000ff") << "";
  std::ofstream(etc + "config.2save.tar.bz2") << "";
  mkdir((etc + "config.00000bad-0000000000000bad").c_str(), 0755);
  SimBoard::StatusFiles::Framer framer;
  framer.negativeSlips = -4;
  framer.signalLoss = true;
  SimBoard::StatusFiles::set_framer(1, framer);

  // With descriptor 0 free, the framer files are read through it.
  int input = dup(0);
  ::close(0);
  Values values = FakeAgent::values(After(1000));
  dup2(input, 0);
  ::close(input);
  EXPECT_TRUE(Holds(values, {{"statusGeneral.sgBuildVersion.0", "nodalsrv-sim build 1\n"},
                             {"statusGeneral.sgBoardVersion.0", "simulated board rev B\n"},
                             {"gatewayCommon.temperature.0", "41"},
                             {"gatewayCommon.gatewayConfigVersion.0", "26"},
                             {"e1Table.e1StatusDsc.1", "Synchronized"},
                             {"e1Table.e1Connected.1", "1"},
                             {"e1Table.e1SignalLoss.2", "1"},
                             {"e1Table.e1NegSlipCount.2", "-4"},
                             {"e1Table.e1FrameAlignLoss.4", "0"}}));
  EXPECT_EQ(readFile("/var/monitoring/config_version"), "0000001a-00000000000000ff");
  char dir[PATH_MAX];
  EXPECT_EQ(std::string(getcwd(dir, sizeof dir)), etc.substr(0, etc.size() - 1));

  // A trunk status signal changes framer 1 only; the change is published by
  // a full resend on the next turn, once for several signals.
  LGCP::Signal sig;
  ACP::TrunkStatus& status = sig.select_trunkStatus();
  status.set_trunk(0);
  status.set_state(ACP::TrunkState::lossCarrier);
  ctl->OnSignal(sig);
  status.set_trunk(1);
  ctl->OnSignal(sig);
  std::vector<std::string> lines = After(0);
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_TRUE(Holds(FakeAgent::values(lines), {{"e1Table.e1StatusDsc.1", "No Carrier"},
                                               {"e1Table.e1Connected.1", "0"},
                                               {"e1Table.e1StatusDsc.2", "No Carrier"},
                                               {"e1Table.e1StatusDsc.3", "Synchronized"},
                                               {"gatewayCommon.temperature.0", "41"}}));
  ctl->OnSignal(sig);  // no change: no resend
  status.set_trunk(7);
  ctl->OnSignal(sig);
  EXPECT_TRUE(After(0).empty());
}

TEST_F(MonitoringTest, ControllerStatusWithoutAController) {
  std::string own = DottedAddress(ctl->data().own_address());
  EXPECT_TRUE(Holds(FakeAgent::values(After(5000)), {{"gatewayCommon.controllerStatus.0", "5"}}));
  EXPECT_EQ(readFile("/var/monitoring/controller/" + own + "/status"), "5");
  mkdir((root.path() + "/proc/4321").c_str(), 0755);
  std::ofstream(root.path() + "/proc/4321/stat") << "4321 (controller) S 1";
  EXPECT_TRUE(Holds(FakeAgent::values(After(5000)), {{"gatewayCommon.controllerStatus.0", "4"}}));
  EXPECT_EQ(readFile("/var/monitoring/controller/self/status"), "4");
  EXPECT_TRUE(After(5000).empty());
  // A controller that has reported nothing for this board leaves it as it was.
  Connect();
  EXPECT_TRUE(After(5000).empty());
}

// The keys of a "set" line in order, and its uniq numbers.
std::vector<std::string> Keys(const std::string& line, std::vector<int>& uniq) {
  std::vector<std::string> keys;
  std::stringstream entries(line.substr(4));
  std::string entry;
  while (std::getline(entries, entry, '|')) {
    uniq.push_back(std::stoi(entry));
    keys.push_back(entry.substr(entry.find(' ') + 1, entry.find('=') - entry.find(' ') - 1));
  }
  return keys;
}

TEST_F(MonitoringTest, EveryAgentConnectionGetsEveryValue) {
  Connect();
  FromController();
  agent.close();
  runner.turn(3);
  EXPECT_TRUE(Display([](LGCP::DisplayParams& d) { d.select_snmpTrapReceivers().push_back(ASN1::IA5String("h")); }));
  EXPECT_FALSE(agent.accept());
  clock.advance(10000);  // the link comes back
  ASSERT_TRUE(Accept());
  std::vector<std::string> lines = After(0);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "trapsink h");

  // Every value in the fixed order: the first batch has the items of both
  // agent kinds and those of kind 2, the second those of both and of kind 4.
  std::vector<std::string> first, second;
  for (const char* item : {"driverBuild", "softwareBuild", "powerStatus", "controllerStatus", "gatewayDip",
                           "gatewayConfigVersion"})
    for (auto* batch : {&first, &second})
      batch->push_back(std::string("gatewayCommon.") + item + ".0");
  first.push_back("gatewayCommon.temperature.0");
  for (const char* item : {"sgBuildVersion", "sgFPGAVersion", "sgBootVersion", "sgBoardVersion"})
    second.push_back(std::string("statusGeneral.") + item + ".0");
  for (int framer = 1; framer <= 4; ++framer)
    for (const char* item : {"e1Connected", "e1StatusDsc", "e1SignalLoss", "e1FrameAlignLoss", "e1NegSlipCount",
                             "e1PosSlipCount"})
      first.push_back(std::string("e1Table.") + item + "." + std::to_string(framer));
  for (const NetIfDataHolder& netif : ctl->data().interfaces())
    for (const char* item : {"ifOperStatus", "ifAdminStatus", "ifDescr"})
      for (auto* batch : {&first, &second})
        batch->push_back(std::string("ifTable.") + item + "." + std::to_string(netif.ifindex()));
  std::vector<int> uniq;
  EXPECT_EQ(Keys(lines[1], uniq), first);
  EXPECT_EQ(Keys(lines[2], uniq), second);
  std::sort(uniq.begin(), uniq.end());
  for (size_t i = 1; i < uniq.size(); ++i)
    EXPECT_EQ(uniq[i], uniq[i - 1] + 1);
  EXPECT_EQ(FakeAgent::values(lines)["gatewayCommon.driverBuild.0"], "2.6.1 [sim 2024-05-01]");
}

TEST(DriverBuild, VersionLineWords) {
  struct {
    const char* line;
    const char* value;
  } cases[] = {
      {"voice 2.6.1 sim 2024-05-01\n", "2.6.1 [sim 2024-05-01]"}, {"voice   2.6.1 sim\n", "2.6.1 [sim]"},
      {"voice 2.6.1 sim \n", "2.6.1 [sim ]"},                    {"voice 2.6.1 sim 1 2 3\n", "2.6.1 [sim 1]"},
      {"voice\t2.6.1 sim\n", "none"},                            {"voice 2.6.1\n", "none"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MonitoringCtl::DriverBuildText(c.line), c.value) << c.line;
}

}  // namespace
}  // namespace monitoring_test
