#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "foundation/device_io.h"
#include "foundation/fd.h"
#include "simboard/board.h"
#include "simboard/hal.h"

using namespace SimBoard;

namespace {

// A device model of the test's own: one request by value, one by pointer.
class Probe : public Device {
public:
  static constexpr unsigned long Set = 0x80044d01;     // value
  static constexpr unsigned long Swap = 0xc0084d02;    // {a, b} -> {b, a}, result a + b
  static constexpr unsigned long ClockLike = 0x80044301;
  Probe() : Device("/dev/probe") {
    on(Set, Arg::Value, [this](Request& r) {
      value = r.value();
      return 0;
    });
    on(Swap, Arg::Pointer, [](Request& r) {
      uint32_t a = r.u32(0), b = r.u32(4);
      r.put_u32(0, b);
      r.put_u32(4, a);
      return int(a + b);
    });
  }
  unsigned long value = 0;
  int closes = 0;

protected:
  void closed(OpenFile&) override { ++closes; }
};

short revents(int fd, short events) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, 0) == 1 ? p.revents : 0;
}

}  // namespace

TEST(SimBoard, OpensMissingAndFailingDevices) {
  Board board;
  Probe& probe = board.add(std::make_unique<Probe>());
  probe.set_present(false);
  EXPECT_EQ(DevIo::open("/dev/probe", O_RDWR), -1);
  EXPECT_EQ(errno, ENOENT);
  probe.set_present(true);
  probe.fail_open(EACCES);
  EXPECT_EQ(DevIo::open("/dev/probe", O_RDWR), -1);
  EXPECT_EQ(errno, EACCES);
  probe.fail_open(0);

  int fd = DevIo::open("/dev/probe", O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
  EXPECT_TRUE(fcntl(fd, F_GETFL) & O_NONBLOCK);
  int plain = DevIo::open("/dev/probe", O_RDWR);
  EXPECT_FALSE(fcntl(plain, F_GETFD) & FD_CLOEXEC);
  ::close(plain);

  // The device sees its last descriptor closed, a dup keeps it open.
  int copy = ::dup(fd);
  ::close(fd);
  EXPECT_EQ(probe.open_count(), 1u);
  EXPECT_EQ(probe.closes, 1);  // the plain one
  ::close(copy);
  EXPECT_EQ(probe.open_count(), 0u);
  EXPECT_EQ(probe.closes, 2);
  EXPECT_EQ(probe.inject(words({1})), 0u);
}

TEST(SimBoard, RequestsFollowTheDescriptorThroughDupAndClose) {
  Board board;
  Probe& probe = board.add(std::make_unique<Probe>());
  int fd = DevIo::open("/dev/probe", O_RDWR);
  int copy = ::dup(fd);
  ::close(fd);
  ASSERT_EQ(DevIo::ioctl_value(copy, Probe::Set, 77), 0);
  EXPECT_EQ(probe.value, 77u);

  uint8_t arg[8] = {0, 0, 0, 1, 0, 0, 0, 2};
  EXPECT_EQ(DevIo::ioctl(copy, Probe::Swap, arg), 3);
  EXPECT_EQ(SimBoard::be32(arg), 2u);
  EXPECT_EQ(SimBoard::be32(arg + 4), 1u);

  // The wrong argument form, and a request the device does not know.
  EXPECT_EQ(DevIo::ioctl(copy, Probe::Set, arg), -1);
  EXPECT_EQ(errno, EFAULT);
  EXPECT_EQ(DevIo::ioctl_value(copy, Probe::Swap, 0), -1);
  EXPECT_EQ(errno, EFAULT);
  EXPECT_EQ(DevIo::ioctl(copy, Probe::ClockLike, arg), -1);
  EXPECT_EQ(errno, EINVAL);

  // Injected failures: once, then for good until cleared.
  probe.fail(Probe::Set, EIO, 1);
  EXPECT_EQ(DevIo::ioctl_value(copy, Probe::Set, 5), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(DevIo::ioctl_value(copy, Probe::Set, 6), 0);
  probe.fail(Probe::Swap, ENODEV);
  EXPECT_EQ(DevIo::ioctl(copy, Probe::Swap, arg), -1);
  EXPECT_EQ(DevIo::ioctl(copy, Probe::Swap, arg), -1);
  probe.clear_failures();

  // The log keeps every request with its raw argument before and after.
  std::vector<LoggedRequest> swaps = probe.requests(Probe::Swap);
  ASSERT_EQ(swaps.size(), 4u);
  EXPECT_EQ(as_hex(swaps[0].in), "00 00 00 01 00 00 00 02");
  EXPECT_EQ(as_hex(swaps[0].out), "00 00 00 02 00 00 00 01");
  EXPECT_EQ(swaps[0].result, 3);
  EXPECT_TRUE(swaps[1].byValue);
  EXPECT_EQ(swaps[1].error, EFAULT);
  EXPECT_EQ(swaps[3].error, ENODEV);
  EXPECT_EQ(probe.requests(Probe::Set).at(2).error, EIO);
  board.log().set_capacity(2);
  EXPECT_EQ(board.log().entries().size(), 2u);
  EXPECT_EQ(board.log().total(), 9u);
  ::close(copy);
  board.pump();  // the board notices the close (also on its next open)

  // Other descriptors go to the system, unlogged, also one that takes the
  // number of a closed board descriptor.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_EQ(DevIo::write(fds[1], "ab", 2), 2);
  EXPECT_EQ(DevIo::read(fds[0], arg, sizeof arg), 2);
  EXPECT_EQ(DevIo::ioctl_value(fds[0], Probe::Set, 0), -1);
  EXPECT_EQ(errno, ENOTTY);
  EXPECT_EQ(board.log().total(), 9u);
  ::close(fds[0]);
  ::close(fds[1]);
}

// A service keeps a duplicate of what it opened and closes the original;
// a duplicate of another file that takes the freed number reaches its own
// file, with no open in between to refresh the table.
TEST(SimBoard, AReusedDescriptorNumberReachesItsNewFile) {
  Board board;
  Probe& probe = board.add(std::make_unique<Probe>());
  Fd first(DevIo::open("/dev/probe", O_RDWR));
  Fd other(DevIo::open("/dev/hal", O_RDWR));
  Fd kept(first);
  int freed = first.get();
  first.close();
  Fd copy(other);
  ASSERT_EQ(copy.get(), freed);
  uint8_t arg[4] = {0, 0, 0, 5};
  EXPECT_EQ(DevIo::ioctl(copy.get(), Hal::Disable, arg), 0);
  EXPECT_EQ(board.hal().output(5).kind, Hal::Kind::Disabled);
  EXPECT_TRUE(probe.requests().empty());
}

// The system's own descriptors (the controller's socket, the copier's)
// pass through the device layer at the cost of one look-up each until they
// are closed; duplicates made through it are known at once.
TEST(SimBoard, ADescriptorNotTheBoardsIsLookedUpOnceUntilClosed) {
  Board board;
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  Fd a(ends[0]), b(ends[1]);
  const uint64_t before = board.lookups();
  char byte = 0;
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(DevIo::write(a.get(), "x", 1), 1);
    ASSERT_EQ(DevIo::read(b.get(), &byte, 1), 1);
  }
  EXPECT_EQ(board.lookups(), before + 2);
  Fd aCopy(a), hal(DevIo::open("/dev/hal", O_RDWR)), halCopy(hal);
  ASSERT_EQ(DevIo::write(aCopy.get(), "y", 1), 1);
  uint8_t arg[4] = {0, 0, 0, 5};
  EXPECT_EQ(DevIo::ioctl(halCopy.get(), Hal::Disable, arg), 0);
  EXPECT_EQ(board.lookups(), before + 2);
  // Closed, the number may come back as a board descriptor (a duplicate
  // made outside the device layer here): it reaches the board's file.
  const int freed = aCopy.get();
  aCopy.close();
  Fd reused(::dup(hal.get()));
  ASSERT_EQ(reused.get(), freed);
  arg[3] = 6;
  EXPECT_EQ(DevIo::ioctl(reused.get(), Hal::Disable, arg), 0);
  EXPECT_EQ(board.hal().output(6).kind, Hal::Kind::Disabled);
  EXPECT_EQ(board.lookups(), before + 3);
}

TEST(SimBoard, RecordsArriveOnePerReadWithReadErrorsInTheirPlace) {
  Board board;
  Probe& probe = board.add(std::make_unique<Probe>());
  int fd = DevIo::open("/dev/probe", O_RDONLY | O_NONBLOCK);
  EXPECT_EQ(revents(fd, POLLIN), 0);
  EXPECT_EQ(probe.inject(words({1, 2})), 1u);
  probe.inject(words({3}));
  probe.files()[0]->send_read_error(EIO);
  probe.inject(Bytes());
  EXPECT_EQ(revents(fd, POLLIN), POLLIN);

  uint8_t buf[64];
  ASSERT_EQ(DevIo::read(fd, buf, sizeof buf), 8);
  EXPECT_EQ(be32(buf + 4), 2u);
  ASSERT_EQ(DevIo::read(fd, buf, sizeof buf), 4);
  EXPECT_EQ(be32(buf), 3u);
  EXPECT_EQ(DevIo::read(fd, buf, sizeof buf), -1);
  EXPECT_EQ(errno, EIO);
  EXPECT_EQ(DevIo::read(fd, buf, sizeof buf), 0);  // an empty record
  // Read-only: writing is refused.
  EXPECT_EQ(DevIo::write(fd, "x", 1), -1);
  EXPECT_EQ(errno, EBADF);
  ::close(fd);
}

TEST(SimBoard, QueuesWhatDoesNotFitAndNeverBlocks) {
  Board board;
  Probe& probe = board.add(std::make_unique<Probe>());
  int fd = DevIo::open("/dev/probe", O_RDWR);  // blocking, yet nothing blocks
  uint8_t buf[2048];
  EXPECT_EQ(DevIo::read(fd, buf, sizeof buf), -1);
  EXPECT_EQ(errno, EAGAIN);
  const int records = 2000;  // more than a socket holds
  for (int i = 0; i < records; ++i)
    probe.inject(words({uint32_t(i)}));
  EXPECT_GT(probe.files()[0]->waiting(), 0u);
  for (int i = 0; i < records; ++i) {
    ASSERT_EQ(DevIo::read(fd, buf, sizeof buf), 4) << i;
    ASSERT_EQ(be32(buf), uint32_t(i));
  }
  EXPECT_EQ(probe.files()[0]->waiting(), 0u);
  ::close(fd);
}
