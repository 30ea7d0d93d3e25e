#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/paths.h"
#include "foundation/pid_file.h"
#include "foundation/process.h"
#include "tests/foundation/temp_root.h"

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

// A FIFO at the pid file's path (with no reader, a plain open for writing
// would wait for one) is a silent failure, and it stays.
TEST(PidFile, AFifoAtItsPathIsASilentFailure) {
  TempRoot root("pid");
  const std::string path = root.path() + "/var/run/server.pid";
  ASSERT_EQ(0, mkfifo(path.c_str(), 0644));
  testing::internal::CaptureStderr();
  EXPECT_EQ(-1, Linux::Run("server").fd());
  EXPECT_EQ("", testing::internal::GetCapturedStderr());
  struct stat st;
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
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
  mkdir((root.path() + "/proc/90").c_str(), 0755);
  ASSERT_EQ(0, mkfifo((root.path() + "/proc/90/stat").c_str(), 0644));  // no process: skipped, not waited on

  EXPECT_EQ(12, find_proc_by_name("pppd", 56));  // wrong hint: scans
  EXPECT_EQ(34, find_proc_by_name("t38 (x)y", -1));
  EXPECT_EQ(-1, find_proc_by_name("t38 (x", -1));
  EXPECT_EQ(-1, find_proc_by_name("nobody", 0));
  EXPECT_EQ(-1, find_proc_by_name(std::string(300, 'l').c_str(), 78));
  EXPECT_EQ(56, find_proc_by_name("fax", 90));
}
