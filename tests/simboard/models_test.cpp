#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <map>
#include <string>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "foundation/device_io.h"
#include "foundation/multiplexer.h"
#include "simboard/board.h"
#include "simboard/dsp_data.h"
#include "simboard/hal.h"
#include "simboard/line_offers.h"
#include "simboard/mcc.h"
#include "simboard/payload_log.h"
#include "simboard/rtp_ext.h"
#include "simboard/watchdog.h"
#include "tests/support/external_tools.h"
#include "tests/support/line_listener.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using namespace SimBoard;

namespace {

int request(int fd, unsigned long number, Bytes arg) { return DevIo::ioctl(fd, number, arg.data()); }

int allocate(uint32_t type = 3) {
  int fd = DevIo::open("/dev/mcc/ctl", O_RDWR | O_NONBLOCK);
  EXPECT_EQ(request(fd, Mcc::Allocate, words({type, 512, 0, 1, 4})), 0);
  return fd;
}


short revents(int fd, short events) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, 0) == 1 ? p.revents : 0;
}

std::string readFrame(int fd) {
  char buf[64];
  ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
  return n < 0 ? "-" : std::string(buf, static_cast<size_t>(n));
}
}  // namespace

// The switch's normal paths are checked through the switch object; here
// what the driver refuses.
TEST(SimHal, RefusesWhatTheDriverRefuses) {
  Board board;
  Hal& hal = board.hal();
  int fd = DevIo::open("/dev/hal", O_RDWR);
  EXPECT_EQ(request(fd, Hal::Connect, words({uint32_t(Hal::Channels), 1})), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(request(fd, Hal::Write, words({7, 256})), -1);
  EXPECT_EQ(request(fd, Hal::SpiWrite, {3, 87, 56}), 0);
  EXPECT_EQ(hal.spi_register(3, 87), 56);
  hal.set_spi_register(2, 51, 0xc5);
  EXPECT_EQ(request(fd, Hal::SpiRead, {2, 51, 255}), 0xc5);
  EXPECT_EQ(request(fd, Hal::SpiRead, {8, 51, 255}), -1);
  EXPECT_EQ(errno, EINVAL);
  hal.set_spi_present(false);
  EXPECT_EQ(request(fd, Hal::SpiWrite, {3, 87, 56}), -1);
  EXPECT_EQ(errno, ENODEV);
  ::close(fd);
}

TEST(SimMcc, AllocatesChannelsAndCountsThem) {
  Board board;
  Mcc& mcc = board.mcc();
  mcc.set_next_timeslot(300);
  int fd = DevIo::open("/dev/mcc/ctl", O_RDWR | O_NONBLOCK);
  EXPECT_EQ(DevIo::ioctl(fd, Mcc::Timeslot, nullptr), -1);
  EXPECT_EQ(DevIo::write(fd, "x", 1), -1);  // no channel yet
  EXPECT_EQ(errno, EINVAL);
  ASSERT_EQ(request(fd, Mcc::Allocate, words({1, 512, 0, 1, 4})), 0);
  EXPECT_EQ(request(fd, Mcc::Allocate, words({1, 512, 0, 1, 4})), -1);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_EQ(DevIo::ioctl(fd, Mcc::Timeslot, nullptr), 300);
  int third = DevIo::open("/dev/mcc/ctl", O_RDWR);
  EXPECT_EQ(request(third, Mcc::Allocate, words({4, 512, 0, 1, 4})), -1);  // no such type
  mcc.set_counts(5, 6, 7);
  Bytes counts(16, 0xee);
  EXPECT_EQ(DevIo::ioctl(third, Mcc::Counts, counts.data()), 0);
  EXPECT_EQ(as_hex(counts), "00 00 00 05 00 00 00 06 00 00 00 07 ee ee ee ee");
  ::close(fd);
  EXPECT_FALSE(mcc.channel(0).open());
  ::close(third);

  // A bounded number of closed channels is kept; open ones stay.
  int kept = allocate();
  for (size_t i = 0; i < Mcc::KeptChannels + 10; ++i)
    ::close(allocate());
  board.pump();
  EXPECT_EQ(mcc.channel_count(), Mcc::KeptChannels);
  EXPECT_TRUE(mcc.channel(0).open());
  ::close(kept);
}

TEST(SimMcc, JoinedChannelsCarryEachOthersFrames) {
  Board board;
  Mcc& mcc = board.mcc();
  int a = allocate(), b = allocate();
  mcc.join(mcc.channel(0), mcc.channel(1));
  EXPECT_EQ(DevIo::write(a, "ping", 4), 4);
  char buf[16];
  ASSERT_EQ(DevIo::read(b, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "ping");

  // A peer that does not read holds the frames back: the writer's end fills.
  Bytes frame(200, 0x55);
  int written = 0;
  while (DevIo::write(a, frame.data(), frame.size()) == 200)
    ++written;
  EXPECT_EQ(errno, EAGAIN);
  int read = 0;
  while (DevIo::read(b, buf, sizeof buf) > 0)
    ++read;
  EXPECT_EQ(read, written);
  pollfd p{a, POLLOUT, 0};
  EXPECT_EQ(::poll(&p, 1, 0), 1);
  ::close(a);
  ::close(b);
}

TEST(SimWatchdog, RecordsTheLoopsWrites) {
  Board board;
  testing_support::TestClock clock;
  {
    testing_support::LoopRunner loop(true);
    EXPECT_TRUE(multiplexer.watchdog_open());
    loop.turn(3);  // idle turns of 1000 ms each
  }
  std::deque<std::string> expected = {"START", "PING", "PING", "PING", "STOP"};
  EXPECT_EQ(board.watchdog().records(), expected);
  EXPECT_EQ(board.watchdog().total(), 5u);
  EXPECT_EQ(board.watchdog().open_count(), 0u);
  // A write is taken as it is made: reading the records looks at no other file.
  Fd wd(DevIo::open("/dev/misc/gw-wd", O_WRONLY));
  const uint64_t sweeps = board.sweeps();
  ASSERT_EQ(DevIo::write(wd.get(), "PING", 4), 4);
  EXPECT_EQ(board.watchdog().records().back(), "PING");
  EXPECT_EQ(board.watchdog().total(), 6u);
  EXPECT_EQ(board.sweeps(), sweeps);
}

// The extension sessions' queue: one payload per read, the next-source
// request telling the head of what is still unread.
TEST(SimRtpExt, QueueAndAttachment) {
  Board board;
  RtpExt& ext = board.rtp_ext();
  int fd = DevIo::open("/dev/rtp_ext", O_RDWR);
  RtpExtSession& s = ext.session(0);
  // Attaching needs an initialised session and an open "/dev/rtp" session.
  int hal = DevIo::open("/dev/hal", O_RDWR);
  EXPECT_EQ(request(fd, RtpExt::Attach, words({uint32_t(hal), 1})), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(request(fd, RtpExt::Init, words({0x01670000, 1, 2, 3, 4})), 0);
  EXPECT_EQ(request(fd, RtpExt::Attach, words({uint32_t(hal), 1})), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_FALSE(s.attached());

  Bytes source(12);
  EXPECT_EQ(DevIo::ioctl(fd, RtpExt::NextSource, source.data()), -1);
  EXPECT_EQ(errno, EAGAIN);
  s.inject(7, 0x0A000005, {1, 2, 3});
  s.inject(8, 0x0A000006, {4});
  uint8_t buf[16];
  struct {
    Bytes source;
    ssize_t length;
  } heads[] = {{words({7, 0x0A000005, 0}), 3}, {words({8, 0x0A000006, 0}), 1}};
  for (const auto& head : heads) {
    EXPECT_EQ(DevIo::ioctl(fd, RtpExt::NextSource, source.data()), 0);
    EXPECT_EQ(source, head.source);
    EXPECT_EQ(DevIo::read(fd, buf, sizeof buf), head.length);
  }
  EXPECT_EQ(s.queued(), 0u);
  EXPECT_EQ(DevIo::read(fd, buf, sizeof buf), -1);
  EXPECT_EQ(errno, EAGAIN);
  ::close(hal);
  ::close(fd);
}

// A full line refuses at once and reports no POLLOUT; emptied, what the
// daemon wrote before reaches the board in order and POLLOUT returns.
TEST(SimMcc, AFullLineRefusesUntilEmptied) {
  Board board;
  int fd = allocate();
  MccChannel& ch = board.mcc().channel(0);
  ch.stall(true);
  EXPECT_EQ(DevIo::write(fd, "a", 1), 1);
  ch.line_full(true);
  EXPECT_EQ(DevIo::write(fd, "b", 1), -1);
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_EQ(revents(fd, POLLOUT), 0);
  ch.stall(false);
  EXPECT_EQ(revents(fd, POLLOUT), 0);
  EXPECT_TRUE(ch.sent().empty());
  ch.line_full(false);
  EXPECT_EQ(revents(fd, POLLOUT), POLLOUT);
  EXPECT_EQ(DevIo::write(fd, "c", 1), 1);
  EXPECT_EQ(ch.sent(), (std::deque<Bytes>{{'a'}, {'c'}}));
  ::close(fd);
}

TEST(SimDspData, ChannelsAndTheirBChannelTable) {
  Board board;
  DspData& dsp = board.dsp_data();
  dsp.set_next_timeslots(700, 900);
  int fd = DevIo::open("/dev/dsp-data", O_RDWR | O_NONBLOCK);
  EXPECT_EQ(DevIo::ioctl(fd, DspData::Channel, nullptr), 700);
  DspDataChannel& ch = dsp.channel(0);
  Bytes b = words({2, 0xffffffff});
  EXPECT_EQ(DevIo::ioctl(fd, DspData::AddB, b.data()), 0);
  EXPECT_EQ(as_hex(b), "00 00 00 02 00 00 03 84");
  struct Case {
    unsigned long request;
    Bytes arg;
    int error;
  };
  for (const Case& c : {Case{DspData::AddB, words({2, 0xffffffff}), EBUSY},
                        Case{DspData::AddB, words({DspData::BChannels, 0xffffffff}), EINVAL},
                        Case{DspData::RemoveB, words({2, 901}), EINVAL}, Case{DspData::RemoveB, words({3, 900}), EINVAL}}) {
    Bytes arg = c.arg;
    EXPECT_EQ(DevIo::ioctl(fd, c.request, arg.data()), -1);
    EXPECT_EQ(errno, c.error);
  }
  EXPECT_EQ(ch.b_channels(), (std::map<uint32_t, int>{{2, 900}}));
  b = words({2, 900});
  EXPECT_EQ(DevIo::ioctl(fd, DspData::RemoveB, b.data()), 0);
  EXPECT_TRUE(ch.b_channels().empty());
  EXPECT_EQ(DevIo::write(fd, "d", 1), 1);
  EXPECT_EQ(ch.sent(), std::deque<Bytes>{{'d'}});
  ::close(fd);
}

// A line switched to a trunk time slot goes to the peer bound at the path,
// once; without one the board keeps the channel until a later check.
TEST(SimLines, OfferedToAPeerOnceSwitchedToATrunk) {
  Board board;
  char dir[] = "/tmp/simlines-XXXXXX";
  ASSERT_TRUE(mkdtemp(dir));
  std::string path = std::string(dir) + "/lines";
  LineOffers offers(path);
  int fd = allocate();  // switch number 256
  int hal = DevIo::open("/dev/hal", O_RDWR);
  EXPECT_EQ(request(hal, Hal::Connect, words({256, 16})), 0);
  offers.check(board);
  EXPECT_FALSE(board.mcc().channel(0).file().external());

  testing_support::LineListener peer(path);
  ASSERT_TRUE(peer.bound());
  offers.check(board);  // the switch has not changed since
  EXPECT_EQ(request(hal, Hal::Connect, words({16, 256})), 0);
  offers.check(board);
  EXPECT_EQ(request(hal, Hal::Connect, words({17, 256})), 0);
  offers.check(board);

  std::string text;
  Fd line = peer.take(text, 0);
  ASSERT_TRUE(line);
  EXPECT_EQ(text, "16 256");
  EXPECT_FALSE(peer.take(text, 0));  // once only
  EXPECT_EQ(DevIo::write(fd, "x", 1), 1);
  EXPECT_EQ(readFrame(line.get()), "x");
  ::close(fd);
  ::close(hal);
  ::unlink(path.c_str());
  ::rmdir(dir);
}

// What the daemon writes to sessions, appended line by line; once the
// file holds its limit, the next line starts a new file and the full one
// becomes "<path>.old" (the lines before it are dropped).
TEST(SimPayloadLog, AppendsALinePerPayloadAndKeepsTheLatest) {
  testing_support::ScratchDir dir("payload-log");
  const std::string path = dir.path() + "/sent", old = path + ".old";
  PayloadLog log(path, 20);
  log.add(0, {0x01});
  log.add(1, {0x02, 0x03});
  log.add(0, {0x04});
  EXPECT_EQ(testing_support::readFile(path), "0 01\n1 02 03\n0 04\n");  // 18 bytes
  log.add(0, {0x05});  // 23 bytes: a new file
  EXPECT_EQ(testing_support::readFile(old), "0 01\n1 02 03\n0 04\n");
  EXPECT_EQ(testing_support::readFile(path), "0 05\n");
  EXPECT_EQ(read_lines(path), "0 01\n1 02 03\n0 04\n0 05\n");
  for (uint8_t b = 6; b <= 8; ++b)
    log.add(0, {b});
  log.add(2, {0x09});
  EXPECT_EQ(testing_support::readFile(old), "0 05\n0 06\n0 07\n0 08\n");
  EXPECT_EQ(read_lines(path), "0 05\n0 06\n0 07\n0 08\n2 09\n");
}
