// The watcher reaps every child of the process: tests that fork for other
// reasons live in other executables.
#include "foundation/child_wait.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <memory>
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

void holdChld(bool hold) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGCHLD);
  sigprocmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// Waits until the children have ended, without reaping them.
void awaitEnded(const std::vector<pid_t>& pids) {
  for (pid_t pid : pids) {
    siginfo_t info;
    while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
  }
}

struct Owner {
  void OnEnd(int status) { statuses.push_back(status); }
  std::vector<int> statuses;
};

class ChildWaitTest : public testing::Test {
protected:
  ChildWaitTest() { ChildWait::Activate(); }
  ChildWaitService& service() { return *ChildWaitService::childWaitService; }
  // Bounded, so that a lost record fails the test instead of hanging it.
  bool runUntil(const std::function<bool()>& cond) { return runner_.until(cond, 1000); }

  testing_support::TestClock clock_;
  testing_support::LogCapture log_;
  testing_support::LoopRunner runner_;
};

}  // namespace

TEST_F(ChildWaitTest, ExitStatusAndSignalReachTheirOwnWatchers) {
  Owner exits, killed;
  ChildWait first, second, unbound, other;
  first.Bind(&exits, &Owner::OnEnd);
  second.Bind(&killed, &Owner::OnEnd);
  auto gone = std::make_unique<ChildWait>();
  gone->Attach(999998);
  other.Attach(999999);  // never ends

  pid_t a = spawnShell("kill -KILL $$");
  second.Attach(a);
  pid_t b = spawnShell("exit 3");
  first.Attach(b);
  pid_t c = spawnShell("exit 1");
  unbound.Attach(c);
  pid_t d = spawnShell("exit 2");  // nobody watches it
  EXPECT_EQ(5u, service().waiters().count());
  gone.reset();  // destruction takes a watcher off

  ASSERT_TRUE(runUntil([&] { return log_.log().find("pid=" + std::to_string(d) + " ") != std::string::npos &&
                                    exits.statuses.size() + killed.statuses.size() == 2 &&
                                    service().waiters().count() == 1; }));
  ASSERT_EQ(1u, exits.statuses.size());
  EXPECT_TRUE(WIFEXITED(exits.statuses[0]) && WEXITSTATUS(exits.statuses[0]) == 3);
  ASSERT_EQ(1u, killed.statuses.size());
  EXPECT_TRUE(WIFSIGNALED(killed.statuses[0]) && WTERMSIG(killed.statuses[0]) == SIGKILL);
  EXPECT_EQ(&other, service().waiters().head());
  for (const auto& line : {"pid=" + std::to_string(b) + " status=768\n", "pid=" + std::to_string(a) + " status=9\n",
                           "pid=" + std::to_string(c) + " status=256\n", "pid=" + std::to_string(d) + " status=512\n"})
    EXPECT_NE(std::string::npos, log_.log().find("terminate child process, " + line)) << line;
  EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));  // every child reaped
  EXPECT_EQ(ECHILD, errno);
}

TEST_F(ChildWaitTest, FullQueueDropsRecordsButReapsEveryChildAndKeepsErrno) {
  int size = 1;  // the smallest queue: a few records fill it
  ASSERT_EQ(0, setsockopt(service().write_end().get(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size));
  Owner owner;
  const size_t kChildren = 40;
  std::vector<ChildWait> waits(kChildren);
  std::vector<pid_t> pids;
  holdChld(true);
  for (ChildWait& wait : waits) {
    wait.Bind(&owner, &Owner::OnEnd);
    pids.push_back(spawnShell("exit 0"));
    wait.Attach(pids.back());
  }
  awaitEnded(pids);
  errno = 12345;
  holdChld(false);  // the handler runs here: it must neither block nor touch errno
  EXPECT_EQ(12345, errno);

  EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));  // every child reaped
  EXPECT_EQ(ECHILD, errno);
  runner_.turn();
  EXPECT_GE(owner.statuses.size(), 1u);
  EXPECT_LT(owner.statuses.size(), kChildren);
  EXPECT_EQ(kChildren - owner.statuses.size(), service().waiters().count());
}

TEST_F(ChildWaitTest, SignalReachesOnlyAChildThatStillRuns) {
  Owner owner;
  ChildWait never, running, ended;
  EXPECT_FALSE(never.Signal(SIGTERM));  // no child recorded

  running.Bind(&owner, &Owner::OnEnd);
  running.Attach(spawnShell("exec sleep 30"));
  EXPECT_TRUE(running.Signal(SIGTERM));
  ASSERT_TRUE(runUntil([&] { return owner.statuses.size() == 1; }));
  EXPECT_TRUE(WIFSIGNALED(owner.statuses[0]) && WTERMSIG(owner.statuses[0]) == SIGTERM);
  // Reaped: its pid may be another process's by now.
  EXPECT_FALSE(running.Signal(SIGTERM));

  // Ended but not yet reaped: nothing is sent either.
  holdChld(true);
  pid_t pid = spawnShell("exit 0");
  ended.Bind(&owner, &Owner::OnEnd);
  ended.Attach(pid);
  awaitEnded({pid});
  EXPECT_FALSE(ended.Signal(SIGTERM));
  holdChld(false);
  ASSERT_TRUE(runUntil([&] { return owner.statuses.size() == 2; }));
  EXPECT_EQ(owner.statuses[1], 0);
}
