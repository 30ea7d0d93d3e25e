#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/un.h>
#include <vector>

#include "foundation/control_unix.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::LogCapture;
using testing_support::LoopRunner;
using testing_support::TestClock;
using namespace transport_test;
typedef Control::Service::State State;

namespace {

struct Receiver : Control::Notify {
  int connects = 0, disconnects = 0;
  std::vector<std::string> messages;
  void OnConnect() override { ++connects; }
  void OnDisconnect() override { ++disconnects; }
  void OnMessage(char const* data, int length) override { messages.emplace_back(data, static_cast<size_t>(length)); }
};

struct TempDir {
  std::string path;
  TempDir() {
    char dir[] = "/tmp/control-unix-XXXXXX";
    path = mkdtemp(dir);
  }
  ~TempDir() {
    if (system(("rm -rf " + path).c_str()) != 0)
      ADD_FAILURE() << "cannot remove " << path;
  }
};

Fd unix_socket() { return Fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)); }

sockaddr_un address_of(const std::string& path) {
  sockaddr_un a;
  memset(&a, 0, sizeof a);
  a.sun_family = AF_UNIX;
  strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
  return a;
}

TEST(ControlUnix, AcceptorServesOnePeerAtATime) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  LogCapture log;
  TempDir dir;
  std::string path = dir.path + "/server.sock";
  Control::AcceptorUnix service(path);
  Receiver receiver;
  service.Bind(&receiver);
  ASSERT_TRUE(service.Activate());

  // The peer binds its own path, which becomes the peer name.
  Fd client = unix_socket();
  sockaddr_un self = address_of(dir.path + "/client.sock");
  ASSERT_EQ(0, bind(client.get(), reinterpret_cast<sockaddr*>(&self), sizeof self));
  sockaddr_un a = address_of(path);
  ASSERT_EQ(0, connect(client.get(), reinterpret_cast<sockaddr*>(&a), sizeof a));
  ASSERT_TRUE(loop.until([&] { return receiver.connects == 1; }, 500));
  EXPECT_EQ(dir.path + "/client.sock", service.peer_name());
  EXPECT_NE(std::string::npos, log.out().find("new connection from " + dir.path + "/client.sock"));

  send_all(client.get(), tpkt("over a path"));
  ASSERT_TRUE(loop.until([&] { return receiver.messages.size() == 1; }, 500));
  EXPECT_TRUE(service.Send("back", 4));
  EXPECT_EQ(tpkt("back"), read_n(client.get(), 8));

  Fd second = unix_socket();
  ASSERT_EQ(0, connect(second.get(), reinterpret_cast<sockaddr*>(&a), sizeof a));
  ASSERT_TRUE(loop.until([&] { return log.err().find("refuse connection from ") != std::string::npos; }, 500));
  EXPECT_TRUE(peer_closed(second.get()));

  service.Disconnect();
  EXPECT_TRUE(peer_closed(client.get()));
  loop.turn();
  EXPECT_EQ(1, receiver.disconnects);
}

TEST(ControlUnix, ConnectorRetriesUntilThePathListens) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  LogCapture log;
  TempDir dir;
  std::string path = dir.path + "/agent.sock";
  Control::ConnectorUnix service(path, dir.path + "/local.sock");
  Receiver receiver;
  service.Bind(&receiver);
  int baseline = open_descriptors();
  ASSERT_TRUE(service.Activate());
  EXPECT_EQ("can't connect to " + path + " : No such file or directory\n", log.err());
  EXPECT_GE(baseline, open_descriptors());

  Fd agent = unix_socket();
  sockaddr_un a = address_of(path);
  ASSERT_EQ(0, bind(agent.get(), reinterpret_cast<sockaddr*>(&a), sizeof a));
  ASSERT_EQ(0, listen(agent.get(), 1));
  clock.advance(Control::ConnectorUnix::FastRetryMs);
  ASSERT_TRUE(loop.until([&] { return receiver.connects == 1; }, 500));
  EXPECT_NE(std::string::npos, log.log().find("connected to " + path));
  Fd link(accept4(agent.get(), nullptr, nullptr, SOCK_CLOEXEC));
  EXPECT_TRUE(service.Send("hello", 5));
  EXPECT_EQ(tpkt("hello"), read_n(link.get(), 9));

  // A lost link is tried again after 10000 ms.
  link.close();
  ASSERT_TRUE(loop.until([&] { return receiver.disconnects == 1; }, 500));
  clock.advance(Control::ConnectorUnix::ReconnectMs - 1);
  loop.turn();
  EXPECT_EQ(1, receiver.connects);
  clock.advance(1);
  ASSERT_TRUE(loop.until([&] { return receiver.connects == 2; }, 500));
}

}  // namespace
