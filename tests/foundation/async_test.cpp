#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "foundation/async.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using testing_support::LoopRunner;
using testing_support::TestClock;
using namespace transport_test;
typedef ASync::Copy::Status CopyStatus;
typedef ASync::Connect::Status ConnectStatus;

namespace {

struct CopyOwner {
  std::vector<CopyStatus::Type> reports;
  void OnCopy(CopyStatus::Type s) { reports.push_back(s); }
};

// A temporary file holding n bytes of a pattern.
Fd file_of(size_t n, std::string* content) {
  char path[] = "/tmp/async-copy-XXXXXX";
  int fd = mkstemp(path);
  unlink(path);
  content->clear();
  for (size_t i = 0; i < n; ++i)
    content->push_back(static_cast<char>('a' + i % 26));
  EXPECT_EQ(static_cast<ssize_t>(n), write(fd, content->data(), n));
  lseek(fd, 0, SEEK_SET);
  return Fd(fd);
}

struct Pipe {
  Fd rd, wr;
  Pipe() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
      rd.reset(fds[0]);
      wr.reset(fds[1]);
    }
  }
};

std::string drain(int fd) {
  std::string all;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0)
    all.append(buf, static_cast<size_t>(n));
  return all;
}

TEST(AsyncCopy, CopiesAFileToAPipeAndReportsDoneOnce) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  std::string content;
  Fd file = file_of(3000, &content);
  Pipe pipe;
  CopyOwner owner;
  ASync::Copy copy;
  copy.Bind(&CopyOwner::OnCopy, &owner);
  copy.Start(file, pipe.wr);
  pipe.wr.close();  // the copier holds its own duplicate
  ASSERT_TRUE(loop.until([&] { return !owner.reports.empty(); }, 500));
  EXPECT_EQ((std::vector<CopyStatus::Type>{CopyStatus::Done}), owner.reports);
  EXPECT_EQ(3000u, copy.copied());
  EXPECT_EQ(content, drain(pipe.rd.get()));
  loop.turn(3);
  EXPECT_EQ(1u, owner.reports.size());

  // Without a flush mask the copy is done right after the last write,
  // before any loop turn.
  Fd again = file_of(100, &content);
  Pipe second;
  ASync::Copy::EventsParams events;
  events.flush = 0;
  copy.set_events(events);  // not running: nothing reported
  EXPECT_EQ(1u, owner.reports.size());
  copy.Start(again, second.wr);
  EXPECT_EQ((std::vector<CopyStatus::Type>{CopyStatus::Done, CopyStatus::Done}), owner.reports);
  EXPECT_EQ(content, drain(second.rd.get()));
}

TEST(AsyncCopy, StopFinishesThePendingWriteAndHangUpIsAnError) {
  signal(SIGPIPE, SIG_IGN);  // as the daemon does
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  CopyOwner owner;
  ASync::Copy copy;
  copy.Bind(&CopyOwner::OnCopy, &owner);
  copy.Stop();  // not started: no effect
  EXPECT_TRUE(owner.reports.empty());

  // A full pipe leaves a write pending; Stop lets it complete.
  Pipe source, sink;
  std::string filler(65536, 'f');
  while (write(sink.wr.get(), filler.data(), filler.size()) > 0) {
  }
  ASSERT_EQ(4, write(source.wr.get(), "tail", 4));
  copy.Start(source.rd, sink.wr);
  EXPECT_EQ(CopyStatus::Copying, copy.status());
  copy.Stop();
  EXPECT_EQ(CopyStatus::Draining, copy.status());
  copy.Stop();  // only while copying
  EXPECT_EQ(CopyStatus::Draining, copy.status());
  std::string drained = drain(sink.rd.get());
  ASSERT_TRUE(loop.until([&] { return !owner.reports.empty(); }, 500));
  EXPECT_EQ((std::vector<CopyStatus::Type>{CopyStatus::Done}), owner.reports);
  drained += drain(sink.rd.get());
  EXPECT_EQ("tail", drained.substr(drained.size() - 4));

  // The destination hangs up while a write is pending: one error report.
  owner.reports.clear();
  Pipe src2, dst2;
  while (write(dst2.wr.get(), filler.data(), filler.size()) > 0) {
  }
  ASSERT_EQ(1, write(src2.wr.get(), "x", 1));
  copy.Start(src2.rd, dst2.wr);
  copy.Stop();
  dst2.rd.close();
  ASSERT_TRUE(loop.until([&] { return !owner.reports.empty(); }, 500));
  loop.turn(2);
  EXPECT_EQ((std::vector<CopyStatus::Type>{CopyStatus::Error}), owner.reports);
}

