#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/device_io.h"
#include "foundation/strm_protocol.h"
#include "foundation/tpkt_protocol.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::LogCapture;
using testing_support::LoopRunner;
using testing_support::TestClock;
using namespace transport_test;
typedef std::vector<std::string> Strings;

namespace {

// The stream layer on a socket, with TPKT on top when asked; records what
// leaves the top and the failure reports.
class Link : public ProtocolsFamily {
public:
  Link(const Fd& fd, bool framed) {
    stream->service_name("test");
    add_protocol_tail(stream);
    if (framed)
      add_protocol_tail(new Tpkt_protocol);
    if (fd)
      stream->attach(fd);
    activate();
  }
  void on_message(Packet& p) override { received.emplace_back(reinterpret_cast<const char*>(p.data()), p.length()); }
  void on_deactivated(Protocol*, Protocol_status s) override { failures.push_back(s->message()); }
  bool send(const std::string& payload) {
    Packet p;
    prepare_head(p);
    p.put(payload.data(), static_cast<unsigned>(payload.size()));
    message(p);
    return failures.empty();
  }

  StrmProtocol* stream = new StrmProtocol;
  Strings received, failures;
};

struct Loop {
  TestClock clock;
  LoopRunner loop;
  explicit Loop(bool watchdog = false, bool autoAdvance = false) : loop(watchdog) {
    clock.set_auto_advance(autoAdvance);
  }
  bool until(const std::function<bool()>& pred) { return loop.until(pred, 500); }
};

TEST(StrmProtocol, ChunksUpWholePacketsDownFailuresUp) {
  Loop l;
  TcpPair pair;
  Link link(pair.near, false);
  send_all(pair.far.get(), "hello");
  ASSERT_TRUE(l.until([&] { return !link.received.empty(); }));
  EXPECT_EQ("hello", link.received[0]);
  std::string big(60000, 'z');
  EXPECT_TRUE(link.send(big));
  EXPECT_TRUE(big == read_n(pair.far.get(), big.size()));
  EXPECT_TRUE(link.send(""));  // writes nothing
  EXPECT_EQ(1u, link.stream->write_measure().counter());

  // The peer closes: a failure with "read error: " goes up, the socket is released.
  pair.far.close();
  ASSERT_TRUE(l.until([&] { return !link.failures.empty(); }));
  EXPECT_EQ(0u, link.failures[0].find("read error: "));
  EXPECT_FALSE(link.stream->attached());

  // Hang-up together with pending data: the hang-up wins, nothing is read.
  int sv[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sv));
  Link hung(Fd(sv[0]), false);
  ::send(sv[1], "data", 4, MSG_NOSIGNAL);
  ::close(sv[1]);
  ASSERT_TRUE(l.until([&] { return !hung.failures.empty(); }));
  EXPECT_EQ(0u, hung.failures[0].find("pollhup: "));
  EXPECT_TRUE(hung.received.empty());

  EXPECT_EQ((Strings{"fd not attached"}), Link(Fd(), false).failures);
}

class Watchdog : public DevIo::Backend {
public:
  Watchdog() : previous_(DevIo::install(this)) {}
  ~Watchdog() override { DevIo::install(previous_); }
  int open(const char*, int flags) override { return ::open("/dev/null", flags); }
  ssize_t write(int fd, const void* buf, size_t count) override {
    pings += std::string(static_cast<const char*>(buf), count) == "PING";
    return DevIo::Backend::write(fd, buf, count);
  }
  int pings = 0;

private:
  DevIo::Backend* previous_;
};

TEST(StrmProtocol, PeerThatStopsReadingHitsTheWriteDeadline) {
  Watchdog watchdog;
  Loop l(true, true);  // the wait moves the test clock
  TcpPair pair(4096);
  Link link(pair.near, true);
  LogCapture log;
  int pings = watchdog.pings;
  uint64_t start = l.clock.now_ms();
  EXPECT_FALSE(link.send(std::string(60000, 'w')));
  EXPECT_EQ(start + StrmProtocol::WriteDeadlineMs, l.clock.now_ms());
  EXPECT_EQ(pings + 2, watchdog.pings);  // kicked before and after the wait
  EXPECT_EQ(0u, log.err().find("SockStream[test]: write timeout, sendbuf="));
  for (const char* field : {", recvbuf=", ", free=", ", inq=", ", outq="})
    EXPECT_NE(std::string::npos, log.err().find(field)) << field;
  EXPECT_EQ(1u, link.stream->overflow_counter());
  EXPECT_EQ((Strings{"write timeout"}), link.failures);
}

// tshark's own TPKT dissector reads what the layers wrote (the payloads are
// not COTP, so its COTP dissector is kept out).
TEST(StrmProtocol, TsharkRecognisesEveryFrame) {
  if (system("command -v tshark >/dev/null 2>&1 && command -v text2pcap >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "tshark or text2pcap is not installed: external TPKT check skipped";
  Loop l;
  TcpPair pair;
  Link link(pair.near, true);
  std::vector<unsigned> sizes = {3, 0, 200, 4000, 1, 65531, 8};
  std::string expected;
  size_t total = 0;
  for (unsigned n : sizes) {
    ASSERT_TRUE(link.send(std::string(n, static_cast<char>('a' + n % 26))));
    expected += std::to_string(n + 4) + " ";
    total += n + 4;
  }
  std::string wire = read_n(pair.far.get(), total);
  ASSERT_EQ(total, wire.size());

  // The stream as text2pcap input, in TCP segments of 1460 octets.
  char dir[] = "/tmp/tpkt-tshark-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  std::string base(dir);
  {
    std::ofstream text(base + "/wire.txt");
    char hex[16];
    for (size_t i = 0; i < wire.size(); ++i) {
      size_t off = i % 1460;
      if (off % 16 == 0) {
        snprintf(hex, sizeof hex, "%06zx", off);
        text << (i ? "\n" : "") << hex;
      }
      snprintf(hex, sizeof hex, " %02x", static_cast<unsigned char>(wire[i]));
      text << hex;
    }
    text << "\n";
  }
  std::string cmd = "text2pcap -q -T 20001,40000 " + base + "/wire.txt " + base + "/wire.pcap >/dev/null 2>&1 && " +
                    "tshark --disable-protocol cotp -r " + base + "/wire.pcap -d tcp.port==20001,tpkt " +
                    "-T fields -e tpkt.length 2>/dev/null | tr ',\\n' '  '";
  std::string seen;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, f))
      seen += buf;
    pclose(f);
  }
  EXPECT_EQ(0, system(("rm -rf " + base).c_str()));
  std::istringstream fields(seen);
  std::string lengths, v;
  while (fields >> v)
    lengths += v + " ";
  EXPECT_EQ(expected, lengths) << seen;
}

}  // namespace
