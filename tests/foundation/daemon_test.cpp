// Daemon mode detaches through fork(): the test runs the detaching part in a
// forked child.
#include "foundation/daemon.h"
#include "foundation/log_file_streambuf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/paths.h"
#include "tests/foundation/temp_root.h"
#include "tests/foundation/transport_helpers.h"
#include "tests/support/test_clock.h"

namespace {

// 1738763587 is Wed Feb  5 13:53:07 UTC 2025.
const uint64_t kNowMs = 1738763587000ull + 250;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class DaemonTest : public testing::Test {
protected:
  DaemonTest() : clock_(kNowMs) {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  TempRoot root_{"daemon"};
  testing_support::TestClock clock_;
};

}  // namespace

TEST_F(DaemonTest, SyslogModeRoutesTheThreeStreamsAndTheRawDescriptors) {
  Fd server = transport_test::unix_socket(root_.path() + Paths::kSyslogSocket, SOCK_DGRAM, true);
  ASSERT_TRUE(server);
  int report[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, report));
  pid_t child = fork();
  if (child == 0) {  // the detached grandchild reports back through the log socket and the pipe
    Daemon::Params params;
    params.nochdir = true;
    params.name = "nds-" + std::string(100, 'x');
    Daemon::Init(params);
    std::cout << "notice line" << std::endl;
    std::cerr << "error 1\nerror 2\nerror 3\n";  // standard error flushes after every insertion
    std::clog << "debug line" << std::endl;
    ssize_t n = write(STDOUT_FILENO, "raw bytes", 9);
    n = write(report[1], std::cin.tie() == &std::cout ? "tied" : "untied", 4);
    static_cast<void>(n);
    _exit(0);
  }
  close(report[1]);
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);  // daemon(3)'s parent leaves at once

  auto next = [](int fd) { return transport_test::read_some(fd, 20000); };
  const std::string head = "Feb  5 13:53:07 nds-" + std::string(75, 'x') + ": ", nul(1, '\0');
  EXPECT_EQ("<29>" + head + "notice line" + nul, next(server.get()));
  EXPECT_EQ("<27>" + head + "error 1" + nul + "<27>" + head + "error 2" + nul + "<27>" + head + "error 3" + nul,
            next(server.get()));
  EXPECT_EQ("<31>" + head + "debug line" + nul, next(server.get()));
  EXPECT_EQ("raw bytes", next(server.get()));
  EXPECT_EQ("tied", next(report[0]));
  close(report[0]);
}

TEST_F(DaemonTest, HourlyFilesChangeWithTheHourAndContinueOpenLines) {
  const std::string dir = root_.path();
  const std::string first = dir + "/2025_02_05-13.log";
  std::ofstream(first) << "earlier run\n";
  {
    LogFileStreamBuf buf(dir);
    std::ostream out(&buf);
    clock_.set_ms(1738763999000ull + 500);  // 13:59:59.5
    out << "a\nb" << std::flush;
    out << "c\nd" << std::flush;  // continues the open line without a prefix
    clock_.advance(3);
    out << "e" << std::endl;
    clock_.set_ms(1738764000000ull + 42);  // 14:00:00.042
    out << "next hour" << std::endl;
    out << std::string(40, 'l') << std::endl;  // longer than the put area
  }
  EXPECT_EQ("earlier run\n59:59:500000: a\n59:59:500000: bc\n59:59:500000: de\n", readFile(first));
  EXPECT_EQ("00:00:42000: next hour\n00:00:42000: " + std::string(40, 'l') + "\n",
            readFile(dir + "/2025_02_05-14.log"));
}

// Something other than a regular file at an hour's name (a FIFO without a
// reader, which a plain open would wait for) takes none of that hour's
// lines; the next hour's file takes its own.
TEST_F(DaemonTest, AnHourlyFileThatIsNoRegularFileIsSkipped) {
  const std::string dir = root_.path();
  ASSERT_EQ(0, mkfifo((dir + "/2025_02_05-13.log").c_str(), 0644));
  {
    LogFileStreamBuf buf(dir);
    std::ostream out(&buf);
    out << "lost" << std::endl;
    clock_.set_ms(1738764000000ull + 42);  // 14:00:00.042
    out << "kept" << std::endl;
  }
  EXPECT_EQ("00:00:42000: kept\n", readFile(dir + "/2025_02_05-14.log"));
}
