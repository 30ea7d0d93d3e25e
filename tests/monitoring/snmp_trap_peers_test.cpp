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

// snmptrapd in the foreground on a loopback port, authorization off, every
// file it keeps under a scratch directory, one log line per trap on a pipe.
class TrapDaemon {
public:
  TrapDaemon() {
    Fd s(socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s.get(), reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    const std::string d = dir_.path();
    std::ofstream(d + "/snmptrapd.conf") << "disableAuthorization yes\n";
    // Numeric OIDs, no MIBs; the shell's pid is the daemon's after exec.
    log_ = popen(("echo $$; PATH=$PATH:/usr/sbin SNMP_PERSISTENT_DIR=" + d + " SNMPCONFPATH=" + d +
                  " exec snmptrapd -f -Lo -C -c " + d + "/snmptrapd.conf -n -On -M /nonexistent -m '' " +
                  "-F '%P|%V|%v\\n' udp:127.0.0.1:" + std::to_string(port) + " 2>&1")
                     .c_str(),
                 "r");
    pid_ = atoi(wait_for("", 5000).c_str());
  }
  ~TrapDaemon() {
    if (pid_ > 0)
      kill(pid_, SIGKILL);
    pclose(log_);
  }

  // The first logged line that contains `text`, or "" when none came in time.
  std::string wait_for(const std::string& text, int timeout_ms) {
    for (int waited = 0; waited <= timeout_ms; waited += 100) {
      for (size_t end; (end = log.find('\n')) != std::string::npos;) {
        std::string line = log.substr(0, end);
        log.erase(0, end + 1);
        if (line.find(text) != std::string::npos)
          return line;
      }
      pollfd p = {fileno(log_), POLLIN, 0};
      char buf[4096];
      ssize_t n = poll(&p, 1, 100) > 0 ? read(fileno(log_), buf, sizeof buf) : -1;
      if (n == 0)
        return "";  // the daemon ended
      if (n > 0)
        log.append(buf, static_cast<size_t>(n));
    }
    return "";
  }

  unsigned short port = 0;
  std::string log;

private:
  ScratchDir dir_{"snmptrapd"};
  FILE* log_ = nullptr;
  pid_t pid_ = -1;
};

TEST(SnmpTrapPeers, SnmptrapdLogsTheBindings) {
  if (!have_program("snmptrapd") && access("/usr/sbin/snmptrapd", X_OK) != 0)
    GTEST_SKIP() << "snmptrapd is not installed";
  TrapDaemon daemon;
  ASSERT_NE(daemon.wait_for("NET-SNMP version", 20000), "") << "snmptrapd did not start: " << daemon.log;

  const std::string trap = build_trap();
  Fd s(socket(AF_INET, SOCK_DGRAM, 0));
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(daemon.port);
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
