#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/async.h"
#include "tests/foundation/transport_helpers.h"

using namespace transport_test;
typedef ASync::Copy::Status Copy;
typedef ASync::Connect::Status Conn;

namespace {

struct Owner {
  std::vector<Copy::Type> copies;
  std::vector<Conn::Type> connects;
  int fd = -1;
  Fd kept;
  void OnCopy(Copy::Type s) { copies.push_back(s); }
  void OnConnect(Conn::Type s, Fd socket) {
    connects.push_back(s);
    fd = socket.get();
    kept = socket;  // a duplicate of its own
  }
};

TEST(AsyncCopy, CopiesAFileReportsOnceAndStopFinishesThePendingWrite) {
  signal(SIGPIPE, SIG_IGN);  // as the daemon does
  Rig l;
  std::string content;
  for (int i = 0; i < 3000; ++i)
    content.push_back(static_cast<char>('a' + i % 26));
  char path[] = "/tmp/async-copy-XXXXXX";
  Fd file(mkstemp(path));
  unlink(path);
  ASSERT_EQ(3000, write(file.get(), content.data(), content.size()));
  lseek(file.get(), 0, SEEK_SET);
  Pipe pipe;
  Owner owner;
  ASync::Copy copy;
  copy.Bind(&Owner::OnCopy, &owner);
  copy.Start(file, pipe.wr);
  pipe.wr.close();  // the copier holds its own duplicate
  ASSERT_TRUE(l.until([&] { return !owner.copies.empty(); }));
  l.loop.turn(3);
  EXPECT_EQ((std::vector<Copy::Type>{Copy::Done}), owner.copies);
  EXPECT_EQ(3000u, copy.copied());
  EXPECT_EQ(content, pipe.drain());

  // Stopped with a write pending on a full sink: the write still completes.
  Pipe source, sink(true);
  ASSERT_EQ(4, write(source.wr.get(), "tail", 4));
  copy.Start(source.rd, sink.wr);
  copy.Stop();
  EXPECT_EQ(Copy::Draining, copy.status());
  std::string drained = sink.drain();
  ASSERT_TRUE(l.until([&] { return owner.copies.size() == 2; }));
  drained += sink.drain();
  EXPECT_EQ("tail", drained.substr(drained.size() - 4));
  EXPECT_EQ((std::vector<Copy::Type>{Copy::Done, Copy::Done}), owner.copies);

}

TEST(AsyncConnect, ConnectsFailsStopsAndRefusesTextThatIsNoAddress) {
  Rig l;
  Fd server = listener();
  Owner owner;
  ASync::Connect connect;
  connect.Bind(&Owner::OnConnect, &owner);
  connect.Start("127.0.0.1:" + std::to_string(local_port(server.get())), 5000);
  ASSERT_TRUE(l.until([&] { return !owner.connects.empty(); }));
  EXPECT_EQ(Conn::Connected, owner.connects[0]);
  EXPECT_EQ(-1, fcntl(owner.fd, F_GETFD));  // closed once the handler returned
  Fd peer(accept4(server.get(), nullptr, nullptr, SOCK_CLOEXEC));
  send_all(owner.kept.get(), "hi");
  EXPECT_EQ("hi", read_some(peer.get()));

  connect.Start("127.0.0.1:" + std::to_string(closed_port()), 5000);
  ASSERT_TRUE(l.until([&] { return owner.connects.size() == 2; }));
  EXPECT_EQ(Conn::Failed, owner.connects[1]);

  // Not an address: fails at once instead of connecting to 0.0.0.0.
  Fd any(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = loopback(0);
  a.sin_addr.s_addr = htonl(INADDR_ANY);
  bind(any.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(any.get(), 1);
  connect.Start("not-a-host:" + std::to_string(local_port(any.get())), 5000);
  EXPECT_EQ(Conn::Failed, owner.connects.at(2));
  pollfd pending = {any.get(), POLLIN, 0};
  EXPECT_EQ(0, poll(&pending, 1, 0));

  // Stopped while connecting: one report, a second Stop is silent.
  connect.Start("127.0.0.1:" + std::to_string(local_port(server.get())), 5000);
  connect.Stop();
  connect.Stop();
  EXPECT_EQ(Conn::Stopped, owner.connects.at(3));
  EXPECT_EQ(4u, owner.connects.size());
}

}  // namespace
