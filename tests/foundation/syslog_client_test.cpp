#include "foundation/syslog_client.h"
#include "foundation/syslog_streambuf.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <syslog.h>

#include "foundation/paths.h"
#include "tests/foundation/temp_root.h"
#include "tests/foundation/transport_helpers.h"
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
  ~SyslogTest() override { syslogManager.closelog(); }

  std::string socketPath() const { return root_.path() + Paths::kSyslogSocket; }
  void bindServer(int type) {
    unlink(socketPath().c_str());
    server_ = transport_test::unix_socket(socketPath(), type, true);
    ASSERT_TRUE(server_);
  }
  // The next datagram, or "" when none is waiting.
  std::string receive(int fd = -1) { return transport_test::read_some(fd < 0 ? server_.get() : fd, 0); }

  TempRoot root_{"syslog"};
  testing_support::TestClock clock_;
  Fd server_;
};

}  // namespace

TEST_F(SyslogTest, OneFlushOfThreeLinesIsOneDatagram) {
  bindServer(SOCK_DGRAM);
  syslogManager.openlog("nds", LOG_NDELAY, 0);
  ASSERT_TRUE(syslogManager.connected());
  ManagedSysLogStreamBuf buf(3, 3);
  std::ostream err(&buf);
  err << "one\ntwo\nthree" << std::endl;
  EXPECT_EQ(record(27, "nds", "one") + record(27, "nds", "two") + record(27, "nds", "three"), receive());
  EXPECT_EQ("", receive());

  // A partial line waits for its end; an empty line is an empty record.
  err << "partial" << std::flush;
  EXPECT_EQ("", receive());
  err << " line\n\nb" << std::flush;
  EXPECT_EQ(record(27, "nds", "partial line") + record(27, "nds", "") + record(27, "nds", "b"), receive());
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
}

TEST_F(SyslogTest, StreamServerSwitchesTypeAndReceivesWithoutAddress) {
  signal(SIGPIPE, SIG_IGN);
  bindServer(SOCK_STREAM);
  syslogManager.openlog("id", LOG_NDELAY, 0);
  ASSERT_EQ(SOCK_STREAM, syslogManager.socket_type());
  Fd conn(accept(server_.get(), nullptr, nullptr));
  ManagedSysLogStreamBuf buf(3, 5);
  std::ostream out(&buf);
  out << "a\nb" << std::endl;
  EXPECT_EQ(record(29, "id", "a") + record(29, "id", "b"), receive(conn.get()));

  // The server restarts: the failed flush closes the socket, the next record
  // connects afresh.
  conn.close();
  bindServer(SOCK_STREAM);
  out << "lost" << std::endl;
  EXPECT_FALSE(syslogManager.connected());
  out << "again" << std::endl;
  conn.reset(accept(server_.get(), nullptr, nullptr));
  EXPECT_EQ(record(29, "id", "again"), receive(conn.get()));
  syslogManager.closelog();
  EXPECT_EQ(SOCK_DGRAM, syslogManager.socket_type());
}

// A local socket nobody reads: logging goes on without waiting, the batch
// held back is kept, what does not fit is dropped, and once the socket
// takes records again the count follows the first record.
TEST_F(SyslogTest, AFullSocketNeverBlocksAndTheDroppedRecordsAreCounted) {
  bindServer(SOCK_DGRAM);
  syslogManager.openlog("nds", LOG_NDELAY, 0);
  ManagedSysLogStreamBuf buf(3, 3);
  std::ostream err(&buf);
  int lines = 0;
  while (syslogManager.dropped() < 10 && lines < 100000)
    err << "line " << lines++ << std::endl;
  ASSERT_EQ(syslogManager.dropped(), 10u);
  EXPECT_GT(syslogManager.queued(), 0);
  EXPECT_TRUE(syslogManager.connected());

  std::string all, datagram;
  while (!(datagram = receive()).empty())
    all += datagram;
  err << "after" << std::endl;  // the held batch goes first
  while (!(datagram = receive()).empty())
    all += datagram;
  // Every line up to the held batch arrived in order; the dropped ones
  // are the last ten before "after".
  for (int i = 0; i < lines - 10; ++i)
    ASSERT_NE(all.find(record(27, "nds", "line " + std::to_string(i))), std::string::npos) << i;
  EXPECT_EQ(all.find(record(27, "nds", "line " + std::to_string(lines - 10))), std::string::npos);
  const std::string tail = record(27, "nds", "after") + record(28, "nds", "syslog: 10 records dropped, the log socket was full");
  ASSERT_GE(all.size(), tail.size());
  EXPECT_EQ(all.substr(all.size() - tail.size()), tail);
  EXPECT_EQ(syslogManager.dropped(), 0u);
}
