#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/strm_protocol.h"
#include "foundation/tpkt_protocol.h"
#include "tests/foundation/fake_watchdog.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/external_tools.h"
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

TEST(StrmProtocol, ChunksUpWholePacketsDownFailuresUp) {
  Rig l;
  TcpPair pair;
  Link link(pair.near, false);
  send_all(pair.far.get(), "hello");
  ASSERT_TRUE(l.until([&] { return !link.received.empty(); }));
  EXPECT_EQ("hello", link.received[0]);
  std::string big(60000, 'z');
  EXPECT_TRUE(link.send(big));
  EXPECT_TRUE(big == read_n(pair.far.get(), big.size()));

  // The peer closes: a failure with "read error: " goes up, the socket is released.
  pair.far.close();
  ASSERT_TRUE(l.until([&] { return !link.failures.empty(); }));
  EXPECT_EQ(0u, link.failures[0].find("read error: "));
  EXPECT_FALSE(link.stream->attached());
  EXPECT_EQ((Strings{"fd not attached"}), Link(Fd(), false).failures);
}

TEST(StrmProtocol, PeerThatStopsReadingHitsTheWriteDeadline) {
  FakeWatchdog watchdog;
  Rig l(true, true);  // the wait moves the test clock
  TcpPair pair(4096);
  Link link(pair.near, true);
  auto pings = [&] { return std::count(watchdog.writes.begin(), watchdog.writes.end(), "PING"); };
  auto before = pings();
  uint64_t start = l.clock.now_ms();
  EXPECT_FALSE(link.send(std::string(60000, 'w')));
  EXPECT_EQ(start + StrmProtocol::WriteDeadlineMs, l.clock.now_ms());
  EXPECT_EQ(before + 2, pings());  // kicked before and after the wait
  EXPECT_EQ(0u, l.log.err().find("SockStream[test]: write timeout, sendbuf="));
  for (const char* field : {", recvbuf=", ", free=", ", inq=", ", outq="})
    EXPECT_NE(std::string::npos, l.log.err().find(field)) << field;
  EXPECT_EQ(1u, link.stream->overflow_counter());
  EXPECT_EQ((Strings{"write timeout"}), link.failures);
}

// A peer that reads everything that has come each time the writer waits,
// 300 ms later: the write moves on, yet its deadline still runs from the
// first send.
TEST(StrmProtocol, SlowReaderStillMeetsTheDeadlineOfTheFirstSend) {
  struct SlowPeer : TestClock {
    int fd = -1;
    std::vector<int> waits;
    int poll(pollfd* fds, nfds_t count, int timeoutMs) override {
      if (count != 1 || fds[0].events != POLLOUT)
        return TestClock::poll(fds, count, timeoutMs);
      waits.push_back(timeoutMs);
      advance(300);
      char buf[65536];
      while (recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
      }
      return ::poll(fds, count, 0);
    }
  } clock;
  LogCapture log;
  int ends[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends));
  Fd near(ends[0]), far(ends[1]);
  int small = 4096;
  setsockopt(near.get(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  near.NonBlock();
  clock.fd = far.get();
  Link link(near, false);
  uint64_t start = clock.now_ms();
  EXPECT_FALSE(link.send(std::string(60000, 'w')));
  EXPECT_EQ((std::vector<int>{1000, 700, 400, 100}), clock.waits);
  EXPECT_EQ(start + 1200, clock.now_ms());
  EXPECT_EQ((Strings{"write timeout"}), link.failures);
}

// tshark's own TPKT dissector reads what the layers wrote (the payloads are
// not COTP, so its COTP dissector is kept out).
TEST(StrmProtocol, TsharkRecognisesEveryFrame) {
  if (!testing_support::have_program("tshark") || !testing_support::have_program("text2pcap"))
    GTEST_SKIP() << "tshark or text2pcap is not installed: external TPKT check skipped";
  Rig l;
  TcpPair pair;
  Link link(pair.near, true);
  std::string expected, wire;
  for (unsigned n : {3, 0, 200, 4000, 1, 65531, 8}) {
    ASSERT_TRUE(link.send(std::string(n, static_cast<char>('a' + n % 26))));
    expected += std::to_string(n + 4) + " ";
  }
  wire = read_n(pair.far.get(), 69771);
  ASSERT_EQ(69771u, wire.size());

  // The stream as text2pcap input, in TCP segments of 1460 octets.
  testing_support::ScratchDir dir("tpkt-tshark");
  const std::string& base = dir.path();
  std::ofstream(base + "/wire.txt") << testing_support::text2pcap_input(wire, 1460);
  std::string cmd = "text2pcap -q -T 20001,40000 " + base + "/wire.txt " + base + "/wire.pcap >/dev/null 2>&1 && " +
                    "tshark --disable-protocol cotp -r " + base + "/wire.pcap -d tcp.port==20001,tpkt " +
                    "-T fields -e tpkt.length 2>/dev/null | tr ',\\n' '  ' | xargs printf '%s '";
  const std::string seen = testing_support::command_output(cmd);
  EXPECT_EQ(expected, seen);
}

}  // namespace
