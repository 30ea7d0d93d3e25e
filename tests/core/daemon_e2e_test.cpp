#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "messages/ACP/ACP.h"
#include "tests/monitoring/fake_agent.h"
#include "tests/support/sim_daemon.h"

using testing_support::TestController;

namespace {

using testing_support::exchange;
using testing_support::readFile;
using testing_support::SimDaemon;
using Lines = std::vector<std::string>;

void createTrunk(TestController& ctl, int seq, int slot, unsigned trunk, unsigned timeslot, bool bri = false) {
  ctl.command(seq, slot, [&](LGCP::Command& c) {
    LGCP::CreateParams& p = c.select_create();
    LGCP::TrunkParams& t = bri ? p.select_trunk_bri() : p.select_trunk();
    t.set_trunk(trunk);
    t.set_timeslot(timeslot);
  });
}

// One controller's session with trunk slots, its loss, a second controller,
// the daemon's signals and its orderly end.
TEST(Daemon, ControllerSessionsSignalsAndOrderlyEnd) {
  SimDaemon d;
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));
  EXPECT_TRUE(d.eventually("/var/run/server.pid", std::to_string(d.pid)));
  ctl.command(1, -1, [](LGCP::Command& c) { c.select_query(); });
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=1 success", "signal query"}));

  // E1 trunk t, time slot s: channel 32 t + s (the last time slot of the last
  // trunk: 127); BRI trunk 7, channel 3: switch channel 31. There is no fifth
  // E1 trunk nor fifth BRI channel.
  struct {
    int slot;
    unsigned trunk, timeslot;
    bool bri;
    int channel;  // -1: refused
  } const trunks[] = {{10, 2, 5, false, 69}, {11, 7, 3, true, 31}, {14, 3, 31, false, 127},
                      {12, 4, 0, false, -1}, {12, 1, 4, true, -1}};
  int seq = 2;
  for (const auto& t : trunks) {
    createTrunk(ctl, seq, t.slot, t.trunk, t.timeslot, t.bri);
    const std::string answer = "seq=" + std::to_string(seq++) + " slot=" + std::to_string(t.slot);
    const std::string sig = "slot=" + std::to_string(t.slot) + " signal ", active = " active " + std::to_string(t.channel);
    EXPECT_EQ(exchange(ctl, t.channel < 0 ? 1 : 3),
              t.channel < 0 ? Lines{answer + " error insufficientResources"}
                            : (Lines{answer + " success", sig + "transmitter" + active, sig + "receiver" + active}));
  }

  // Three kinds of slot have no factory: each create is refused.
  ctl.command(20, 15, [](LGCP::Command& c) { c.select_create().select_rtpOnMixer(); });
  ctl.command(21, 15, [](LGCP::Command& c) { c.select_create().select_spi_tdm(); });
  ctl.command(22, 15, [](LGCP::Command& c) { c.select_create().select_usb_tdm(); });
  EXPECT_EQ(exchange(ctl, 3), (Lines{"seq=20 slot=15 error insufficientResources",
                                     "seq=21 slot=15 error insufficientResources",
                                     "seq=22 slot=15 error insufficientResources"}));

  // Slot 10 (source) to slot 11 (receiver): output 31 takes input 69.
  ctl.command(7, 10, [](LGCP::Command& c) { c.select_connect().setValue(11); });
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=7 slot=10 success"}));
  EXPECT_TRUE(d.shows("/sim/switch", "31 connected 69\n"));
  ctl.command(8, 11, [](LGCP::Command& c) { c.select_disconnect(); });
  ctl.command(9, 10, [](LGCP::Command& c) { c.select_deactivate(); });
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=8 slot=11 success", "seq=9 slot=10 error unsupported"}));
  EXPECT_TRUE(d.shows("/sim/switch", "31 constant 213\n"));  // a freed output carries the idle byte

  // A second slot on a busy time slot replaces the first, whose destruction
  // is reported first.
  createTrunk(ctl, 10, 13, 2, 5);
  Lines replaced = exchange(ctl, 4);
  ASSERT_EQ(replaced.size(), 4u);
  EXPECT_EQ(replaced[0], "seq=0 slot=10 success");
  EXPECT_EQ(replaced[1], "seq=10 slot=13 success");
  ctl.command(11, 13, [](LGCP::Command& c) { c.select_destroy(); });
  ctl.command(12, 10, [](LGCP::Command& c) { c.select_destroy(); });
  EXPECT_EQ(exchange(ctl, 3),
            (Lines{"seq=0 slot=13 success", "seq=11 slot=13 success", "seq=12 slot=10 error slotNotExists"}));

  // The slots go with the controller: their numbers and outputs are free
  // for the next one.
  ctl.command(13, 11, [](LGCP::Command& c) { c.select_connect().setValue(14); });
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=13 slot=11 success"}));
  EXPECT_TRUE(d.shows("/sim/switch", "127 connected 31\n"));
  ASSERT_TRUE(d.attach(ctl));
  createTrunk(ctl, 14, 14, 3, 31);
  EXPECT_EQ(exchange(ctl, 3), (Lines{"seq=14 slot=14 success", "slot=14 signal transmitter active 127",
                                     "slot=14 signal receiver active 127"}));
  EXPECT_TRUE(d.shows("/sim/switch", "127 constant 213\n"));
  // Only the replacement above found its time slot taken.
  std::string err = d.err();
  EXPECT_EQ(err.find("two slots require"), err.rfind("two slots require"));

  kill(d.pid, SIGUSR2);
  EXPECT_TRUE(d.eventually("/var/log/server-status", "server status information.\nversion : "));
  EXPECT_TRUE(d.eventually("/var/log/server-status", "timer transition measurement (min/max/cur/counter): "));
  kill(d.pid, SIGHUP);  // a fresh resources report for the controller
  EXPECT_EQ(exchange(ctl, 1), (Lines{"signal query"}));
  kill(d.pid, SIGTERM);
  EXPECT_EQ(d.exit_status(), 0);
  std::string wd = SimBoard::read_lines(d.root + "/sim/watchdog");
  EXPECT_EQ(wd.substr(0, 6), "START\n");
  EXPECT_EQ(wd.substr(wd.size() - 5), "STOP\n");
  EXPECT_NE(d.out().find("Starting server ["), std::string::npos);
  struct stat st;
  EXPECT_NE(stat((d.root + "/var/run/server.pid").c_str(), &st), 0);  // removed at the end
}

