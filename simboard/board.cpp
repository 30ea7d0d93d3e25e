#include "simboard/board.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/fd.h"
#include "simboard/dsp.h"
#include "simboard/dtmf.h"
#include "simboard/e1_cas.h"
#include "simboard/hal.h"
#include "simboard/maintenance.h"
#include "simboard/mcc.h"
#include "simboard/watchdog.h"

namespace SimBoard {

Board::Board()
    : nextId_(1), pumping_(false), hal_(nullptr), mcc_(nullptr), watchdog_(nullptr), maintenance_(nullptr),
      e1cas_(nullptr), dsp_(nullptr), dtmf_(nullptr) {
  hal_ = &add(std::make_unique<Hal>());
  mcc_ = &add(std::make_unique<Mcc>());
  watchdog_ = &add(std::make_unique<Watchdog>());
  maintenance_ = &add(std::make_unique<Maintenance>());
  e1cas_ = &add(std::make_unique<E1Cas>());
  dsp_ = &add(std::make_unique<Dsp>());
  dtmf_ = &add(std::make_unique<Dtmf>());
  previous_ = DevIo::install(this);
}

Board::~Board() {
  DevIo::install(previous_);
  files_.clear();
  byInode_.clear();
}

void Board::attach(std::unique_ptr<Device> device) {
  device->board_ = this;
  for (auto& d : devices_)
    if (d->path() == device->path()) {
      d = std::move(device);
      return;
    }
  devices_.push_back(std::move(device));
}

Device* Board::device(const std::string& path) const {
  for (const auto& d : devices_)
    if (d->path() == path)
      return d.get();
  return nullptr;
}

void Board::pump() {
  if (pumping_)
    return;
  pumping_ = true;
  // One poll over every simulator end tells which files have anything to
  // move; the daemon's requests come in hundreds a turn, so the others are
  // left alone.
  std::vector<pollfd> ready(files_.size());
  for (size_t i = 0; i < files_.size(); ++i) {
    const OpenFile& file = *files_[i];
    ready[i] = pollfd{file.sim_fd(), static_cast<short>(POLLIN | (file.waiting() ? POLLOUT : 0)), 0};
  }
  if (!ready.empty() && ::poll(ready.data(), ready.size(), 0) < 0)
    for (pollfd& p : ready)
      p.revents = POLLIN;  // look at every file the slow way
  std::vector<std::shared_ptr<OpenFile>> busy;
  for (size_t i = 0; i < files_.size(); ++i)
    if (ready[i].revents || files_[i]->sim_fd() < 0)
      busy.push_back(files_[i]);
  for (const std::shared_ptr<OpenFile>& file : busy) {
    bool gone = file->hung_up();
    file->device().service(*file, gone);
    if (!gone)
      continue;
    file->device().closed(*file);
    file->close();
    auto entry = byInode_.find(file->inode());
    if (entry != byInode_.end() && entry->second.lock() == file)
      byInode_.erase(entry);
    files_.erase(std::find(files_.begin(), files_.end(), file));
  }
  pumping_ = false;
}

std::shared_ptr<OpenFile> Board::find(int fd) const {
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
    return nullptr;
  auto entry = byInode_.find(st.st_ino);
  if (entry == byInode_.end())
    return nullptr;
  std::shared_ptr<OpenFile> file = entry->second.lock();
  return file && !file->closed() ? file : nullptr;
}

int Board::open(const char* path, int flags) {
  pump();
  Device* dev = path ? device(path) : nullptr;
  if (!dev || !dev->present()) {
    errno = ENOENT;
    return -1;
  }
  if (dev->openError_) {
    errno = dev->openError_;
    return -1;
  }
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
    return -1;
  int daemonEnd = ends[0], simEnd = ends[1];
  if (!(flags & O_CLOEXEC))
    SetCloexec(daemonEnd, false);
  if (flags & O_NONBLOCK)
    NonBlockMode(daemonEnd);
  NonBlockMode(simEnd);
  if (int size = dev->send_buffer())
    ::setsockopt(daemonEnd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  struct stat st;
  if (::fstat(daemonEnd, &st) != 0) {
    int err = errno;
    ::close(daemonEnd);
    ::close(simEnd);
    errno = err;
    return -1;
  }
  auto file = std::make_shared<OpenFile>(*dev, simEnd, st.st_ino, flags, nextId_++);
  files_.push_back(file);
  byInode_[st.st_ino] = file;
  ++dev->opens_;
  dev->opened(file);
  return daemonEnd;
}

int Board::request(int fd, unsigned long number, void* pointer, unsigned long value, bool byValue) {
  pump();
  std::shared_ptr<OpenFile> file = find(fd);
  if (!file)
    return byValue ? Backend::ioctl_value(fd, number, value) : Backend::ioctl(fd, number, pointer);
  Request req(*file, number, pointer, value, byValue);
  LoggedRequest entry;
  entry.device = file->device().path();
  entry.number = number;
  entry.byValue = byValue;
  entry.value = byValue ? value : 0;
  const uint8_t* bytes = static_cast<const uint8_t*>(pointer);
  if (!byValue && bytes)
    entry.in.assign(bytes, bytes + req.size());
  int result = file->device().dispatch(req);
  if (!byValue && bytes)
    entry.out.assign(bytes, bytes + req.size());
  entry.result = result;
  entry.error = result < 0 ? req.error() : 0;
  log_.add(std::move(entry));
  if (result < 0)
    errno = req.error();
  return result;
}

int Board::ioctl(int fd, unsigned long request, void* arg) {
  return this->request(fd, request, arg, reinterpret_cast<unsigned long>(arg), false);
}

int Board::ioctl_value(int fd, unsigned long request, unsigned long value) {
  return this->request(fd, request, nullptr, value, true);
}

ssize_t Board::read(int fd, void* buf, size_t count) {
  pump();
  std::shared_ptr<OpenFile> file = find(fd);
  if (!file)
    return Backend::read(fd, buf, count);
  if (int err = file->device().refuse_read(*file)) {
    errno = err;
    return -1;
  }
  ssize_t n = file->daemon_read(fd, buf, count);
  int err = errno;
  pump();  // the read made room for what waits
  errno = err;
  return n;
}

ssize_t Board::write(int fd, const void* buf, size_t count) {
  pump();
  std::shared_ptr<OpenFile> file = find(fd);
  if (!file)
    return Backend::write(fd, buf, count);
  if (int err = file->device().refuse_write(*file)) {
    errno = err;
    return -1;
  }
  ssize_t n = file->daemon_write(fd, buf, count);
  int err = errno;
  pump();  // the device takes the datagram
  errno = err;
  return n;
}

}  // namespace SimBoard
