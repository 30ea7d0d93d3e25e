// Daemon mode detaches through fork(): the test runs the detaching part in a
// forked child.
#include "foundation/daemon.h"
#include "foundation/log_file_streambuf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/paths.h"
#include "tests/foundation/temp_root.h"
#include "tests/support/test_clock.h"

namespace {

// 1738763587 is Wed Feb  5 13:53:07 UTC 2025.
const uint64_t kNowMs = 1738763587000ull + 250;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Waits (with a bound, for failures) until fd is readable; returns what one
// read gives, "" on time-out or end of file.
std::string readSome(int fd) {
  pollfd entry = {fd, POLLIN, 0};
  if (poll(&entry, 1, 20000) != 1)
    return "";
  char buf[4096];
  ssize_t n = read(fd, buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
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
  int server = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  (root_.path() + Paths::kSyslogSocket).copy(addr.sun_path, sizeof addr.sun_path - 1);
  ASSERT_EQ(0, bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
  int report[2];
  ASSERT_EQ(0, pipe(report));
  pid_t child = fork();
  if (child == 0) {  // the detached grandchild reports back through the log socket and the pipe
    Daemon::Params params;
    params.nochdir = true;
    params.name = "nds-" + std::string(100, 'x');
    Daemon::Init(params);
    params.mode = 1;
    Daemon::Init(params);  // changes nothing
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

  const std::string head = "Feb  5 13:53:07 nds-" + std::string(75, 'x') + ": ";
  EXPECT_EQ("<29>" + head + "notice line" + std::string(1, '\0'), readSome(server));
  EXPECT_EQ("<27>" + head + "error 1" + std::string(1, '\0') + "<27>" + head + "error 2" + std::string(1, '\0') +
                "<27>" + head + "error 3" + std::string(1, '\0'),
            readSome(server));
  EXPECT_EQ("<31>" + head + "debug line" + std::string(1, '\0'), readSome(server));
  EXPECT_EQ("raw bytes", readSome(server));
  EXPECT_EQ("tied", readSome(report[0]));
  close(report[0]);
  close(server);
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
