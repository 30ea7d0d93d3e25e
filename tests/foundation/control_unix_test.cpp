#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/control_unix.h"
#include "tests/foundation/transport_helpers.h"

using namespace transport_test;

namespace {

struct Receiver : Control::Notify {
  int connects = 0;
  std::string last;
  void OnConnect() override { ++connects; }
  void OnDisconnect() override {}
  void OnMessage(char const* data, int length) override { last.assign(data, static_cast<size_t>(length)); }
};

TEST(ControlUnix, AcceptorAndConnectorOverSocketPaths) {
  Rig r;
  char dir[] = "/tmp/control-unix-XXXXXX";
  std::string base = mkdtemp(dir);

  Control::AcceptorUnix acceptor(base + "/server.sock");
  Receiver served;
  acceptor.Bind(&served);
  ASSERT_TRUE(acceptor.Activate());
  Fd client = unix_socket(base + "/server.sock", SOCK_STREAM, false);
  ASSERT_TRUE(r.until([&] { return served.connects == 1; }));
  send_all(client.get(), tpkt("over a path"));
  ASSERT_TRUE(r.until([&] { return served.last == "over a path"; }));
  acceptor.Disconnect();
  EXPECT_TRUE(peer_closed(client.get()));

  // Nobody listens yet: a refusal line, no descriptor left behind, a retry
  // after 1000 ms.
  Control::ConnectorUnix connector(base + "/agent.sock", base + "/local.sock");
  Receiver agentLink;
  connector.Bind(&agentLink);
  int baseline = open_descriptors();
  ASSERT_TRUE(connector.Activate());
  EXPECT_TRUE(r.log.err().find("can't connect to " + base + "/agent.sock : No such file or directory\n") !=
              std::string::npos);
  EXPECT_GE(baseline, open_descriptors());
  Fd agent = unix_socket(base + "/agent.sock", SOCK_STREAM, true);
  r.clock.advance(Control::ConnectorUnix::FastRetryMs);
  ASSERT_TRUE(r.until([&] { return agentLink.connects == 1; }));
  Fd link(accept4(agent.get(), nullptr, nullptr, SOCK_CLOEXEC));
  EXPECT_TRUE(connector.Send("hello", 5));
  EXPECT_EQ(tpkt("hello"), read_n(link.get(), 9));
  EXPECT_EQ(0, system(("rm -rf " + base).c_str()));
}

}  // namespace
