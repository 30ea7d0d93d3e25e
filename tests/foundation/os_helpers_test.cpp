#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/ipc_signal.h"
#include "foundation/paths.h"
#include "foundation/pid_file.h"
#include "foundation/process.h"
#include "tests/foundation/temp_root.h"

namespace {

volatile sig_atomic_t gotInfoPid = 0;
void plainHandler(int) {}
void infoHandler(int, siginfo_t* info, void*) { gotInfoPid = info->si_pid; }

struct sigaction current(int signo) {
  struct sigaction action;
  sigaction(signo, nullptr, &action);
  return action;
}

}  // namespace

TEST(PidFile, HoldsThePidWhileAliveAndAnUnwritableDirectoryIsSilent) {
  TempRoot root("pid");
  const std::string path = root.path() + "/var/run/server.pid";
  {
    Linux::Run run("server");
    EXPECT_EQ(path, run.path());
    std::ifstream in(path);
    EXPECT_EQ(std::to_string(getpid()), std::string(std::istreambuf_iterator<char>(in), {}));
  }
  struct stat st;
  EXPECT_NE(0, stat(path.c_str(), &st));
  ASSERT_EQ(0, rmdir((root.path() + "/var/run").c_str()));
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, Linux::Run("server").fd());
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
}

TEST(Signals, InstallationFlagsAndMasks) {
  using namespace IPC::Signal;
  EXPECT_FALSE(Set::is_signal(0) || Set::is_signal(NSIG));
  // A siginfo handler gets SA_SIGINFO added and the mask as given.
  ASSERT_EQ(0, handle(SIGUSR1, infoHandler, Set(SIGHUP, SIGUSR2, SIGPIPE), SA_RESTART));
  struct sigaction a = current(SIGUSR1);
  EXPECT_EQ(SA_SIGINFO | SA_RESTART, a.sa_flags & (SA_SIGINFO | SA_RESTART));
  EXPECT_TRUE(sigismember(&a.sa_mask, SIGHUP) && sigismember(&a.sa_mask, SIGPIPE));
  EXPECT_FALSE(sigismember(&a.sa_mask, SIGINT));
  raise(SIGUSR1);
  EXPECT_EQ(getpid(), gotInfoPid);
  // A plain handler gets it taken out; enable_int clears SA_RESTART.
  ASSERT_EQ(0, handle(SIGUSR1, plainHandler, SA_SIGINFO | SA_RESTART));
  EXPECT_EQ(SA_RESTART, current(SIGUSR1).sa_flags & (SA_SIGINFO | SA_RESTART));
  EXPECT_EQ(0, enable_int(SIGUSR1));
  EXPECT_FALSE(current(SIGUSR1).sa_flags & SA_RESTART);
  EXPECT_EQ(0, system(SIGUSR1));
  EXPECT_EQ(SIG_DFL, current(SIGUSR1).sa_handler);
  EXPECT_EQ(-1, handle(SIGKILL, plainHandler, 0));
}

TEST(FindProcByName, ScansAFakeProcessTable) {
  TempRoot root("proc");
  auto addProc = [&](const std::string& entry, const std::string& stat) {
    const std::string dir = root.path() + "/proc/" + entry;
    mkdir(dir.c_str(), 0755);
    std::ofstream(dir + "/stat") << stat;
  };
  addProc("self", "1 (pppd) S 0");  // not a number: skipped
  addProc("12", "12 (pppd) S 1 1 1");
  addProc("34", "34 (t38 (x)y) S 1 1 1");
  addProc("56", "56 (fax) S 1 1 1");
  addProc("78", std::string("78 (") + std::string(300, 'l') + ") S");  // cut at 255 bytes: no ")"

  EXPECT_EQ(12, find_proc_by_name("pppd", 56));  // wrong hint: scans
  EXPECT_EQ(34, find_proc_by_name("t38 (x)y", -1));
  EXPECT_EQ(-1, find_proc_by_name("t38 (x", -1));
  EXPECT_EQ(-1, find_proc_by_name("nobody", 0));
  EXPECT_EQ(-1, find_proc_by_name(std::string(300, 'l').c_str(), 78));
}
