#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tests/monitoring/fake_agent.h"
#include "tests/support/sim_daemon.h"

using testing_support::TestController;

namespace {

using testing_support::exchange;
using testing_support::readFile;
using testing_support::SimDaemon;

void createTrunk(TestController& ctl, int seq, int slot, unsigned trunk, unsigned timeslot, bool bri = false) {
  ctl.command(seq, slot, [&](LGCP::Command& c) {
    LGCP::CreateParams& p = c.select_create();
    LGCP::TrunkParams& t = bri ? p.select_trunk_bri() : p.select_trunk();
    t.set_trunk(trunk);
    t.set_timeslot(timeslot);
  });
}

TEST(Daemon, ControllerSessionWithTrunkSlots) {
  SimDaemon d;
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));

  ctl.command(1, -1, [](LGCP::Command& c) { c.select_ping(); });
  EXPECT_EQ(exchange(ctl, 1), (std::vector<std::string>{"seq=1 success"}));

  ctl.command(2, -1, [](LGCP::Command& c) { c.select_query(); });
  EXPECT_EQ(exchange(ctl, 2), (std::vector<std::string>{"seq=2 success", "signal query"}));

  // trunk 2, time slot 5: channel 69, announced as transmitter and receiver.
  createTrunk(ctl, 3, 10, 2, 5);
  EXPECT_EQ(exchange(ctl, 3), (std::vector<std::string>{"seq=3 slot=10 success", "slot=10 signal transmitter active 69",
                                                        "slot=10 signal receiver active 69"}));
  createTrunk(ctl, 4, 11, 7, 3, true);  // BRI trunk 7, channel 3: switch channel 31
  EXPECT_EQ(exchange(ctl, 3), (std::vector<std::string>{"seq=4 slot=11 success", "slot=11 signal transmitter active 31",
                                                        "slot=11 signal receiver active 31"}));
  createTrunk(ctl, 5, 14, 3, 31);  // the last time slot of the last trunk: channel 3 * 32 + 31
  EXPECT_EQ(exchange(ctl, 3), (std::vector<std::string>{"seq=5 slot=14 success", "slot=14 signal transmitter active 127",
                                                        "slot=14 signal receiver active 127"}));
  createTrunk(ctl, 5, 12, 4, 0);  // no fifth E1 trunk
  createTrunk(ctl, 6, 12, 1, 4, true);  // no fifth BRI channel
  EXPECT_EQ(exchange(ctl, 2), (std::vector<std::string>{"seq=5 slot=12 error insufficientResources",
                                                        "seq=6 slot=12 error insufficientResources"}));

  // Connect slot 10 (source) to slot 11 (receiver): output 31 takes input 69.
  ctl.command(7, 10, [](LGCP::Command& c) { c.select_connect().setValue(11); });
  EXPECT_EQ(exchange(ctl, 1), (std::vector<std::string>{"seq=7 slot=10 success"}));
  EXPECT_TRUE(d.eventually("/sim/switch", "31 connected 69\n"));

  ctl.command(8, 11, [](LGCP::Command& c) { c.select_disconnect(); });
  EXPECT_EQ(exchange(ctl, 1), (std::vector<std::string>{"seq=8 slot=11 success"}));
  EXPECT_TRUE(d.eventually("/sim/switch", "31 disabled\n"));

  ctl.command(9, 10, [](LGCP::Command& c) { c.select_deactivate(); });
  EXPECT_EQ(exchange(ctl, 1), (std::vector<std::string>{"seq=9 slot=10 error unsupported"}));

  // A second slot on a busy time slot replaces the first.
  createTrunk(ctl, 10, 13, 2, 5);
  std::vector<std::string> replaced = exchange(ctl, 4);
  ASSERT_EQ(replaced.size(), 4u);
  EXPECT_EQ(replaced.front(), "seq=0 slot=10 success");  // the old slot's destruction
  EXPECT_EQ(replaced[1], "seq=10 slot=13 success");
  EXPECT_NE(d.err().find("trunk-slot: two slots require the same timeslot, remove old.\n old slot 10:trunk\n"),
            std::string::npos);

  ctl.command(11, 13, [](LGCP::Command& c) { c.select_destroy(); });
  // The completed destruction is reported, then the command answered.
  EXPECT_EQ(exchange(ctl, 2), (std::vector<std::string>{"seq=0 slot=13 success", "seq=11 slot=13 success"}));
  ctl.command(12, 10, [](LGCP::Command& c) { c.select_destroy(); });
  EXPECT_EQ(exchange(ctl, 1), (std::vector<std::string>{"seq=12 slot=10 error slotNotExists"}));

  // A payload that does not decode gets no answer; the connection stays.
  ASSERT_TRUE(ctl.send_payload(std::string("\xff\xff\xff", 3)));
  // A response from the controller is not expected.
  LGCP::Message response;
  response.set_seq(13);
  response.mutable_pdu().select_response().select_success();
  ASSERT_TRUE(ctl.send(response));
  EXPECT_EQ(exchange(ctl, 1), (std::vector<std::string>{"seq=13 error unexpectedMsgType"}));
  EXPECT_FALSE(ctl.closed());
}