// The board's files are only ever appended to while the daemon runs: the
// same file throughout, the bytes already there left as they were, a
// watchdog ping one "PING" line more and a switch change one snapshot more
// (each ended by an empty line).
TEST(Daemon, BoardFilesAreAppendedTo) {
  SimDaemon d;
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));
  const std::string wdPath = d.root + "/sim/watchdog", swPath = d.root + "/sim/switch";
  ASSERT_TRUE(d.logged("/sim/watchdog", "START\nPING\n"));
  ASSERT_TRUE(d.shows("/sim/switch", "8192 disabled\n"));  // the outputs swept when the switch opened
  struct stat wd0, sw0, wd1, sw1;
  ASSERT_EQ(stat(wdPath.c_str(), &wd0), 0);
  ASSERT_EQ(stat(swPath.c_str(), &sw0), 0);
  const std::string wd = SimBoard::read_lines(wdPath), sw = SimBoard::read_lines(swPath);

  createTrunk(ctl, 1, 10, 2, 5);
  createTrunk(ctl, 2, 11, 7, 3, true);
  EXPECT_EQ(exchange(ctl, 6).size(), 6u);
  ctl.command(3, 10, [](LGCP::Command& c) { c.select_connect().setValue(11); });
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=3 slot=10 success"}));
  EXPECT_TRUE(d.shows("/sim/switch", "31 connected 69\n"));
  EXPECT_TRUE(d.logged("/sim/watchdog", wd + "PING\nPING\n"));

  ASSERT_EQ(stat(wdPath.c_str(), &wd1), 0);
  ASSERT_EQ(stat(swPath.c_str(), &sw1), 0);
  EXPECT_EQ(wd1.st_ino, wd0.st_ino);
  EXPECT_EQ(sw1.st_ino, sw0.st_ino);
  const std::string wdNow = readFile(wdPath), swNow = readFile(swPath);
  ASSERT_GT(wdNow.size(), wd.size());
  EXPECT_EQ(wdNow.substr(0, wd.size()), wd);
  std::string pings;
  while (pings.size() < wdNow.size() - wd.size())
    pings += "PING\n";
  EXPECT_EQ(wdNow.substr(wd.size()), pings);
  ASSERT_GT(swNow.size(), sw.size());
  EXPECT_EQ(swNow.substr(0, sw.size()), sw);
  EXPECT_EQ(swNow.substr(swNow.size() - 2), "\n\n");
  EXPECT_EQ(stat((wdPath + ".old").c_str(), &wd1), -1);  // nothing rotated yet
}

