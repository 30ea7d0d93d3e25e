#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "foundation/device_io.h"
#include "foundation/multiplexer.h"
#include "simboard/board.h"
#include "simboard/hal.h"
#include "simboard/mcc.h"
#include "simboard/watchdog.h"
#include "tests/support/loop_runner.h"
#include "tests/support/test_clock.h"

using namespace SimBoard;

namespace {

int request(int fd, unsigned long number, Bytes& arg) { return DevIo::ioctl(fd, number, arg.data()); }

short revents(int fd, short events) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, 0) == 1 ? p.revents : 0;
}

int allocate(uint32_t type = 3) {
  int fd = DevIo::open("/dev/mcc/ctl", O_RDWR | O_NONBLOCK);
  Bytes record = words({type, 512, 0, 1, 4});
  EXPECT_EQ(request(fd, Mcc::Allocate, record), 0);
  return fd;
}

}  // namespace

TEST(SimHal, SwitchClockAndSpiRegisters) {
  Board board;
  Hal& hal = board.hal();
  int fd = DevIo::open("/dev/hal", O_RDWR);
  Bytes connect = words({8200, 5});
  EXPECT_EQ(request(fd, Hal::Connect, connect), 0);
  EXPECT_EQ(hal.output(8200).kind, Hal::Kind::Connected);
  EXPECT_EQ(hal.output(8200).source, 5);
  EXPECT_EQ(hal.output(8201).kind, Hal::Kind::Untouched);

  // Reads follow connections to a constant or a byte the test put on a line.
  Bytes write = words({5, 0x3c});
  EXPECT_EQ(request(fd, Hal::Write, write), 0);
  Bytes read = words({8200, 255});
  EXPECT_EQ(request(fd, Hal::Read, read), 0);
  EXPECT_EQ(be32(&read[4]), 0x3cu);
  hal.set_input(8200, 0x11);
  read = words({8200, 255});
  request(fd, Hal::Read, read);
  EXPECT_EQ(be32(&read[4]), 0x11u);
  Bytes disable = words({8200});
  EXPECT_EQ(request(fd, Hal::Disable, disable), 0);
  EXPECT_EQ(hal.output(8200).kind, Hal::Kind::Disabled);
  EXPECT_EQ(hal.output(8200).disables, 1u);
  hal.set_input(8200, -1);
  EXPECT_EQ(hal.byte_on(8200), 0xff);

  Bytes bad = words({uint32_t(Hal::Channels), 1});
  EXPECT_EQ(request(fd, Hal::Connect, bad), -1);
  EXPECT_EQ(errno, EINVAL);
  Bytes big = words({7, 256});
  EXPECT_EQ(request(fd, Hal::Write, big), -1);

  Bytes clock = words({4});
  EXPECT_EQ(request(fd, Hal::ClockSelect, clock), 0);
  EXPECT_EQ(hal.clock_source(), 4);

  Bytes spi = {3, 87, 56};
  EXPECT_EQ(request(fd, Hal::SpiWrite, spi), 0);
  EXPECT_EQ(hal.spi_register(3, 87), 56);
  hal.set_spi_register(2, 51, 0xc5);
  Bytes spiRead = {2, 51, 255};
  EXPECT_EQ(request(fd, Hal::SpiRead, spiRead), 0xc5);
  Bytes spiBad = {8, 51, 255};
  EXPECT_EQ(request(fd, Hal::SpiRead, spiBad), -1);
  EXPECT_EQ(errno, EINVAL);
  hal.set_spi_present(false);
  EXPECT_EQ(request(fd, Hal::SpiWrite, spi), -1);
  EXPECT_EQ(errno, ENODEV);
  ::close(fd);
}

