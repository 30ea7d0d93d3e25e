#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/test_controller.h"

using testing_support::TestController;

namespace {

const int Wait = 10000;  // real ms the daemon gets for any one step

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int freePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

// One nodalsrv-sim process with its own root directory.
class Daemon {
public:
  explicit Daemon(std::vector<std::string> args = {}) {
    char tmpl[] = "/tmp/nodalsrv-e2e-XXXXXX";
    root = mkdtemp(tmpl);
    port = freePort();
    if (args.empty())
      args = {"--port", std::to_string(port)};
    pid = fork();
    if (pid == 0) {
      setenv("NODALSRV_SIM_ROOT", root.c_str(), 1);
      int out = open((root + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open((root + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> argv{const_cast<char*>(NODALSRV_SIM)};
      for (std::string& a : args)
        argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execv(NODALSRV_SIM, argv.data());
      _exit(127);
    }
  }
  ~Daemon() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (getenv("KEEP_E2E")) return;
    std::system(("rm -rf " + root + " " + root + ".out " + root + ".err").c_str());
  }

  // Exit status once the process has ended by itself.
  int exit_status() {
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Connects a controller and waits until the daemon serves it (its first
  // trunk status arrives); retries while the daemon starts up or still
  // tears down a previous controller (it closes such a connection at once).
  bool attach(TestController& ctl) {
    for (int i = 0; i < Wait / 10; ++i) {
      ctl.close();
      if (ctl.connect(static_cast<unsigned short>(port)) && ctl.wait(1, 3000))
        return true;
      usleep(10000);
    }
    return false;
  }

  // Waits (in real time) until the file holds the text.
  bool eventually(const std::string& file, const std::string& text) {
    for (int i = 0; i < Wait / 10; ++i) {
      if (readFile(root + file).find(text) != std::string::npos)
        return true;
      usleep(10000);
    }
    return false;
  }

  std::string out() const { return readFile(root + ".out"); }
  std::string err() const { return readFile(root + ".err"); }

  std::string root;
  int port = 0;
  pid_t pid = -1;
};

// Collects n replies, leaving out the trunk status the E1 service sends on
// its own every second.
std::vector<std::string> exchange(TestController& ctl, size_t n) {
  std::vector<std::string> lines;
  for (int i = 0; i < Wait / 10 && lines.size() < n; ++i) {
    ctl.wait(1, 10);
    for (std::string& line : ctl.drain())
      if (line != "signal trunkStatus")
        lines.push_back(line);
  }
  return lines;
}

void createTrunk(TestController& ctl, int seq, int slot, unsigned trunk, unsigned timeslot, bool bri = false) {
  ctl.command(seq, slot, [&](LGCP::Command& c) {
    LGCP::CreateParams& p = c.select_create();
    LGCP::TrunkParams& t = bri ? p.select_trunk_bri() : p.select_trunk();
    t.set_trunk(trunk);
    t.set_timeslot(timeslot);
  });
}

TEST(Daemon, ControllerSessionWithTrunkSlots) {
  Daemon d;
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
  Daemon d;
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
  Daemon d;
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

TEST(Daemon, CommandLine) {
  {
    Daemon d({"--version"});
    EXPECT_EQ(d.exit_status(), 2);
    EXPECT_EQ(d.out().find("server version: "), 0u);
    struct stat st;
    EXPECT_NE(stat((d.root + "/var/run/server.pid").c_str(), &st), 0);
  }
  {
    Daemon d({"--port", "5000", "--help"});
    EXPECT_EQ(d.exit_status(), 0);
    EXPECT_EQ(d.out().find("Usage:\n nodalsrv -Dh\n"), 0u);
  }
  for (std::vector<std::string> bad : {std::vector<std::string>{"-p", "5000"}, {"--port", "abc"},
                                       {"--port", "70000"}, {"--port", "12x"}, {"--bogus"}}) {
    Daemon d(bad);
    EXPECT_EQ(d.exit_status(), 2) << bad[0];
    EXPECT_EQ(d.out().find("Usage:\n"), 0u) << bad[0];
  }
}

}  // namespace