// What both executables do before they need a board: the daemon itself
// and the simulator build of it.
// The daemon itself runs on the machine's own paths, so no option set here
// may let it reach start-up: each ends in the option parsing (usage,
// --help) or, for the refused ones, has --version before it, which ends
// the run before start-up should the option be wrongly accepted.
TEST(Daemon, CommandLine) {
  for (const char* program : {NODALSRV, NODALSRV_SIM}) {
    SCOPED_TRACE(program);
    {
      SimDaemon d({"--disable-clock", "--version"}, "", program);
      EXPECT_EQ(d.exit_status(), 2);
      EXPECT_EQ(d.out().find("server version: "), 0u);
      EXPECT_NE(d.err().find("clkctl: clock control disabled.\n"), std::string::npos);
      struct stat st;
      EXPECT_NE(stat((d.root + "/var/run/server.pid").c_str(), &st), 0);
    }
    {
      SimDaemon d({"--port", "5000", "--help"}, "", program);
      EXPECT_EQ(d.exit_status(), 0);
      EXPECT_EQ(d.out(), "Usage:\n"
                         " nodalsrv -Dh\n"
                         "  -D --daemon                      run as daemon\n"
                         "  -p --port                        use this port\n"
                         "     --disable-clock               disable clock control\n"
                         "     --version                     print version\n"
                         "  -h --help                        display this information\n\n");
    }
    for (std::vector<std::string> bad :
         {std::vector<std::string>{"-p", "5000"}, {"--port", "abc"}, {"--port", "70000"}, {"--port", "65536"},
          {"--port", "0"}, {"--port", " 5000"}, {"--port", "+5000"}, {"--port", "12x"}, {"--port"}, {"--bogus"}}) {
      bad.insert(bad.begin(), "--version");
      SimDaemon d(bad, "", program);
      EXPECT_EQ(d.exit_status(), 2) << bad.back();
      EXPECT_EQ(d.out().find("Usage:\n"), 0u) << bad.back();
    }
  }
}

// A configuration file that cannot be read (a directory; a FIFO without a
// writer, whose plain open would wait for ever before the signal handlers
// are set) is taken as an empty one: the daemon logs it, starts and serves.
TEST(Daemon, UnreadableConfigurationIsTakenAsEmpty) {
  struct {
    const char* make;
    const char* reason;
  } const kinds[] = {{"mkdir -p ", "Is a directory"}, {"mkfifo ", "No such device or address"}};
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.make);
    SimDaemon d({}, "", NODALSRV_SIM, [&](const std::string& root) {
      std::system(("mkdir -p " + root + "/usr/local/etc && " + kind.make + root + "/usr/local/etc/server.conf").c_str());
    });
    TestController ctl;
    ASSERT_TRUE(d.attach(ctl));
    ctl.command(1, -1, [](LGCP::Command& c) { c.select_ping(); });
    EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=1 success"}));
    const std::string line =
        "IniFile: error reading \"" + d.root + "/usr/local/etc/server.conf\": " + kind.reason + "\n";
    EXPECT_NE(d.err().find(line), std::string::npos) << d.err();
  }
}