struct ConnectOwner {
  std::vector<ConnectStatus::Type> reports;
  int fd = -1;
  Fd kept;
  bool keep = false;
  void OnConnect(ConnectStatus::Type s, Fd socket) {
    reports.push_back(s);
    fd = socket.get();
    if (keep)
      kept = socket;  // a duplicate of its own
  }
};

TEST(AsyncConnect, ConnectsHandsOverTheSocketAndFails) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  Fd server = listener();
  ConnectOwner owner;
  ASync::Connect connect;
  connect.Bind(&ConnectOwner::OnConnect, &owner);

  owner.keep = true;
  connect.Start("127.0.0.1:" + std::to_string(local_port(server.get())), 5000);
  ASSERT_TRUE(loop.until([&] { return !owner.reports.empty(); }, 500));
  EXPECT_EQ(ConnectStatus::Connected, owner.reports[0]);
  // The handler's descriptor is closed after it returns; its own copy works.
  EXPECT_EQ(-1, fcntl(owner.fd, F_GETFD));
  Fd peer(accept4(server.get(), nullptr, nullptr, SOCK_CLOEXEC));
  send_all(owner.kept.get(), "hi");
  EXPECT_EQ("hi", read_some(peer.get()));

  // Nobody listens.
  owner.reports.clear();
  owner.keep = false;
  connect.Start("127.0.0.1:" + std::to_string(closed_port()), 5000);
  ASSERT_TRUE(loop.until([&] { return !owner.reports.empty(); }, 500));
  EXPECT_EQ((std::vector<ConnectStatus::Type>{ConnectStatus::Failed}), owner.reports);
  EXPECT_EQ(-1, owner.fd);

  // Text that is not an address fails at once instead of reaching 0.0.0.0.
  owner.reports.clear();
  Fd local(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in any = loopback(0);
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  bind(local.get(), reinterpret_cast<sockaddr*>(&any), sizeof any);
  listen(local.get(), 1);
  connect.Start("not-a-host:" + std::to_string(local_port(local.get())), 5000);
  EXPECT_EQ((std::vector<ConnectStatus::Type>{ConnectStatus::Failed}), owner.reports);
  pollfd pending = {local.get(), POLLIN, 0};
  EXPECT_EQ(0, poll(&pending, 1, 0));
}

TEST(AsyncConnect, TimeLimitAndStop) {
  TestClock clock;
  clock.set_auto_advance(false);
  LoopRunner loop;
  // A listener whose backlog is full leaves further connects unanswered.
  Fd server(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a = loopback(0);
  bind(server.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(server.get(), 0);
  std::string address = "127.0.0.1:" + std::to_string(local_port(server.get()));
  std::vector<Fd> fillers;
  ConnectOwner owner;
  ASync::Connect connect;
  connect.Bind(&ConnectOwner::OnConnect, &owner);
  for (int i = 0; i < 8 && connect.status() != ConnectStatus::InProgress; ++i) {
    Fd f(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    ::connect(f.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
    fillers.push_back(f);
    owner.reports.clear();
    connect.Start(address, 3000);
    loop.turn();
  }
  ASSERT_EQ(ConnectStatus::InProgress, connect.status());
  ASSERT_TRUE(owner.reports.empty());
  clock.advance(2999);
  loop.turn();
  EXPECT_TRUE(owner.reports.empty());
  clock.advance(1);
  loop.turn();
  EXPECT_EQ((std::vector<ConnectStatus::Type>{ConnectStatus::Failed}), owner.reports);

  owner.reports.clear();
  connect.Start(address, 3000);
  ASSERT_EQ(ConnectStatus::InProgress, connect.status());
  connect.Stop();
  connect.Stop();
  EXPECT_EQ((std::vector<ConnectStatus::Type>{ConnectStatus::Stopped}), owner.reports);
}

}  // namespace
