#include "monitoring/cdr_sender.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
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
  EXPECT_TRUE(sender.SendTo("lost", " \t\n"));
  EXPECT_EQ((Strings{"first", "second"}), a.received());
  EXPECT_EQ((Strings{"first", "second"}), b.received());
}

TEST(CdrSender, SkipsWordsThatAreNotDestinations) {
  // Bound to every local address: a datagram sent to 0.0.0.0 would land here.
  Receiver any(htonl(INADDR_ANY));
  const std::string port = std::to_string(any.port);
  const Strings bad = {"bogus:" + port, "300.1.2.3:" + port, "0.0.0.0:" + port, "127.0.0.1",
                       "127.0.0.1:",    "127.0.0.1:0",       "127.0.0.1:-5",    "127.0.0.1:70000"};
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

}  // namespace