// A pid file and a status dump file that are FIFOs (without a reader, a
// plain open for writing would wait for one) are write failures: the pid
// file's silent one, and the dump's log line. The daemon serves on, and the
// FIFOs stay.
TEST(Daemon, PidAndStatusFilesThatAreFifosAreFailures) {
  SimDaemon d({}, "", NODALSRV_SIM, [](const std::string& root) {
    std::system(("mkdir -p " + root + "/var/run " + root + "/var/log && mkfifo " + root + "/var/run/server.pid " +
                 root + "/var/log/server-status").c_str());
  });
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));
  ctl.command(1, -1, [](LGCP::Command& c) { c.select_ping(); });
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=1 success"}));
  kill(d.pid, SIGUSR2);
  EXPECT_TRUE(d.eventually(".err", "dump status error\n")) << d.err();  // the standard error, beside the root
  ctl.command(2, -1, [](LGCP::Command& c) { c.select_ping(); });
  EXPECT_EQ(exchange(ctl, 1), (Lines{"seq=2 success"}));
  kill(d.pid, SIGTERM);
  EXPECT_EQ(d.exit_status(), 0);
  for (const char* path : {"/var/run/server.pid", "/var/log/server-status"}) {
    struct stat st;
    EXPECT_TRUE(stat((d.root + path).c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) << path;
  }
}

// A relative root lies in the working directory, and nothing else is made
// there: the default one, and one a few levels down.
TEST(Daemon, SimulatorRootRelativeToTheWorkingDirectory) {
  testing_support::ScratchDir dir("relative-root");
  for (const char* root : {"", "a/b/root"}) {
    SCOPED_TRACE(root);
    std::string env = *root ? std::string("NODALSRV_SIM_ROOT=") + root : "-u NODALSRV_SIM_ROOT";
    ASSERT_EQ(std::system(("cd " + dir.path() + " && env " + env + " " + NODALSRV_SIM +
                           " --version >/dev/null 2>&1; test $? -eq 2").c_str()),
              0);
    std::string made = *root ? root : "nodalsrv-sim-root";
    struct stat st;
    EXPECT_EQ(stat((dir.path() + "/" + made + "/sim").c_str(), &st), 0);
    EXPECT_EQ(testing_support::command_output("ls -A " + dir.path()), made.substr(0, made.find('/')) + "\n");
    std::system(("rm -rf " + dir.path() + "/*").c_str());
  }
}

// Waits (in real time) until the agent has received each item value,
// answering the link's pings meanwhile.
bool agentGets(monitoring_test::FakeAgent& agent, std::map<std::string, std::string> items) {
  for (int i = 0; i < testing_support::SimWait / 10 && !items.empty(); ++i) {
    agent.wait(1, 10);
    std::vector<std::string> lines = agent.drain();
    for (const std::string& line : lines)
      if (line == "ping")
        agent.answer_ping();
    for (const auto& value : monitoring_test::FakeAgent::values(lines))
      if (items.count(value.first) && items[value.first] == value.second)
        items.erase(value.first);
  }
  return items.empty();
}

bool agentGets(monitoring_test::FakeAgent& agent, const std::string& key, const std::string& value) {
  return agentGets(agent, std::map<std::string, std::string>{{key, value}});
}