TEST(SimMcc, AllocatesChannelsAndCountsThem) {
  Board board;
  Mcc& mcc = board.mcc();
  mcc.set_next_timeslot(300);
  int fd = DevIo::open("/dev/mcc/ctl", O_RDWR | O_NONBLOCK);
  EXPECT_EQ(DevIo::ioctl(fd, Mcc::Timeslot, nullptr), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(DevIo::write(fd, "x", 1), -1);  // no channel yet
  EXPECT_EQ(errno, EINVAL);
  Bytes record = words({1, 512, 0, 1, 4});
  ASSERT_EQ(request(fd, Mcc::Allocate, record), 0);
  EXPECT_EQ(request(fd, Mcc::Allocate, record), -1);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_EQ(DevIo::ioctl(fd, Mcc::Timeslot, nullptr), 300);
  ASSERT_EQ(mcc.channel_count(), 1u);
  MccChannel& ch = mcc.channel(0);
  EXPECT_EQ(ch.type(), 1u);
  EXPECT_EQ(ch.packet_size(), 512u);
  EXPECT_EQ(ch.rx_threshold(), 1u);
  EXPECT_EQ(ch.tx_threshold(), 4u);
  EXPECT_EQ(mcc.by_timeslot(300), &ch);
  int other = allocate(2);
  EXPECT_EQ(DevIo::ioctl_value(other, Mcc::Timeslot, 0), 301);
  Bytes badType = words({4, 512, 0, 1, 4});
  int third = DevIo::open("/dev/mcc/ctl", O_RDWR);
  EXPECT_EQ(request(third, Mcc::Allocate, badType), -1);

  mcc.set_counts(5, 6, 7);
  Bytes counts(16, 0xee);
  EXPECT_EQ(request(third, Mcc::Counts, counts), 0);
  EXPECT_EQ(as_hex(counts), "00 00 00 05 00 00 00 06 00 00 00 07 ee ee ee ee");

  ::close(fd);
  EXPECT_FALSE(ch.open());
  EXPECT_TRUE(mcc.channel(1).open());
  ::close(other);
  ::close(third);
}

TEST(SimMcc, StalledChannelBlocksWritesUntilDrained) {
  Board board;
  int fd = allocate();
  MccChannel& ch = board.mcc().channel(0);
  EXPECT_EQ(DevIo::write(fd, "\x01\x02", 2), 2);
  ASSERT_EQ(ch.sent().size(), 1u);
  EXPECT_EQ(as_hex(ch.sent()[0]), "01 02");

  ch.stall(true);
  Bytes frame(200, 0x7e);
  int written = 0;
  while (DevIo::write(fd, frame.data(), frame.size()) == 200)
    ++written;
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_GT(written, 0);
  EXPECT_EQ(revents(fd, POLLOUT), 0);
  EXPECT_EQ(ch.sent_total(), 1u);
  ch.stall(false);
  EXPECT_EQ(ch.sent_total(), 1u + written);
  EXPECT_EQ(revents(fd, POLLOUT), POLLOUT);

  ch.fail_writes(EIO);
  EXPECT_EQ(DevIo::write(fd, "x", 1), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(DevIo::write(fd, "x", 1), 1);
  ::close(fd);
}

TEST(SimMcc, JoinedChannelsCarryEachOthersFrames) {
  Board board;
  Mcc& mcc = board.mcc();
  int a = allocate(), b = allocate();
  mcc.join(mcc.channel(0), mcc.channel(1));
  EXPECT_EQ(DevIo::write(a, "ping", 4), 4);
  EXPECT_EQ(DevIo::write(b, "pong", 4), 4);
  char buf[16];
  ASSERT_EQ(DevIo::read(b, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "ping");
  ASSERT_EQ(DevIo::read(a, buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 4), "pong");

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
  EXPECT_EQ(revents(a, POLLOUT), POLLOUT);
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
  EXPECT_EQ(board.watchdog().open_count(), 0u);
}

TEST(SimMcc, KeepsABoundedNumberOfClosedChannels) {
  Board board;
  Mcc& mcc = board.mcc();
  int kept = allocate();
  for (size_t i = 0; i < Mcc::KeptChannels + 10; ++i)
    ::close(allocate());
  board.pump();
  EXPECT_EQ(mcc.channel_count(), Mcc::KeptChannels);
  EXPECT_EQ(mcc.channel(0).number(), 0u);  // the open one stays
  EXPECT_TRUE(mcc.channel(0).open());
  ::close(kept);
}
