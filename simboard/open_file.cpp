#include "simboard/open_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace SimBoard {

namespace {
constexpr size_t MaxDatagram = 65536;
}

OpenFile::OpenFile(Device& device, int simFd, ino_t inode, int flags, uint64_t id)
    : device_(device), simFd_(simFd), inode_(inode), flags_(flags), id_(id), delivered_(0), consumed_(0),
      writeError_(0), writeErrorTimes_(0), writeCut_(-1), external_(false), full_(false), fillers_(0),
      session_(nullptr) {}

OpenFile::~OpenFile() { close(); }

bool OpenFile::readable() const { return (flags_ & O_ACCMODE) != O_WRONLY; }
bool OpenFile::writable() const { return (flags_ & O_ACCMODE) != O_RDONLY; }

void OpenFile::send(Bytes datagram) {
  waiting_.push_back(Item{std::move(datagram), 0});
  flush();
}

void OpenFile::send_read_error(int err) {
  // An empty datagram holds the error's place in the stream and makes the
  // daemon's end readable; the read that takes it fails.
  waiting_.push_back(Item{Bytes(), err});
  flush();
}

bool OpenFile::flush() {
  while (simFd_ >= 0 && !waiting_.empty()) {
    const Item& item = waiting_.front();
    ssize_t n = ::send(simFd_, item.data.data(), item.data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
      waiting_.clear();  // the daemon has closed its end: nobody will read
      return true;
    }
    if (n < 0)
      return false;
    if (item.error)
      readErrors_.emplace_back(delivered_, item.error);
    ++delivered_;
    waiting_.pop_front();
  }
  return waiting_.empty();
}

bool OpenFile::receive(Bytes& datagram) {
  if (!backlog_.empty()) {
    datagram = std::move(backlog_.front());
    backlog_.pop_front();
    return true;
  }
  while (take(datagram)) {
    if (fillers_ == 0)
      return true;
    --fillers_;
  }
  return false;
}

int OpenFile::hand_over() {
  if (simFd_ < 0)
    return -1;
  external_ = true;
  return ::fcntl(simFd_, F_DUPFD_CLOEXEC, 0);
}

void OpenFile::fill(int daemonFd) {
  Bytes datagram;
  while (take(datagram)) {
    if (fillers_ > 0)
      --fillers_;
    else
      backlog_.push_back(std::move(datagram));
  }
  full_ = true;
  char filler = 0;
  while (::send(daemonFd, &filler, 1, MSG_DONTWAIT | MSG_NOSIGNAL) == 1)
    ++fillers_;
}

bool OpenFile::take(Bytes& datagram) {
  if (simFd_ < 0)
    return false;
  // Ask for the size first: filling a 64 KiB buffer for every look at an
  // empty queue would cost more than everything else the board does.
  char probe;
  ssize_t size = ::recv(simFd_, &probe, 1, MSG_DONTWAIT | MSG_PEEK | MSG_TRUNC);
  if (size < 0) {
    datagram.clear();
    return false;
  }
  datagram.resize(std::min(static_cast<size_t>(size), MaxDatagram));
  ssize_t n = ::recv(simFd_, datagram.data(), datagram.size(), MSG_DONTWAIT);
  if (n < 0) {
    datagram.clear();
    return false;
  }
  // A hung-up socket reads 0 bytes for ever; an empty datagram only once.
  if (n == 0 && hung_up()) {
    datagram.clear();
    return false;
  }
  datagram.resize(static_cast<size_t>(n));
  return true;
}

void OpenFile::fail_writes(int err, int times) {
  writeError_ = err;
  writeErrorTimes_ = times;
}

ssize_t OpenFile::daemon_read(int fd, void* buf, size_t count) {
  if (!readable()) {
    errno = EBADF;
    return -1;
  }
  // Never blocks, also on a descriptor opened blocking: the simulator has
  // no thread that could fill the queue meanwhile.
  ssize_t n = ::recv(fd, buf, count, MSG_DONTWAIT);
  if (n < 0)
    return n;
  uint64_t number = consumed_++;
  if (!readErrors_.empty() && readErrors_.front().first == number) {
    errno = readErrors_.front().second;
    readErrors_.pop_front();
    return -1;
  }
  return n;
}

ssize_t OpenFile::daemon_write(int fd, const void* buf, size_t count) {
  if (!writable()) {
    errno = EBADF;
    return -1;
  }
  if (writeErrorTimes_ != 0) {
    if (writeErrorTimes_ > 0)
      --writeErrorTimes_;
    errno = writeError_;
    return -1;
  }
  if (writeCut_ >= 0 && static_cast<size_t>(writeCut_) < count)
    count = static_cast<size_t>(writeCut_);
  writeCut_ = -1;
  // A full channel gives EAGAIN also to a blocking descriptor (see daemon_read).
  return ::send(fd, buf, count, MSG_NOSIGNAL | MSG_DONTWAIT);
}

bool OpenFile::hung_up() const {
  if (simFd_ < 0)
    return true;
  pollfd p{simFd_, 0, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
}

void OpenFile::close() {
  if (simFd_ >= 0)
    ::close(simFd_);
  simFd_ = -1;
  waiting_.clear();
}

}  // namespace SimBoard