// Reads the controller's messages until `rounds` polls of the eight BRI
// line channels have been reported, answering the agent's pings; what the
// agent received meanwhile. `controller` gets the controller's other lines.
Lines agentOverBriRounds(TestController& ctl, monitoring_test::FakeAgent& agent, int rounds, Lines& controller) {
  Lines received;
  int bri = 0;
  for (int i = 0; i < testing_support::SimWait / 10 && bri < 8 * rounds; ++i) {
    ctl.wait(1, 10);
    ctl.poll();
    for (const std::string& payload : ctl.payloads()) {
      LGCP::Message msg;
      bool decoded = TestController::decode(payload, msg);
      const LGCP::PDU& pdu = msg.get_pdu();
      if (decoded && pdu.is_signal() && pdu.get_signal().is_trunkStatus()) {
        bri += pdu.get_signal().get_trunkStatus().get_type().getValue() == ACP::TrunkType::bri;
        continue;
      }
      controller.push_back(decoded ? TestController::describe(msg) : "undecodable");
    }
    ctl.payloads().clear();
    for (const std::string& line : agent.drain())
      line == "ping" ? static_cast<void>(agent.answer_ping()) : received.push_back(line);
  }
  EXPECT_GE(bri, 8 * rounds);
  return received;
}

TEST(Daemon, MonitoringFilesAndAgentLink) {
  monitoring_test::FakeAgent agent;
  SimDaemon d({}, "[snmpagent]\nhost=" + agent.host() + "\nname=corv\n");
  ASSERT_TRUE(agent.accept(testing_support::SimWait));
  EXPECT_TRUE(agentGets(agent, "e1Table.e1StatusDsc.3", "Synchronized"));  // the framer files, read at 1 s
  EXPECT_TRUE(d.eventually("/var/monitoring/powerstatus", "2"));  // and the power, at 2 s
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));

  // Every controller connection gets the power status, also when it has
  // not changed since the last check. The BRI line
  // channels report every second under trunk numbers 0..7 (all without
  // carrier on this board): the E1 framers, all in sync, stay as they are.
  Lines controller;
  Lines agentLines = agentOverBriRounds(ctl, agent, 3, controller);
  EXPECT_NE(std::find(controller.begin(), controller.end(), "signal power"), controller.end())
      << testing::PrintToString(controller);
  for (const auto& item : monitoring_test::FakeAgent::values(agentLines))
    EXPECT_NE(item.first.compare(0, 8, "e1Table."), 0) << item.first << "=" << item.second;

  // A trunk losing its carrier reaches the framer file and, through the
  // trunk status signal, the agent; a new power state reaches its file.
  d.control("trunk 2 2\npower 1\n");
  EXPECT_TRUE(d.eventually("/proc/driver/hdlc/peb22554/2", "Current state           : No Carrier"));
  EXPECT_TRUE(agentGets(agent, "e1Table.e1StatusDsc.3", "No Carrier"));
  EXPECT_TRUE(d.eventually("/var/monitoring/powerstatus", "1"));

  // What the controller displays goes to the files and the agent; a
  // setting whose name leaves the tree is sent on but written nowhere.
  ctl.command(1, -1, [](LGCP::Command& c) {
    LGCP::BoardStatusParams& b = c.select_display().select_board().select_boardStatus();
    b.set_position(1);
    b.set_version({'x', '2'});
    b.set_status(LGCP::ExtBoardStatus::waitBoard);
    b.set_type(LGCP::ExtBoardType::isdn);
  });
  ctl.command(2, -1, [](LGCP::Command& c) {
    MON::SnmpSetCommand s;
    s.set_uniq(5);
    MON::IniName& name = s.mutable_id().select_name();
    name.set_section("..");
    name.set_name("escaped");
    name.set_index(0);
    s.set_value("x");
    c.select_display().select_snmp_set().mutable_commands().push_back(s);
  });
  EXPECT_EQ(exchange(ctl, 2), (Lines{"seq=1 success", "seq=2 success"}));
  EXPECT_TRUE(d.eventually("/var/monitoring/board1", "2\nx2\n1\n"));
  EXPECT_TRUE(agentGets(agent, {{"extBoardTable.extBoardSoftVer.1", "x2"}, {"...escaped.0", "x"}}));
  struct stat st;
  EXPECT_NE(stat((d.root + "/var/0/escaped").c_str(), &st), 0);
  EXPECT_NE(d.err().find("is not a plain file name: no file written"), std::string::npos);
}

}  // namespace
