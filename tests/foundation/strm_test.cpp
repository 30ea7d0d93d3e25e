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

namespace {

// A link of the stream layer, with TPKT on top when asked; records what
// leaves the top and the failure report.
class Link : public ProtocolsFamily {
public:
  explicit Link(bool framed) : stream(new StrmProtocol) {
    stream->service_name("test");
    add_protocol_tail(stream);
    if (framed)
      add_protocol_tail(new Tpkt_protocol);
  }
  void on_message(Packet& p) override { received.emplace_back(reinterpret_cast<const char*>(p.data()), p.length()); }
  void on_deactivated(Protocol*, Protocol_status s) override {
    failures.push_back(s->message());
    succeeded = s->success();
  }
  bool send(const std::string& payload) {
    Packet p;
    prepare_head(p);
    p.put(payload.data(), static_cast<unsigned>(payload.size()));
    message(p);
    return failures.empty();
  }

  StrmProtocol* stream;
  std::vector<std::string> received;
  std::vector<std::string> failures;
  bool succeeded = false;
};

class Watchdog : public DevIo::Backend {
public:
  Watchdog() { previous_ = DevIo::install(this); }
  ~Watchdog() override { DevIo::install(previous_); }
  int open(const char*, int flags) override { return ::open("/dev/null", flags); }
  ssize_t write(int fd, const void* buf, size_t count) override {
    if (std::string(static_cast<const char*>(buf), count) == "PING")
      ++pings;
    return DevIo::Backend::write(fd, buf, count);
  }
  int pings = 0;

private:
  DevIo::Backend* previous_;
};

TEST(StrmProtocol, DeliversChunksAndWritesWholePackets) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  TcpPair pair;
  Link link(false);
  link.stream->attach(pair.near);
  link.activate();

  send_all(pair.far.get(), "hello");
  ASSERT_TRUE(loop.until([&] { return !link.received.empty(); }, 500));
  EXPECT_EQ("hello", link.received[0]);
  EXPECT_EQ(1u, link.stream->read_measure().counter());

  std::string big(60000, 'z');
  EXPECT_TRUE(link.send(big));
  EXPECT_EQ(big, read_n(pair.far.get(), big.size()));
  EXPECT_EQ(1u, link.stream->write_measure().counter());
  EXPECT_TRUE(link.send(""));  // writes nothing
  EXPECT_EQ(1u, link.stream->write_measure().counter());
}

TEST(StrmProtocol, PeerCloseAndHangUpAreFailuresGoingUp) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  {
    TcpPair pair;
    Link link(true);
    link.stream->attach(pair.near);
    link.activate();
    pair.far.close();
    ASSERT_TRUE(loop.until([&] { return !link.failures.empty(); }, 500));
    EXPECT_EQ(0u, link.failures[0].find("read error: "));
    EXPECT_FALSE(link.succeeded);
    EXPECT_FALSE(link.stream->attached());
  }
  {
    // Hang-up together with pending data: the hang-up wins, nothing is read.
    int sv[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sv));
    Fd near(sv[0]);
    Link link(false);
    link.stream->attach(near);
    link.activate();
    ::send(sv[1], "data", 4, MSG_NOSIGNAL);
    ::close(sv[1]);
    ASSERT_TRUE(loop.until([&] { return !link.failures.empty(); }, 500));
    EXPECT_EQ(0u, link.failures[0].find("pollhup: "));
    EXPECT_TRUE(link.received.empty());
  }
  Link unattached(false);
  unattached.activate();
  EXPECT_EQ((std::vector<std::string>{"fd not attached"}), unattached.failures);
}

TEST(StrmProtocol, PeerThatStopsReadingHitsTheWriteDeadline) {
  TestClock clock;
  Watchdog watchdog;
  LoopRunner loop(true);
  TcpPair pair(4096);
  Link link(true);
  link.stream->attach(pair.near);
  link.activate();

  LogCapture log;
  int pings = watchdog.pings;
  uint64_t start = clock.now_ms();
  EXPECT_FALSE(link.send(std::string(60000, 'w')));
  EXPECT_EQ(start + StrmProtocol::WriteDeadlineMs, clock.now_ms());
  EXPECT_EQ(pings + 2, watchdog.pings);  // kicked before and after the wait
  EXPECT_EQ(0u, log.err().find("SockStream[test]: write timeout, sendbuf="));
  for (const char* field : {", recvbuf=", ", free=", ", inq=", ", outq="})
    EXPECT_NE(std::string::npos, log.err().find(field)) << field;
  EXPECT_EQ(1u, link.stream->overflow_counter());
  EXPECT_EQ((std::vector<std::string>{"write timeout"}), link.failures);
  EXPECT_FALSE(link.stream->attached());
}

// tshark's own TPKT dissector reads what the layers wrote.
TEST(StrmProtocol, TsharkRecognisesEveryFrame) {
  if (system("command -v tshark >/dev/null 2>&1 && command -v text2pcap >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "tshark or text2pcap is not installed: external TPKT check skipped";
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  TcpPair pair;
  Link link(true);
  link.stream->attach(pair.near);
  link.activate();
  std::vector<unsigned> sizes = {3, 0, 200, 4000, 1, 65531, 8};
  size_t total = 0;
  for (unsigned n : sizes) {
    ASSERT_TRUE(link.send(std::string(n, static_cast<char>('a' + n % 26))));
    total += n + 4;
  }
  std::string wire = read_n(pair.far.get(), total);
  ASSERT_EQ(total, wire.size());

  // The stream in segments of at most 1460 octets, as text2pcap input. The
  // payloads are not COTP, so tshark's COTP dissector is kept out.
  char dir[] = "/tmp/tpkt-tshark-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  std::string base(dir);
  {
    std::ofstream text(base + "/wire.txt");
    char line[32];
    for (size_t seg = 0; seg < wire.size(); seg += 1460) {
      for (size_t off = 0; off < 1460 && seg + off < wire.size(); ++off) {
        if (off % 16 == 0) {
          snprintf(line, sizeof line, "%s%06zx", off ? "\n" : "", off);
          text << line;
        }
        snprintf(line, sizeof line, " %02x", static_cast<unsigned char>(wire[seg + off]));
        text << line;
      }
      text << "\n";
    }
  }
  std::string cmd = "text2pcap -q -T 20001,40000 " + base + "/wire.txt " + base + "/wire.pcap >/dev/null 2>&1 && " +
                    "tshark --disable-protocol cotp -r " + base + "/wire.pcap -d tcp.port==20001,tpkt -T fields " +
                    "-e tpkt.length 2>/dev/null";
  std::string out;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, f))
      out += buf;
    pclose(f);
  }
  if (system(("rm -rf " + base).c_str()) != 0)
    ADD_FAILURE() << "cannot remove " << base;

  std::vector<unsigned> seen;
  std::stringstream fields(out);
  std::string token;
  while (std::getline(fields, token, '\n')) {
    std::stringstream values(token);
    std::string v;
    while (std::getline(values, v, ','))
      if (!v.empty())
        seen.push_back(static_cast<unsigned>(std::stoul(v)));
  }
  std::vector<unsigned> expected;
  for (unsigned n : sizes)
    expected.push_back(n + 4);
  EXPECT_EQ(expected, seen) << out;
}

}  // namespace
