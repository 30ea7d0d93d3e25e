#include "foundation/syslog_client.h"
#include "foundation/syslog_streambuf.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ostream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>
#include <vector>

#include "foundation/paths.h"
#include "tests/foundation/temp_root.h"
#include "tests/support/test_clock.h"

namespace {

// 1738763587 is Wed Feb  5 13:53:07 UTC 2025.
const uint64_t kNowMs = 1738763587000ull + 250;
const char kStamp[] = "Feb  5 13:53:07 ";

std::string record(int pri, const std::string& ident, const std::string& text) {
  return "<" + std::to_string(pri) + ">" + kStamp + ident + ": " + text + std::string(1, '\0');
}

class SyslogTest : public testing::Test {
protected:
  SyslogTest() : clock_(kNowMs) {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  ~SyslogTest() override {
    syslogManager.closelog();
    if (server_ >= 0)
      close(server_);
  }

  std::string socketPath() const { return root_.path() + Paths::kSyslogSocket; }

  void bindServer(int type) {
    server_ = socket(AF_UNIX, type, 0);
    ASSERT_GE(server_, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(socketPath().size(), sizeof addr.sun_path);
    socketPath().copy(addr.sun_path, sizeof addr.sun_path);
    unlink(socketPath().c_str());
    ASSERT_EQ(0, bind(server_, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
    if (type == SOCK_STREAM) {
      ASSERT_EQ(0, listen(server_, 4));
    }
  }

  void stopServer() {
    close(server_);
    server_ = -1;
    unlink(socketPath().c_str());
  }

  // The next datagram, or "" when none is waiting.
  std::string receive(int fd = -1) {
    std::vector<char> buf(65536);
    ssize_t n = recv(fd < 0 ? server_ : fd, buf.data(), buf.size(), MSG_DONTWAIT);
    return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
  }

  TempRoot root_{"syslog"};
  testing_support::TestClock clock_;
  int server_ = -1;
};

}  // namespace

TEST_F(SyslogTest, OneFlushOfThreeLinesIsOneDatagram) {
  bindServer(SOCK_DGRAM);
  syslogManager.openlog("nds-S250205-1353", LOG_NDELAY, 0);
  ASSERT_TRUE(syslogManager.connected());
  ManagedSysLogStreamBuf buf(3, 3);
  std::ostream err(&buf);

  err << "one\ntwo\nthree" << std::endl;
  EXPECT_EQ(record(27, "nds-S250205-1353", "one") + record(27, "nds-S250205-1353", "two") +
                record(27, "nds-S250205-1353", "three"),
            receive());
  EXPECT_EQ("", receive());

  // A partial line waits for its end; a flush after a line end sends the rest too.
  err << "partial" << std::flush;
  EXPECT_EQ("", receive());
  err << " line\nb" << std::flush;
  EXPECT_EQ(record(27, "nds-S250205-1353", "partial line") + record(27, "nds-S250205-1353", "b"), receive());

  // An empty line in the middle is an empty record.
  err << "\ny\n" << std::flush;
  EXPECT_EQ(record(27, "nds-S250205-1353", "") + record(27, "nds-S250205-1353", "y"), receive());
}

TEST_F(SyslogTest, RecordAndBatchLimits) {
  bindServer(SOCK_DGRAM);
  syslogManager.openlog("id", LOG_NDELAY, 0);
  ManagedSysLogStreamBuf buf(3, 5);
  std::ostream out(&buf);
  // 16383 bytes without a line end fill the buffer: one record, cut to the line limit.
  out << std::string(ManagedSysLogStreamBuf::kAreaSize - 1, 'z') << std::flush;
  const std::string head = "<29>" + std::string(kStamp) + "id: ";
  EXPECT_EQ(head + std::string(SysLogManager::kLineSize - 1 - head.size(), 'z') + std::string(1, '\0'), receive());

  // 300 lines go out as 256 and 44.
  std::string first, second;
  for (int i = 0; i < 300; ++i) {
    out << i << '\n';
    (i < 256 ? first : second) += record(29, "id", std::to_string(i));
  }
  out.flush();
  EXPECT_EQ(first, receive());
  EXPECT_EQ(second, receive());
  EXPECT_EQ("", receive());

  // 13 records of 1023 + 1 bytes reach 12289 bytes: sent without a flush.
  const std::string text(1000, 'q');
  for (int i = 0; i < 13; ++i)
    syslogManager.syslog(LOG_DAEMON | LOG_INFO, "%s", text.c_str());
  EXPECT_EQ(13u * SysLogManager::kLineSize, receive().size());
}

TEST_F(SyslogTest, HeaderOptionsAndFacilities) {
  bindServer(SOCK_DGRAM);
  syslogManager.openlog("prog", LOG_PID | LOG_NDELAY, LOG_LOCAL0);
  syslogManager.syslog(LOG_ERR, "value %d", 5);
  syslogManager.syslog(LOG_KERN | LOG_WARNING, "kernel");  // facility 0 takes the default
  syslogManager.syslog(LOG_MAIL | LOG_INFO, "mail");
  EXPECT_GT(syslogManager.sendmsg(), 0);
  const std::string pid = "[" + std::to_string(getpid()) + "]";
  EXPECT_EQ(std::string("<131>") + kStamp + "prog" + pid + ": value 5" + '\0' + "<132>" + kStamp + "prog" + pid +
                ": kernel" + '\0' + "<22>" + kStamp + "prog" + pid + ": mail" + '\0',
            receive());

  // An invalid facility keeps the default; an empty identity drops ": ".
  syslogManager.openlog("", LOG_NDELAY, 0x7);
  syslogManager.syslog(LOG_NOTICE, "bare");
  syslogManager.sendmsg();
  EXPECT_EQ(std::string("<133>") + kStamp + "bare" + '\0', receive());
  EXPECT_EQ(0, syslogManager.sendmsg());
}

TEST_F(SyslogTest, StreamServerSwitchesTypeAndReceivesWithoutAddress) {
  signal(SIGPIPE, SIG_IGN);
  bindServer(SOCK_STREAM);
  syslogManager.openlog("id", LOG_NDELAY, 0);
  ASSERT_TRUE(syslogManager.connected());
  EXPECT_EQ(SOCK_STREAM, syslogManager.socket_type());
  int conn = accept(server_, nullptr, nullptr);
  ASSERT_GE(conn, 0);

  ManagedSysLogStreamBuf buf(3, 5);
  std::ostream out(&buf);
  out << "a\nb" << std::endl;
  EXPECT_EQ(record(29, "id", "a") + record(29, "id", "b"), receive(conn));
  out << "c" << std::endl;
  EXPECT_EQ(record(29, "id", "c"), receive(conn));

  // The server restarts: the failed flush closes the socket, the next record
  // connects afresh.
  close(conn);
  stopServer();
  bindServer(SOCK_STREAM);
  out << "lost" << std::endl;
  EXPECT_FALSE(syslogManager.connected());
  out << "again" << std::endl;
  conn = accept(server_, nullptr, nullptr);
  ASSERT_GE(conn, 0);
  EXPECT_EQ(record(29, "id", "again"), receive(conn));
  close(conn);

  syslogManager.closelog();
  EXPECT_EQ(SOCK_DGRAM, syslogManager.socket_type());
}

TEST_F(SyslogTest, DatagramServerGoneAndBack) {
  bindServer(SOCK_DGRAM);
  syslogManager.openlog("id", LOG_NDELAY, 0);
  stopServer();
  // The batch send fails at the 256th record: the client reconnects, finds no
  // server and drops that record with the batch.
  for (int i = 0; i < 256; ++i)
    syslogManager.syslog(LOG_ERR, "r%d", i);
  EXPECT_FALSE(syslogManager.connected());
  EXPECT_EQ(0, syslogManager.queued());
  // Without a server records are dropped at once.
  syslogManager.syslog(LOG_ERR, "nobody");
  EXPECT_EQ(0, syslogManager.queued());

  bindServer(SOCK_DGRAM);
  syslogManager.syslog(LOG_ERR, "back");
  EXPECT_TRUE(syslogManager.connected());
  syslogManager.sendmsg();
  EXPECT_EQ(record(11, "id", "back"), receive());
}