TEST(Daemon, ControllerLossDestroysEverySlot) {
  SimDaemon d;
  {
    TestController ctl;
    ASSERT_TRUE(d.attach(ctl));
    createTrunk(ctl, 1, 5, 0, 1);
    createTrunk(ctl, 2, 6, 0, 2);
    ASSERT_EQ(exchange(ctl, 6).size(), 6u);
    ctl.command(3, 5, [](LGCP::Command& c) { c.select_connect().setValue(6); });
    ASSERT_EQ(exchange(ctl, 1), (std::vector<std::string>{"seq=3 slot=5 success"}));
    EXPECT_TRUE(d.eventually("/sim/switch", "2 connected 1\n"));
  }
  // The slots went with the controller: their numbers are free again.
  TestController again;
  ASSERT_TRUE(d.attach(again));
  createTrunk(again, 4, 5, 0, 1);
  std::vector<std::string> created = exchange(again, 3);
  ASSERT_FALSE(created.empty());
  EXPECT_EQ(created.front(), "seq=4 slot=5 success");
  EXPECT_TRUE(d.eventually("/sim/switch", "2 disabled\n"));
}

TEST(Daemon, StatusDumpAndOrderlyEnd) {
  SimDaemon d;
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));
  EXPECT_TRUE(d.eventually("/var/run/server.pid", std::to_string(d.pid)));
  kill(d.pid, SIGUSR2);
  EXPECT_TRUE(d.eventually("/var/log/server-status", "server status information.\nversion : "));
  EXPECT_TRUE(d.eventually("/var/log/server-status", "timer transition measurement (min/max/cur/counter): "));
  kill(d.pid, SIGHUP);  // a fresh resources report for the controller
  EXPECT_EQ(exchange(ctl, 1), (std::vector<std::string>{"signal query"}));
  kill(d.pid, SIGTERM);
  EXPECT_EQ(d.exit_status(), 0);
  EXPECT_EQ(readFile(d.root + "/sim/watchdog").substr(0, 6), "START\n");
  std::string wd = readFile(d.root + "/sim/watchdog");
  EXPECT_EQ(wd.substr(wd.size() - 5), "STOP\n");
  EXPECT_NE(d.out().find("Starting server ["), std::string::npos);
  struct stat st;
  EXPECT_NE(stat((d.root + "/var/run/server.pid").c_str(), &st), 0);  // removed at the end
}

// What both executables do before they need a board: the daemon itself
// and the simulator build of it.
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
      SimDaemon d(bad, "", program);
      EXPECT_EQ(d.exit_status(), 2) << bad.back();
      EXPECT_EQ(d.out().find("Usage:\n"), 0u) << bad.back();
    }
  }
}

// Waits (in real time) until the agent has received the item value,
// answering the link's pings meanwhile.
bool agentGets(monitoring_test::FakeAgent& agent, const std::string& key, const std::string& value) {
  for (int i = 0; i < testing_support::SimWait / 10; ++i) {
    agent.wait(1, 10);
    std::vector<std::string> lines = agent.drain();
    for (const std::string& line : lines)
      if (line == "ping")
        agent.answer_ping();
    auto values = monitoring_test::FakeAgent::values(lines);
    if (values.count(key) && values[key] == value)
      return true;
  }
  return false;
}

TEST(Daemon, MonitoringFilesAndAgentLink) {
  monitoring_test::FakeAgent agent;
  SimDaemon d({}, "[snmpagent]\nhost=" + agent.host() + "\nname=corv\n");
  ASSERT_TRUE(agent.accept(testing_support::SimWait));
  EXPECT_TRUE(agentGets(agent, "gatewayCommon.driverBuild.0", "2.6.1 [sim 2024-05-01]"));
  EXPECT_TRUE(agentGets(agent, "e1Table.e1StatusDsc.3", "Synchronized"));  // the framer files, read at 1 s

  // Every controller connection gets the power status, beside the trunks'.
  TestController ctl;
  ASSERT_TRUE(d.attach(ctl));
  ctl.wait(5, 2000);
  std::vector<std::string> first = ctl.drain();
  // (two when the connection comes before the first power check)
  EXPECT_GE(std::count(first.begin(), first.end(), "signal power"), 1) << testing::PrintToString(first);
  EXPECT_TRUE(d.eventually("/var/monitoring/powerstatus", "2"));

  // A trunk losing its carrier reaches the framer file and, through the
  // trunk status signal, the agent.
  std::ofstream(d.root + "/sim/control") << "trunk 2 2\npower 1\n";
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
  EXPECT_EQ(exchange(ctl, 2), (std::vector<std::string>{"seq=1 success", "seq=2 success"}));
  EXPECT_TRUE(d.eventually("/var/monitoring/board1", "2\nx2\n1\n"));
  EXPECT_TRUE(agentGets(agent, "extBoardTable.extBoardSoftVer.1", "x2"));
  EXPECT_TRUE(agentGets(agent, "...escaped.0", "x"));
  struct stat st;
  EXPECT_NE(stat((d.root + "/var/0/escaped").c_str(), &st), 0);
  EXPECT_NE(d.err().find("is not a plain file name: no file written"), std::string::npos);
}

}  // namespace
