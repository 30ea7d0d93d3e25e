#include "monitoring/cdr_sender.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <vector>

#include "foundation/fd.h"
#include "tests/support/log_capture.h"

namespace {

using Strings = std::vector<std::string>;

// A UDP socket bound to a free port of `address`.
struct Receiver {
  explicit Receiver(in_addr_t address = htonl(INADDR_LOOPBACK)) : sock(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    socklen_t len = sizeof a;
    bind(sock.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(sock.get(), reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
  }
  std::string at() const { return "127.0.0.1:" + std::to_string(port); }
  // Loopback delivery happens within sendto: read without waiting.
  Strings received() {
    Strings got;
    char buf[2048];
    ssize_t n;
    while ((n = recv(sock.get(), buf, sizeof buf, MSG_DONTWAIT)) >= 0)
      got.emplace_back(buf, static_cast<size_t>(n));
    return got;
  }

  Fd sock;
  unsigned short port;
};

TEST(CdrSender, SendsToEveryAddressInOrder) {
  CDR_Sender::Sender sender;
  Receiver a, b;
  EXPECT_TRUE(sender.SendTo("first", a.at() + "  \t" + b.at() + "\n\n"));
  EXPECT_TRUE(sender.SendTo("second", " " + b.at() + "\t" + a.at()));
  EXPECT_TRUE(sender.SendTo("", a.at()));  // a datagram of zero bytes
  EXPECT_TRUE(sender.SendTo("lost", ""));
  EXPECT_TRUE(sender.SendTo("lost", " \t\n"));
  EXPECT_EQ((Strings{"first", "second", ""}), a.received());
  EXPECT_EQ((Strings{"first", "second"}), b.received());
}

TEST(CdrSender, SkipsWordsThatAreNotDestinations) {
  // Bound to every local address: a datagram sent to 0.0.0.0 would land here.
  Receiver any(htonl(INADDR_ANY));
  const std::string port = std::to_string(any.port);
  // Ports past 65535 that wrap to this one, ports with more than digits,
  // and addresses that are not four decimal numbers of 0..255 (inet_aton
  // would read each as 127.0.0.1).
  const std::string wrapped = std::to_string(4294967296ull + any.port);
  const Strings bad = {"bogus:" + port,       "300.1.2.3:" + port,   "0.0.0.0:" + port,     "127.0.0.1",
                       "127.0.0.1:",          "127.0.0.1:0",         "127.0.0.1:-5",        "127.0.0.1:70000",
                       "127.0.0.1:" + wrapped, "127.0.0.1:+" + port,  "127.0.0.1:" + port + "junk",
                       "127.0.0.1:" + port + ":5", "127.1:" + port,
                       "2130706433:" + port,  "0x7f.0.0.1:" + port,  "127.0.0.01x:" + port, "127.0.0.1.:" + port,
                       "127..0.1:" + port,    ":" + port};
  std::string list;
  for (const std::string& word : bad)
    list += word + " ";
  CDR_Sender::Sender sender;
  testing_support::LogCapture log;
  EXPECT_TRUE(sender.SendTo("cdr", list + any.at()));
  EXPECT_EQ((Strings{"cdr"}), any.received());
  std::string expected;
  for (const std::string& word : bad)
    expected += "CDR_Sender: skip invalid address \"" + word + "\"\n";
  EXPECT_EQ(expected, log.err());
}

TEST(CdrSender, FailsWithoutSocket) {
  rlimit saved;
  ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
  rlimit none = saved;
  none.rlim_cur = 0;
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &none));
  CDR_Sender::Sender sender;  // no descriptor can be had
  ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &saved));
  Receiver r;
  EXPECT_FALSE(sender.SendTo("cdr", r.at()));
  EXPECT_TRUE(r.received().empty());
}

}  // namespace
