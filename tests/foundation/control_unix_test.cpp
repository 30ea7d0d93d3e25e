#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/un.h>

#include "foundation/control_unix.h"
#include "tests/foundation/transport_helpers.h"

using namespace transport_test;

namespace {

struct Receiver : Control::Notify {
  int connects = 0, disconnects = 0;
  std::string last;
  void OnConnect() override { ++connects; }
  void OnDisconnect() override { ++disconnects; }
  void OnMessage(char const* data, int length) override { last.assign(data, static_cast<size_t>(length)); }
};

Fd unix_socket(const std::string& path, bool listening) {
  Fd s(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un a;
  memset(&a, 0, sizeof a);
  a.sun_family = AF_UNIX;
  strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
  if (listening ? bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s.get(), 1) != 0
                : connect(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    s.close();
  return s;
}

TEST(ControlUnix, AcceptorAndConnectorOverSocketPaths) {
  Rig r;
  char dir[] = "/tmp/control-unix-XXXXXX";
  std::string base = mkdtemp(dir);

  Control::AcceptorUnix acceptor(base + "/server.sock");
  Receiver served;
  acceptor.Bind(&served);
  ASSERT_TRUE(acceptor.Activate());
  Fd client = unix_socket(base + "/server.sock", false);
  ASSERT_TRUE(r.until([&] { return served.connects == 1; }));
  send_all(client.get(), tpkt("over a path"));
  ASSERT_TRUE(r.until([&] { return served.last == "over a path"; }));
  Fd second = unix_socket(base + "/server.sock", false);
  EXPECT_TRUE(r.until([&] { return peer_closed(second.get(), 0); }));  // one peer at a time
  acceptor.Disconnect();
  EXPECT_TRUE(peer_closed(client.get()));

  // Nobody listens yet: a refusal line, no descriptor left behind, a retry
  // after 1000 ms; after a lost link, another attempt 10000 ms later.
  Control::ConnectorUnix connector(base + "/agent.sock", base + "/local.sock");
  Receiver agentLink;
  connector.Bind(&agentLink);
  int baseline = open_descriptors();
  ASSERT_TRUE(connector.Activate());
  EXPECT_TRUE(r.log.err().find("can't connect to " + base + "/agent.sock : No such file or directory\n") !=
              std::string::npos);
  EXPECT_GE(baseline, open_descriptors());
  Fd agent = unix_socket(base + "/agent.sock", true);
  r.clock.advance(Control::ConnectorUnix::FastRetryMs);
  ASSERT_TRUE(r.until([&] { return agentLink.connects == 1; }));
  Fd link(accept4(agent.get(), nullptr, nullptr, SOCK_CLOEXEC));
  EXPECT_TRUE(connector.Send("hello", 5));
  EXPECT_EQ(tpkt("hello"), read_n(link.get(), 9));
  link.close();
  ASSERT_TRUE(r.until([&] { return agentLink.disconnects == 1; }));
  r.clock.advance(Control::ConnectorUnix::ReconnectMs);
  ASSERT_TRUE(r.until([&] { return agentLink.connects == 2; }));
  EXPECT_EQ(0, system(("rm -rf " + base).c_str()));
}

}  // namespace
