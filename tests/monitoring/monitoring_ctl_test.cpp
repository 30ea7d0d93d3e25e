#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "core/ctrl_server.h"
#include "foundation/control_net.h"
#include "monitoring/monitoring_ctl.h"
#include "simboard/board.h"
#include "simboard/hal.h"
#include "simboard/status_files.h"
#include "tests/foundation/temp_root.h"
#include "tests/monitoring/fake_agent.h"
#include "tests/monitoring/tree.h"
#include "tests/support/test_controller.h"

namespace monitoring_test {
namespace {

using Lines = std::vector<std::string>;
using Values = std::map<std::string, std::string>;

// Every expected key with its value in what the agent received.
::testing::AssertionResult Holds(const Lines& lines, const Values& expected) {
  Values received = FakeAgent::values(lines);
  for (const auto& e : expected)
    if (received[e.first] != e.second)
      return ::testing::AssertionFailure() << e.first << "=" << received[e.first] << ", expected " << e.second;
  return ::testing::AssertionSuccess();
}

// The board's monitoring service with one agent link (kind "corv") to a fake
// agent, a control server of its own and the simulated board; the clock
// moves only when a test moves it.
class MonitoringTest : public ::testing::Test {
protected:
  MonitoringTest() {
    std::filesystem::create_directories(root.path() + "/usr/local/etc");
    SimBoard::StatusFiles::write_defaults();
  }
  // The configuration check enters its directory.
  ~MonitoringTest() override { std::filesystem::current_path(cwd); }

  void SetUp() override {
    rig.clock.set_real_wait(2);
    std::stringstream conf("[snmpagent]\nhost=" + agent.host() + "\nname=corv\n");
    conf >> file;
    ctl.reset(new MonitoringCtl);
    ctl->Configure(file);
    server.Bind(ctl.get());
    ASSERT_TRUE(Accept());
  }

  // Runs the loop until the agent has taken the link's next connection.
  bool Accept() {
    bool taken = false;
    rig.until([&] { return taken || (taken = agent.accept()); });
    rig.loop.turn(3);
    return taken;
  }
  void Connect() {
    auto* acceptor = new Control::AcceptorNetCheckConnection(0, false);
    ASSERT_TRUE(server.Activate(acceptor));
    ASSERT_TRUE(controller.connect(acceptor->bound_port()));
    ASSERT_TRUE(rig.until([&] { return controller.poll() > 0; }));
  }
  // What the controller received, after a few turns.
  Lines FromController() {
    rig.loop.turn(3);
    return controller.drain();
  }
  // Sends a display command; true when it was answered with success alone.
  bool Display(const std::function<void(LGCP::DisplayParams&)>& fill) {
    controller.command(++seq, -1, [&](LGCP::Command& c) { fill(c.select_display()); });
    rig.until([&] { return controller.poll() > 0; });
    return controller.drain() == Lines{"seq=" + std::to_string(seq) + " success"};
  }
  // Moves the clock on in steps of at most 5000 ms, letting the due timers
  // fire and answering the link's pings; what else the agent received.
  Lines After(uint64_t ms) {
    Lines lines;
    do {
      uint64_t step = std::min<uint64_t>(ms, 5000);
      rig.clock.advance(step);
      ms -= step;
      rig.loop.turn(3);
      for (const std::string& line : agent.drain())
        line == "ping" ? static_cast<void>(agent.answer_ping()) : lines.push_back(line);
    } while (ms > 0);
    return lines;
  }

  TempRoot root{"monitoring"};
  std::filesystem::path cwd = std::filesystem::current_path();
  SimBoard::Board board;
  transport_test::Rig rig;
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
  EXPECT_EQ(FromController(), (Lines{"signal power", "signal power"}));
  EXPECT_EQ(board.hal().led_writes(), 1u);  // all LEDs off when the device opens
  EXPECT_TRUE(Holds(After(0), {{"gatewayCommon.powerStatus.0", "3"}}));

