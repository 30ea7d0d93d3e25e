// Whole traps read by independent SNMP implementations: tshark's dissector
// and a running snmptrapd.
#include "monitoring/snmp_trap.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/fd.h"
#include "tests/support/external_tools.h"

namespace {

using namespace testing_support;

const std::string kLongText(130, 'x');  // a length in the 0x81 form

// sysUpTime.0, snmpTrapOID.0, then one binding of each SNMPv2 value type.
std::string build_trap() {
  static trap_context ctx;
  snmp_session_seed(&ctx, 0);
  trap_init(&ctx, "public");
  EXPECT_EQ(0, trap_pack_begin(&ctx));
  const uint32_t uptime_oid[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
  const uint32_t trap_oid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
  const uint32_t trap_value[] = {1, 3, 6, 1, 4, 1, 99999, 0, 1};
  const uint32_t uptime = 12345, counter = 0xFFFFFFFFu, gauge = 0x80, ticks = 0x80000000u;
  const int32_t minus_one = -1;
  const unsigned char ip[] = {192, 168, 1, 20};
  uint32_t item[] = {1, 3, 6, 1, 4, 1, 99999, 1, 0};
  EXPECT_EQ(0, trap_pack_add(&ctx, uptime_oid, 9, ASN_TIMETICKS, &uptime, 4));
  EXPECT_EQ(0, trap_pack_add(&ctx, trap_oid, 11, ASN_OBJECT_ID, trap_value, sizeof trap_value));
  auto add = [&](uint8_t tag, const void* value, uint32_t length) {
    ++item[8];
    EXPECT_EQ(0, trap_pack_add(&ctx, item, 9, tag, value, length));
  };
  add(ASN_INTEGER, &minus_one, 4);
  add(ASN_OCTET_STR, "board ok", 8);
  add(ASN_COUNTER, &counter, 4);
  add(ASN_IPADDRESS, ip, 4);
  add(ASN_GAUGE, &gauge, 4);
  add(ASN_TIMETICKS, &ticks, 4);
  add(ASN_NULL, nullptr, 0);
  add(ASN_OCTET_STR, kLongText.data(), static_cast<uint32_t>(kLongText.size()));
  add(ASN_OPAQUE, "\x01\x02", 2);
  EXPECT_EQ(0, trap_pack_end(&ctx));
  return std::string(reinterpret_cast<const char*>(ctx.buffer), ctx.packed_length);
}

TEST(SnmpTrapPeers, TsharkDecodesTheTrap) {
  if (!have_program("tshark") || !have_program("text2pcap"))
    GTEST_SKIP() << "tshark or text2pcap is not installed";
  const std::string trap = build_trap();
  ScratchDir dir("snmp-trap");
  const std::string& base = dir.path();
  std::ofstream(base + "/trap.txt") << text2pcap_input(trap, trap.size());
  const std::string seen = command_output(
      "text2pcap -q -u 40000,162 " + base + "/trap.txt " + base + "/trap.pcap >/dev/null 2>&1 && tshark -r " + base +
      "/trap.pcap -T fields -E separator='|' -e snmp.community -e snmp.data -e snmp.request_id -e snmp.name " +
      "-e _ws.malformed -e _ws.expert 2>/dev/null");
  std::string names = "1.3.6.1.2.1.1.3.0,1.3.6.1.6.3.1.1.4.1.0";
  for (int i = 1; i <= 9; ++i)
    names += ",1.3.6.1.4.1.99999.1." + std::to_string(i);
  // version 2c trap (PDU 7), the id after seed 0, no malformed or expert item
  EXPECT_EQ("public|7|991873|" + names + "||\n", seen);
}

// snmptrapd in the foreground on a free loopback port, authorization off,
// every file it keeps under a temporary directory, its log on a pipe.
class TrapDaemon {
public:
  ~TrapDaemon() { stop_process(); }

  bool start() {
    std::ofstream(dir_.path() + "/snmptrapd.conf") << "disableAuthorization yes\n";
    for (int attempt = 0; attempt < 5; ++attempt) {
      port_ = free_port();
      if (port_ > 0 && spawn() && !wait_for("NET-SNMP version", 20000).empty())
        return true;
      stop_process();
    }
    return false;
  }

  unsigned short port() const { return port_; }

  // The first logged line that contains `text`, or "" when none came in time.
  std::string wait_for(const std::string& text, int timeout_ms) {
    for (int waited = 0; waited <= timeout_ms; waited += 100) {
      size_t end;
      while ((end = log_.find('\n')) != std::string::npos) {
        std::string line = log_.substr(0, end);
        log_.erase(0, end + 1);
        if (line.find(text) != std::string::npos)
          return line;
      }
      pollfd p = {out_.get(), POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        char buf[4096];
        ssize_t n = read(out_.get(), buf, sizeof buf);
        if (n <= 0)
          return "";  // the daemon ended
        log_.append(buf, static_cast<size_t>(n));
      }
    }
    return "";
  }

private:
  static unsigned short free_port() {
    Fd s(socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(s.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return 0;
    return ntohs(a.sin_port);
  }

  bool spawn() {
    int fds[2];
    if (pipe(fds) != 0)
      return false;
    const std::string conf = dir_.path() + "/snmptrapd.conf";
    const std::string listen = "udp:127.0.0.1:" + std::to_string(port_);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 1);
      dup2(fds[1], 2);
      close(fds[0]);
      close(fds[1]);
      setenv("SNMP_PERSISTENT_DIR", (dir_.path() + "/persist").c_str(), 1);
      setenv("SNMPCONFPATH", dir_.path().c_str(), 1);
      // Numeric OIDs, no MIBs; one line per trap: community, then the bindings.
      execlp("snmptrapd", "snmptrapd", "-f", "-Lo", "-C", "-c", conf.c_str(), "-n", "-On", "-M", "/nonexistent",
             "-m", "", "-F", "%P|%V|%v\n", listen.c_str(), static_cast<char*>(nullptr));
      execl("/usr/sbin/snmptrapd", "snmptrapd", "-f", "-Lo", "-C", "-c", conf.c_str(), "-n", "-On", "-M",
            "/nonexistent", "-m", "", "-F", "%P|%V|%v\n", listen.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    out_.reset(fds[0]);
    return pid_ > 0;
  }

  void stop_process() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    out_.close();
    log_.clear();
  }

  ScratchDir dir_{"snmptrapd"};
  unsigned short port_ = 0;
  pid_t pid_ = -1;
  Fd out_;
  std::string log_;
};

TEST(SnmpTrapPeers, SnmptrapdLogsTheBindings) {
  if (!have_program("snmptrapd") && access("/usr/sbin/snmptrapd", X_OK) != 0)
    GTEST_SKIP() << "snmptrapd is not installed";
  TrapDaemon daemon;
  ASSERT_TRUE(daemon.start()) << "snmptrapd did not start";

  const std::string trap = build_trap();
  Fd s(socket(AF_INET, SOCK_DGRAM, 0));
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(daemon.port());
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // The daemon may still be settling: send again until it logs the trap.
  std::string line;
  for (int attempt = 0; attempt < 20 && line.empty(); ++attempt) {
    ASSERT_EQ(static_cast<ssize_t>(trap.size()),
              sendto(s.get(), trap.data(), trap.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to));
    line = daemon.wait_for("TRAP2", 1000);
  }
  const std::string item = ".1.3.6.1.4.1.99999.1.";
  EXPECT_EQ("TRAP2, SNMP v2c, community public"
            "|.1.3.6.1.2.1.1.3.0 = Timeticks: (12345) 0:02:03.45"
            "|.1.3.6.1.6.3.1.1.4.1.0 = OID: .1.3.6.1.4.1.99999.0.1"
            "|" + item + "1 = INTEGER: -1"
            "|" + item + "2 = STRING: \"board ok\""
            "|" + item + "3 = Counter32: 4294967295"
            "|" + item + "4 = IpAddress: 192.168.1.20"
            "|" + item + "5 = Gauge32: 128"
            "|" + item + "6 = Timeticks: (2147483648) 248 days, 13:13:56.48"
            "|" + item + "7 = NULL"
            "|" + item + "8 = STRING: \"" + kLongText + "\""
            "|" + item + "9 = OPAQUE: 01 02 ",
            line);
}

}  // namespace
