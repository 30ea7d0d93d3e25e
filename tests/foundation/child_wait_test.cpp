// The watcher reaps every child of the process: tests that fork for other
// reasons live in other executables.
#include "foundation/child_wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

namespace {

pid_t spawnShell(const char* command) {
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// Waits until the child has ended, without reaping it.
void awaitZombie(pid_t pid) {
  siginfo_t info;
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
}

void blockChld(bool block) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGCHLD);
  sigprocmask(block ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

struct Owner {
  void OnEnd(int status) {
    statuses.push_back(status);
    if (onEnd)
      onEnd();
  }
  std::vector<int> statuses;
  std::function<void()> onEnd;
};

class ChildWaitTest : public testing::Test {
protected:
  ChildWaitTest() {
    clock_.set_real_wait(20);
    ChildWait::Activate();
  }
  ChildWaitService& service() { return *ChildWaitService::childWaitService; }

  // Runs turns until cond holds; bounded so that a lost record fails the test.
  bool runUntil(const std::function<bool()>& cond) { return runner_.until(cond, 1000); }

  testing_support::TestClock clock_;
  testing_support::LogCapture log_;
  testing_support::LoopRunner runner_;
};

}  // namespace

TEST_F(ChildWaitTest, ExitStatusAndSignalReachTheirOwnWatchers) {
  ASSERT_NE(nullptr, ChildWaitService::childWaitService);
  EXPECT_EQ("ChildWaitService::OnChildEvent", service().event_name());
  Owner exits, killed;
  ChildWait first, second;
  first.Bind(&exits, &Owner::OnEnd);
  second.Bind(&killed, &Owner::OnEnd);

  pid_t a = spawnShell("kill -KILL $$");
  second.Attach(a);
  pid_t b = spawnShell("exit 3");
  first.Attach(b);
  EXPECT_EQ(2u, service().waiters().count());

  ASSERT_TRUE(runUntil([&] { return exits.statuses.size() + killed.statuses.size() == 2; }));
  ASSERT_EQ(1u, exits.statuses.size());
  EXPECT_TRUE(WIFEXITED(exits.statuses[0]));
  EXPECT_EQ(3, WEXITSTATUS(exits.statuses[0]));
  ASSERT_EQ(1u, killed.statuses.size());
  EXPECT_TRUE(WIFSIGNALED(killed.statuses[0]));
  EXPECT_EQ(SIGKILL, WTERMSIG(killed.statuses[0]));
  EXPECT_EQ(0u, service().waiters().count());

  const std::string log = log_.log();
  EXPECT_NE(std::string::npos, log.find("terminate child process, pid=" + std::to_string(b) + " status=768\n"));
  EXPECT_NE(std::string::npos, log.find("terminate child process, pid=" + std::to_string(a) + " status=9\n"));
  // Both children are gone: reaped by the watcher.
  EXPECT_EQ(-1, waitpid(a, nullptr, WNOHANG));
  EXPECT_EQ(ECHILD, errno);
}

TEST_F(ChildWaitTest, ChildEndingBeforeAttachIsReportedAfterIt) {
  Owner owner;
  ChildWait wait;
  wait.Bind(&owner, &Owner::OnEnd);
  pid_t pid = spawnShell("exit 0");
  // The record is waiting on the pair before the watcher is attached.
  pollfd entry = {service().fd().get(), POLLIN, 0};
  while (poll(&entry, 1, -1) < 0 && errno == EINTR) {
  }
  wait.Attach(pid);
  ASSERT_TRUE(runUntil([&] { return !owner.statuses.empty(); }));
  EXPECT_EQ(0, owner.statuses[0]);
}

TEST_F(ChildWaitTest, UnboundWatcherAndUnknownChild) {
  ChildWait unbound;
  ChildWait other;
  other.Attach(999999);  // never ends
  pid_t known = spawnShell("exit 1");
  unbound.Attach(known);
  pid_t unknown = spawnShell("exit 2");
  ASSERT_TRUE(runUntil([&] {
    return log_.log().find("pid=" + std::to_string(known) + " ") != std::string::npos &&
           log_.log().find("pid=" + std::to_string(unknown) + " ") != std::string::npos;
  }));
  EXPECT_NE(std::string::npos, log_.log().find("pid=" + std::to_string(unknown) + " status=512\n"));
  ASSERT_EQ(1u, service().waiters().count());
  EXPECT_EQ(&other, service().waiters().head());
}

TEST_F(ChildWaitTest, AttachMovesToTheTailAndDetachRemoves) {
  ChildWait a, b, c;
  a.Attach(100001);
  b.Attach(100002);
  c.Attach(100003);
  a.Attach(100004);  // re-attached with a new pid: moves to the tail
  EXPECT_EQ(3u, service().waiters().count());
  EXPECT_EQ(&b, service().waiters().head());
  EXPECT_EQ(&a, service().waiters().tail());
  b.Detach();
  b.Detach();
  EXPECT_EQ(&c, service().waiters().head());
  {
    ChildWait gone;
    gone.Attach(100005);
    EXPECT_EQ(3u, service().waiters().count());
  }
  EXPECT_EQ(2u, service().waiters().count());
  EXPECT_EQ(100004, a.pid());
}

TEST_F(ChildWaitTest, ChildrenEndingTogetherAreHandledInOneEvent) {
  Owner owner;
  ChildWait waits[3];
  pid_t pids[3];
  blockChld(true);
  for (int i = 0; i < 3; ++i) {
    waits[i].Bind(&owner, &Owner::OnEnd);
    pids[i] = spawnShell(i == 0 ? "exit 5" : i == 1 ? "exit 6" : "exit 7");
    waits[i].Attach(pids[i]);
  }
  for (pid_t pid : pids)
    awaitZombie(pid);
  blockChld(false);  // one SIGCHLD reaps all three

  const uint32_t wakeups = service().count();
  runner_.turn();
  EXPECT_EQ(wakeups + 1, service().count());
  ASSERT_EQ(3u, owner.statuses.size());
  std::vector<int> codes;
  for (int status : owner.statuses)
    codes.push_back(WEXITSTATUS(status));
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ((std::vector<int>{5, 6, 7}), codes);
}

TEST_F(ChildWaitTest, FullQueueDropsRecordsButReapsEveryChildAndKeepsErrno) {
  // Shrink the pair's queue so that a few records fill it.
  int size = 1;
  ASSERT_EQ(0, setsockopt(service().write_end().get(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size));
  Owner owner;
  const int kChildren = 40;
  std::vector<ChildWait> waits(kChildren);
  std::vector<pid_t> pids;
  blockChld(true);
  for (ChildWait& wait : waits) {
    wait.Bind(&owner, &Owner::OnEnd);
    pids.push_back(spawnShell("exit 0"));
    wait.Attach(pids.back());
  }
  for (pid_t pid : pids)
    awaitZombie(pid);
  errno = 12345;
  blockChld(false);  // the handler runs here and must neither block nor touch errno
  EXPECT_EQ(12345, errno);

  for (pid_t pid : pids) {
    EXPECT_EQ(-1, waitpid(pid, nullptr, WNOHANG));  // reaped
    EXPECT_EQ(ECHILD, errno);
  }
  runner_.turn();
  EXPECT_GE(owner.statuses.size(), 1u);
  EXPECT_LT(owner.statuses.size(), static_cast<size_t>(kChildren));
  EXPECT_EQ(kChildren - owner.statuses.size(), service().waiters().count());
}