  // Power bytes at the 2000 ms checks: a signal only on a change.
  struct {
    uint8_t byte;
    size_t signals;
    const char* file;
  } powers[] = {{1, 1, "1"}, {4, 1, "0"}, {200, 0, "0"}};
  for (const auto& p : powers) {
    board.hal().set_power(p.byte);
    After(2000);
    EXPECT_EQ(FromController().size(), p.signals) << int(p.byte);
    EXPECT_EQ(readFile("/var/monitoring/powerstatus"), p.file) << int(p.byte);
  }
  board.hal().set_dip(0xa5);
  EXPECT_TRUE(Holds(After(2000), {{"gatewayCommon.gatewayDip.0", "165"}}));
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
  server.Deactivate();
  ctl.reset();
  EXPECT_EQ(board.hal().leds(), 0);  // off again at the end
}

// Every power supply byte at the 2000 ms check, each a change: 0 and 3
// both give `both`, 1 and 2 themselves, 4 and above `unknown`.
TEST_F(MonitoringTest, PowerSupplyByteTable) {
  Connect();
  FromController();
  After(0);
  struct {
    uint8_t byte;
    const char* status;
  } powers[] = {{3, "3"}, {1, "1"}, {0, "3"}, {4, "0"}, {2, "2"}, {255, "0"}, {3, "3"}, {2, "2"}};
  for (const auto& p : powers) {
    board.hal().set_power(p.byte);
    EXPECT_TRUE(Holds(After(2000), {{"gatewayCommon.powerStatus.0", p.status}})) << int(p.byte);
    EXPECT_EQ(readFile("/var/monitoring/powerstatus"), p.status) << int(p.byte);
    EXPECT_EQ(FromController(), Lines{"signal power"}) << int(p.byte);
  }
}

// Each timer's first run and period, seen through what its checks find:
// the background check (versions, temperature) at 1000 ms and then every
// 60000 ms, the power check every 2000 ms, the controller check every 5000 ms.
TEST_F(MonitoringTest, CheckTimersFirstRunAndPeriod) {
  After(0);  // what the agent's connection brought
  auto sent = [](const Lines& lines, const char* key) { return FakeAgent::values(lines).count(key) > 0; };
  EXPECT_TRUE(After(999).empty());
  // Each version file feeds its own item.
  Lines lines = After(1);
  EXPECT_TRUE(Holds(lines, {{"statusGeneral.sgBuildVersion.0", "nodalsrv-sim build 1\n"},
                            {"statusGeneral.sgBootVersion.0", "boot 1.1.4 (simulated)\n"},
                            {"statusGeneral.sgFPGAVersion.0", "fpga 3.2\n"},
                            {"statusGeneral.sgBoardVersion.0", "simulated board rev B\n"},
                            {"gatewayCommon.temperature.0", "41"}}));
  EXPECT_EQ(ctl->data().boot_version(), "boot 1.1.4 (simulated)\n");
  EXPECT_EQ(ctl->data().fpga_version(), "fpga 3.2\n");

  board.hal().set_power(3);  // 2000 ms
  EXPECT_FALSE(sent(After(999), "gatewayCommon.powerStatus.0"));
  EXPECT_TRUE(Holds(After(1), {{"gatewayCommon.powerStatus.0", "3"}}));
  board.hal().set_power(1);  // 4000 ms
  EXPECT_FALSE(sent(After(1999), "gatewayCommon.powerStatus.0"));
  EXPECT_TRUE(Holds(After(1), {{"gatewayCommon.powerStatus.0", "1"}}));

  EXPECT_FALSE(sent(After(999), "gatewayCommon.controllerStatus.0"));  // 5000 ms
  EXPECT_TRUE(Holds(After(1), {{"gatewayCommon.controllerStatus.0", "5"}}));
  mkdir((root.path() + "/proc/4321").c_str(), 0755);
  std::ofstream(root.path() + "/proc/4321/stat") << "4321 (controller) S 1";
  EXPECT_FALSE(sent(After(4999), "gatewayCommon.controllerStatus.0"));  // 10000 ms
  EXPECT_TRUE(Holds(After(1), {{"gatewayCommon.controllerStatus.0", "4"}}));

  SimBoard::StatusFiles::write("/var/version", "build 2\n");  // 61000 ms
  EXPECT_FALSE(sent(After(50999), "statusGeneral.sgBuildVersion.0"));
  EXPECT_TRUE(Holds(After(1), {{"statusGeneral.sgBuildVersion.0", "build 2\n"}}));
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
  const std::string own = DottedAddress(ctl->data().own_address());
  struct Case {
    std::function<void(LGCP::DisplayParams&)> fill;
    std::string file;  // empty: none
    const char* content;
    Values values;  // none: the lines below exactly
    Lines lines;
  } cases[] = {
      {[](LGCP::DisplayParams& d) {
         LGCP::BoardStatusParams& b = d.select_board().select_boardStatus();
         b.set_position(3);
         b.set_version({'v', '1'});
         b.set_status(LGCP::ExtBoardStatus::ready);
         b.set_type(LGCP::ExtBoardType::fxs);
       },
       "/var/monitoring/board3", "3\nv1\n2\n",
       {{"extBoardTable.extBoardStatus.3", "3"}, {"extBoardTable.extBoardType.3", "2"}}, {}},
      {[](LGCP::DisplayParams& d) {
         LGCP::EmPhoneStatusParams& p = d.select_emPhone().select_phoneStatus();
         p.set_panelSV({'p'});
         p.set_fpgaSV({'f'});
         p.set_powerStatus(LGCP::POWERStatus::both);
         p.set_baseStatus(LGCP::EmPhoneConnectionStatus::disconnected);
       },
       "/var/monitoring/emphone0", "p\n\nf\n0\n3\n0\n0\n2\n",
       {{"emPhoneTable.emPhonePanelSoftVer.1", "p"}, {"emPhoneTable.emPhoneBaseStatus.1", "2"}}, {}},
      {[](LGCP::DisplayParams& d) {
         LGCP::TermCounter& t = d.select_termCounter();
         t.set_owner(LGCP::TermCounterOwner::extBoard);
         t.set_ownerId(7);
         t.set_cnt(5);
       },
       "/var/monitoring/term_cnts/board7", "5", {{"extBoardTermCntTable.extBoardTermCnt.7", "5"}}, {}},
      // Any owner's counter queues all four counter groups; the agents read
      // the router's counter as unsigned 32 bits.
      {[](LGCP::DisplayParams& d) {
         LGCP::TermCounter& t = d.select_termCounter();
         t.set_owner(LGCP::TermCounterOwner::router);
         t.set_cnt(-4);
       },
       "/var/monitoring/term_cnts/router", "-4",
       {{"gatewayTermCounters.routerTermCnt.0", "4294967292"}, {"extBoardTermCntTable.extBoardTermCnt.7", "5"}},
       {}},
      // The controller's report for this board's own address is sent on
      // (as is any report, changed or not).
      {[&](LGCP::DisplayParams& d) {
         LGCP::ControllerInfo& c = d.select_controller();
         c.mutable_host().set_iaddr(own);
         c.set_status(HSP::ControllerStatus::active);
       },
       "/var/monitoring/controller/" + own + "/status", "2", {{"gatewayCommon.controllerStatus.0", "2"}}, {}},
      // A board's or phone's channel status is answered and changes nothing.
      {[](LGCP::DisplayParams& d) { d.select_board().select_boardChannelStatus().set_position(9); }, "", nullptr,
       {}, {}},
      {[](LGCP::DisplayParams& d) { d.select_emPhone().select_phoneChannelStatus().set_phoneId(9); }, "", nullptr,
       {}, {}},
      {[](LGCP::DisplayParams& d) {
         auto& list = d.select_snmpTrapReceivers();
         list.push_back(ASN1::IA5String("10.0.0.1"));
         list.push_back(ASN1::IA5String("10.0.0.2"));
       },
       "", nullptr, {}, {"trapsink 10.0.0.1,10.0.0.2"}},
      // Names from the wire that would leave the tree get no file, but the
      // agents still get the setting.
      {[](LGCP::DisplayParams& d) {
         auto& list = d.select_snmp_set().mutable_commands();
         for (const MON::SnmpSetCommand& c : {Setting(9, "net", "mask"), Setting(10, "..", "evil"),
                                              Setting(11, "net", "../../evil"), Setting(12, "", ".")})
           list.push_back(c);
       },
       "/var/monitoring/net/2/mask", "x", {}, {"set 9 net.mask.2=x|10 ...evil.2=x|11 net.../../evil.2=x|12 ...2=x"}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(Display(c.fill));
    if (!c.file.empty()) {
      EXPECT_EQ(readFile(c.file), c.content) << c.file;
    }
    Lines lines = After(0);
    if (c.values.empty())
      EXPECT_EQ(lines, c.lines);
    else
      EXPECT_TRUE(Holds(lines, c.values));
  }
  for (const char* outside : {"/var/2", "/var/monitoring/evil", "/var/monitoring/2", "/var/monitoring/board9"})
    EXPECT_FALSE(exists(outside)) << outside;
  EXPECT_EQ(ctl->data().boards().size(), 1u);
  EXPECT_EQ(ctl->data().phones().size(), 1u);

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
  Lines lines = After(1000);
  dup2(input, 0);
  ::close(input);
  EXPECT_TRUE(Holds(lines, {{"statusGeneral.sgBuildVersion.0", "nodalsrv-sim build 1\n"},
                            {"gatewayCommon.temperature.0", "41"},
                            {"gatewayCommon.gatewayConfigVersion.0", "26"},
                            {"e1Table.e1StatusDsc.1", "Synchronized"},
                            {"e1Table.e1Connected.1", "1"},
                            {"e1Table.e1SignalLoss.2", "1"},
                            {"e1Table.e1NegSlipCount.2", "-4"}}));
  EXPECT_EQ(readFile("/var/monitoring/config_version"), "0000001a-00000000000000ff");

  // Trunk status signals change framers 1 and 2; the change is published by
  // a full resend on the next turn, once for several signals.
  LGCP::Signal sig;
  ACP::TrunkStatus& status = sig.select_trunkStatus();
  status.set_state(ACP::TrunkState::lossCarrier);
  for (int trunk : {0, 1}) {
    status.set_trunk(trunk);
    ctl->OnSignal(sig);
  }
  lines = After(0);
  EXPECT_EQ(lines.size(), 2u);
  EXPECT_TRUE(Holds(lines, {{"e1Table.e1StatusDsc.1", "No Carrier"},
                            {"e1Table.e1Connected.1", "0"},
                            {"e1Table.e1StatusDsc.2", "No Carrier"},
                            {"e1Table.e1StatusDsc.3", "Synchronized"}}));
  ctl->OnSignal(sig);  // no change: no resend
  status.set_trunk(7);
  ctl->OnSignal(sig);
  EXPECT_TRUE(After(0).empty());
  // The BRI line channels 0..7 report under the same numbers every second:
  // they are no framers, and rounds of them change nothing.
  status.set_type(ACP::TrunkType::bri);
  for (int round = 0; round < 3; ++round) {
    for (int channel = 0; channel < 8; ++channel) {
      status.set_trunk(channel);
      status.set_state(channel % 2 ? ACP::TrunkState::normal : ACP::TrunkState::ais);
      ctl->OnSignal(sig);
    }
    EXPECT_TRUE(After(0).empty()) << round;
  }
}

// Version and status files that are no regular files (FIFOs without a
// writer here, which a plain open would wait for) are skipped as missing
// ones: the loop goes on, and the other files are read.
TEST_F(MonitoringTest, StatusFilesThatAreFifosAreSkipped) {
  After(0);  // the values sent on the agent's connection
  for (const char* path : {Paths::kBoardVersion, Paths::kTemperature, Paths::kVoiceDriverVersion,
                           "/proc/driver/hdlc/peb22554/1"}) {
    const std::string full = root.path() + path;
    ASSERT_EQ(0, unlink(full.c_str())) << path;
    ASSERT_EQ(0, mkfifo(full.c_str(), 0644)) << path;
  }
  Values values = FakeAgent::values(After(1000));
  EXPECT_EQ(values["statusGeneral.sgBuildVersion.0"], "nodalsrv-sim build 1\n");
  EXPECT_EQ(values["statusGeneral.sgFPGAVersion.0"], "fpga 3.2\n");
  EXPECT_EQ(values.count("statusGeneral.sgBoardVersion.0"), 0u);
  EXPECT_EQ(values.count("gatewayCommon.temperature.0"), 0u);
  EXPECT_EQ(values["e1Table.e1StatusDsc.1"], "Synchronized");
  EXPECT_EQ(values.count("e1Table.e1StatusDsc.2"), 0u);
  EXPECT_EQ(values["e1Table.e1StatusDsc.3"], "Synchronized");

  // A new agent connection gets every value but the driver's build.
  agent.close();
  rig.loop.turn(3);
  rig.clock.advance(10000);
  ASSERT_TRUE(Accept());
  values = FakeAgent::values(After(0));
  EXPECT_FALSE(values["gatewayCommon.softwareBuild.0"].empty());
  EXPECT_EQ(values["statusGeneral.sgBoardVersion.0"], "");
  EXPECT_EQ(values["e1Table.e1StatusDsc.2"], "absent");
  EXPECT_EQ(values.count("gatewayCommon.driverBuild.0"), 0u);
}

// A counter of any owner queues every stored counter of the four groups;
// each owner has its own file, and a counter without a file still counts.
TEST_F(MonitoringTest, TermCountersOfEveryOwner) {
  Connect();
  FromController();
  After(0);
  struct {
    LGCP::TermCounterOwner::NamedNumber owner;
    int ownerId;  // -1: none
    int cnt;
    const char* file;  // null: none
    Values queued;     // everything the display queues
  } counters[] = {
      {LGCP::TermCounterOwner::router, -1, 1, "/var/monitoring/term_cnts/router",
       {{"gatewayTermCounters.routerTermCnt.0", "1"}}},
      {LGCP::TermCounterOwner::controller, -1, 2, "/var/monitoring/term_cnts/controller",
       {{"gatewayTermCounters.routerTermCnt.0", "1"}, {"gatewayTermCounters.controllerTermCnt.0", "2"}}},
      {LGCP::TermCounterOwner::server, -1, 3, "/var/monitoring/term_cnts/server",
       {{"gatewayTermCounters.routerTermCnt.0", "1"}, {"gatewayTermCounters.controllerTermCnt.0", "2"},
        {"gatewayTermCounters.serverTermCnt.0", "3"}}},
      {LGCP::TermCounterOwner::extBoard, 7, 4, "/var/monitoring/term_cnts/board7",
       {{"gatewayTermCounters.routerTermCnt.0", "1"}, {"gatewayTermCounters.controllerTermCnt.0", "2"},
        {"gatewayTermCounters.serverTermCnt.0", "3"}, {"extBoardTermCntTable.extBoardTermCnt.7", "4"}}},
      {LGCP::TermCounterOwner::extBoard, -1, 5, nullptr,
       {{"gatewayTermCounters.routerTermCnt.0", "1"}, {"gatewayTermCounters.controllerTermCnt.0", "2"},
        {"gatewayTermCounters.serverTermCnt.0", "3"}, {"extBoardTermCntTable.extBoardTermCnt.7", "4"}}},
      {LGCP::TermCounterOwner::none, -1, 6, nullptr,
       {{"gatewayTermCounters.routerTermCnt.0", "1"}, {"gatewayTermCounters.controllerTermCnt.0", "2"},
        {"gatewayTermCounters.serverTermCnt.0", "3"}, {"extBoardTermCntTable.extBoardTermCnt.7", "4"}}},
      {LGCP::TermCounterOwner::controller, -1, 9, "/var/monitoring/term_cnts/controller",
       {{"gatewayTermCounters.routerTermCnt.0", "1"}, {"gatewayTermCounters.controllerTermCnt.0", "9"},
        {"gatewayTermCounters.serverTermCnt.0", "3"}, {"extBoardTermCntTable.extBoardTermCnt.7", "4"}}},
  };
  for (const auto& c : counters) {
    EXPECT_TRUE(Display([&](LGCP::DisplayParams& d) {
      LGCP::TermCounter& t = d.select_termCounter();
      t.set_owner(c.owner);
      if (c.ownerId >= 0)
        t.set_ownerId(c.ownerId);
      t.set_cnt(c.cnt);
    }));
    if (c.file) {
      EXPECT_EQ(readFile(c.file), std::to_string(c.cnt)) << c.file;
    }
    EXPECT_EQ(FakeAgent::values(After(0)), c.queued) << c.owner << " " << c.cnt;
  }
  EXPECT_FALSE(exists("/var/monitoring/term_cnts/board"));
  EXPECT_EQ(ctl->data().term_counters().size(), 6u);
}

// A phone's eight fields, each to its own line of the phone's file and its
// own item. Between the two records every two numeric fields differ at
// least once, so no two of them can trade places unseen.
TEST_F(MonitoringTest, PhoneRecordFieldByField) {
  Connect();
  FromController();
  After(0);
  struct {
    int id;
    LGCP::EmPhoneStatus::NamedNumber status;
    LGCP::POWERStatus::NamedNumber power;
    LGCP::EmPhoneMode::NamedNumber mode;
    LGCP::EmPhoneConnectionStatus::NamedNumber hook, base;
    const char* numbers;  // the file's last five lines
  } phones[] = {
      {4, LGCP::EmPhoneStatus::ready, LGCP::POWERStatus::both, LGCP::EmPhoneMode::active,
       LGCP::EmPhoneConnectionStatus::disconnected, LGCP::EmPhoneConnectionStatus::unknown, "2\n3\n1\n2\n0\n"},
      {0, LGCP::EmPhoneStatus::notConfigured, LGCP::POWERStatus::unknown, LGCP::EmPhoneMode::sleep,
       LGCP::EmPhoneConnectionStatus::unknown, LGCP::EmPhoneConnectionStatus::disconnected, "1\n0\n2\n0\n2\n"},
  };
  for (const auto& p : phones) {
    const std::string id = std::to_string(p.id);
    EXPECT_TRUE(Display([&](LGCP::DisplayParams& d) {
      LGCP::EmPhoneStatusParams& phone = d.select_emPhone().select_phoneStatus();
      phone.set_id(p.id);
      phone.set_panelSV({'p', id[0]});
      phone.set_ctrlSV({'c', id[0]});
      phone.set_fpgaSV({'f', id[0]});
      phone.set_status(p.status);
      phone.set_powerStatus(p.power);
      phone.set_mode(p.mode);
      phone.set_hookStatus(p.hook);
      phone.set_baseStatus(p.base);
    }));
    EXPECT_EQ(readFile("/var/monitoring/emphone" + id), "p" + id + "\nc" + id + "\nf" + id + "\n" + p.numbers);
    // Phone n is row n + 1 of the agents' table.
    const std::string row = "." + std::to_string(p.id + 1);
    const Values queued = {
        {"emPhoneTable.emPhonePanelSoftVer" + row, "p" + id}, {"emPhoneTable.emPhoneCtrlSoftVer" + row, "c" + id},
        {"emPhoneTable.emPhoneFpgaSoftVer" + row, "f" + id},  {"emPhoneTable.emPhoneStatus" + row, std::to_string(p.status)},
        {"emPhoneTable.emPhonePowerStatus" + row, std::to_string(p.power)},
        {"emPhoneTable.emPhoneMode" + row, std::to_string(p.mode)},
        {"emPhoneTable.emPhoneHookStatus" + row, std::to_string(p.hook)},
        {"emPhoneTable.emPhoneBaseStatus" + row, std::to_string(p.base)},
    };
    EXPECT_EQ(FakeAgent::values(After(0)), queued) << p.id;
  }
}

TEST_F(MonitoringTest, ControllerStatusWithoutAController) {
  std::string own = DottedAddress(ctl->data().own_address());
  EXPECT_TRUE(Holds(After(5000), {{"gatewayCommon.controllerStatus.0", "5"}}));
  EXPECT_EQ(readFile("/var/monitoring/controller/" + own + "/status"), "5");
  mkdir((root.path() + "/proc/4321").c_str(), 0755);
  std::ofstream(root.path() + "/proc/4321/stat") << "4321 (controller) S 1";
  EXPECT_TRUE(Holds(After(5000), {{"gatewayCommon.controllerStatus.0", "4"}}));
  EXPECT_EQ(readFile("/var/monitoring/controller/self/status"), "4");
  // A controller that has reported nothing for this board leaves it as it was.
  Connect();
  EXPECT_TRUE(After(5000).empty());
}

TEST_F(MonitoringTest, EveryAgentConnectionGetsEveryValue) {
  agent.close();
  rig.loop.turn(3);
  Connect();
  FromController();
  EXPECT_TRUE(Display([](LGCP::DisplayParams& d) { d.select_snmpTrapReceivers().push_back(ASN1::IA5String("h")); }));
  // A stored record of every kind: board, phone, a counter of each owner, a setting.
  EXPECT_TRUE(Display([](LGCP::DisplayParams& d) { d.select_board().select_boardStatus().set_position(3); }));
  EXPECT_TRUE(Display([](LGCP::DisplayParams& d) { d.select_emPhone().select_phoneStatus().set_id(0); }));
  for (auto owner : {LGCP::TermCounterOwner::extBoard, LGCP::TermCounterOwner::server,
                     LGCP::TermCounterOwner::controller, LGCP::TermCounterOwner::router}) {
    EXPECT_TRUE(Display([&](LGCP::DisplayParams& d) {
      LGCP::TermCounter& t = d.select_termCounter();
      t.set_owner(owner);
      t.set_ownerId(7);
    }));
  }
  EXPECT_TRUE(Display([](LGCP::DisplayParams& d) { d.select_snmp_set().mutable_commands().push_back(Setting(9, "net", "mask")); }));
  rig.clock.advance(10000);  // the link comes back
  ASSERT_TRUE(Accept());
  Lines lines = After(0);
  // The lists go at once, the two batches on the next turn.
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "trapsink h");
  EXPECT_EQ(lines[1], "set 9 net.mask.2=x");

  // Every value in the fixed order: the first batch has the items of both
  // agent kinds (mask 6) and those of kind 2, the second those of both and
  // of kind 4; uniq numbers run on across both.
  std::string want[2], keys[2];
  auto expect = [&](int mask, const char* group, std::vector<const char*> items, std::vector<int> indexes) {
    for (int index : indexes)
      for (const char* item : items)
        for (int batch : {0, 1})
          if (mask & (2 << batch))
            want[batch] += std::string(" ") + group + "." + item + "." + std::to_string(index);
  };
  expect(6, "gatewayCommon", {"driverBuild", "softwareBuild", "powerStatus", "controllerStatus", "gatewayDip",
                              "gatewayConfigVersion"}, {0});
  expect(2, "gatewayCommon", {"temperature"}, {0});
  expect(4, "statusGeneral", {"sgBuildVersion", "sgFPGAVersion", "sgBootVersion", "sgBoardVersion"}, {0});
  expect(2, "extBoardTable", {"extBoardStatus", "extBoardSoftVer", "extBoardType"}, {3});
  expect(2, "emPhoneTable", {"emPhonePanelSoftVer", "emPhoneCtrlSoftVer", "emPhoneFpgaSoftVer", "emPhoneStatus",
                             "emPhonePowerStatus", "emPhoneMode", "emPhoneHookStatus", "emPhoneBaseStatus"}, {1});
  expect(6, "gatewayTermCounters", {"routerTermCnt", "controllerTermCnt", "serverTermCnt"}, {0});
  expect(2, "extBoardTermCntTable", {"extBoardTermCnt"}, {7});
  expect(2, "e1Table", {"e1Connected", "e1StatusDsc", "e1SignalLoss", "e1FrameAlignLoss", "e1NegSlipCount",
                        "e1PosSlipCount"}, {1, 2, 3, 4});
  for (const NetIfDataHolder& netif : ctl->data().interfaces())
    expect(6, "ifTable", {"ifOperStatus", "ifAdminStatus", "ifDescr"}, {netif.ifindex()});
  std::vector<int> uniq;
  for (int batch : {0, 1}) {
    std::stringstream entries(lines[batch + 2].substr(4));
    for (std::string entry; std::getline(entries, entry, '|');) {
      uniq.push_back(std::stoi(entry));
      keys[batch] += " " + entry.substr(entry.find(' ') + 1, entry.find('=') - entry.find(' ') - 1);
    }
  }
  EXPECT_EQ(keys[0], want[0]);
  EXPECT_EQ(keys[1], want[1]);
  std::sort(uniq.begin(), uniq.end());
  EXPECT_EQ(uniq.back() - uniq.front() + 1, static_cast<int>(uniq.size()));
  EXPECT_EQ(std::unique(uniq.begin(), uniq.end()), uniq.end());
  EXPECT_TRUE(Holds(lines, {{"gatewayCommon.driverBuild.0", "2.6.1 [sim 2024-05-01]"}}));
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
