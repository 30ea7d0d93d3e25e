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
#include "simboard/dsp_data.h"
#include "simboard/dtmf.h"
#include "simboard/e1_cas.h"
#include "simboard/hal.h"
#include "simboard/maintenance.h"
#include "simboard/mcc.h"
#include "simboard/mixer.h"
#include "simboard/rtp_ext.h"
#include "simboard/modem_control.h"
#include "simboard/rtp.h"
#include "simboard/voice.h"
#include "simboard/watchdog.h"

namespace SimBoard {

Board::Board(const std::function<void(Board&)>& setup)
    : nextId_(1), pumping_(false), hal_(nullptr), mcc_(nullptr), watchdog_(nullptr),
      maintenance_(nullptr), e1cas_(nullptr), dsp_(nullptr), dtmf_(nullptr), mixer_(nullptr), rtpExt_(nullptr),
      interfaces_(log_), modems_(nullptr), dspData_(nullptr), rtp_(nullptr),
      voice_(nullptr) {
  hal_ = &add(std::make_unique<Hal>());
  mcc_ = &add(std::make_unique<Mcc>());
  watchdog_ = &add(std::make_unique<Watchdog>());
  maintenance_ = &add(std::make_unique<Maintenance>());
  e1cas_ = &add(std::make_unique<E1Cas>());
  dsp_ = &add(std::make_unique<Dsp>());
  dtmf_ = &add(std::make_unique<Dtmf>());
  mixer_ = &add(std::make_unique<Mixer>());
  rtpExt_ = &add(std::make_unique<RtpExt>());
  modems_ = &add(std::make_unique<ModemControl>());
  dspData_ = &add(std::make_unique<DspData>());
  rtp_ = &add(std::make_unique<Rtp>());
  voice_ = &add(std::make_unique<Voice>());
  if (setup)
    setup(*this);
  previous_ = DevIo::install(this);
}

Board::~Board() {
  DevIo::install(previous_);
  held_.clear();
  byFd_.clear();
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
  move_traffic();
  // Descriptors the daemon has closed, or whose numbers now stand for
  // something else, leave the table; those that were not the board's are
  // looked up again at their next use.
  for (size_t fd = 0; fd < byFd_.size(); ++fd) {
    std::shared_ptr<OpenFile>& file = byFd_[fd].file;
    struct stat st;
    if (file && (file->closed() || ::fstat(static_cast<int>(fd), &st) != 0 || st.st_ino != file->inode()))
      file.reset();
    byFd_[fd].foreign = false;
  }
}

void Board::move_traffic() {
  if (pumping_)
    return;
  pumping_ = true;
  ++sweeps_;
  // One poll over every simulator end tells which files have anything to
  // move or have hung up.
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
    if (file->device().service(*file, gone) && !gone &&
        std::find(held_.begin(), held_.end(), file) == held_.end())
      held_.push_back(file);
    if (!gone)
      continue;
    file->device().closed(*file);
    file->close();
    forget(file);
  }
  pumping_ = false;
  retry_held();
}

void Board::forget(const std::shared_ptr<OpenFile>& file) {
  auto entry = byInode_.find(file->inode());
  if (entry != byInode_.end() && entry->second.lock() == file)
    byInode_.erase(entry);
  files_.erase(std::find(files_.begin(), files_.end(), file));
  held_.erase(std::remove(held_.begin(), held_.end(), file), held_.end());
  for (Number& n : byFd_)
    if (n.file == file)
      n.file.reset();
}

void Board::service(OpenFile& file) {
  if (!file.device().service(file, false))
    return;
  for (const std::shared_ptr<OpenFile>& f : held_)
    if (f.get() == &file)
      return;
  for (const std::shared_ptr<OpenFile>& f : files_)
    if (f.get() == &file)
      held_.push_back(f);
}

void Board::retry_held() {
  if (held_.empty() || pumping_)
    return;
  pumping_ = true;
  std::vector<std::shared_ptr<OpenFile>> held;
  held.swap(held_);
  for (const std::shared_ptr<OpenFile>& file : held)
    if (!file->closed() && file->device().service(*file, false))
      held_.push_back(file);
  pumping_ = false;
}

OpenFile* Board::find_unknown(int fd) {
  if (fd < 0)
    return nullptr;
  ++lookups_;
  struct stat st;
  if (::fstat(fd, &st) != 0)
    return nullptr;  // not open: nothing to remember
  std::shared_ptr<OpenFile> file;
  if (S_ISSOCK(st.st_mode)) {
    auto entry = byInode_.find(st.st_ino);
    if (entry != byInode_.end())
      file = entry->second.lock();
  }
  Number& n = number(fd);
  if (!file || file->closed()) {
    n.file.reset();
    n.foreign = true;
    return nullptr;
  }
  n.file = file;
  n.foreign = false;
  return file.get();
}

std::shared_ptr<OpenFile> Board::find(int fd) const {
  OpenFile* file = const_cast<Board*>(this)->lookup(fd);
  if (!file)
    return nullptr;
  return byFd_[fd].file;
}

void Board::set_line_full(OpenFile& file, bool full) {
  if (!full) {
    file.empty();
    service(file);
    return;
  }
  for (size_t fd = 0; fd < byFd_.size(); ++fd) {
    struct stat st;
    if (byFd_[fd].file.get() == &file && ::fstat(static_cast<int>(fd), &st) == 0 && st.st_ino == file.inode()) {
      file.fill(static_cast<int>(fd));
      return;
    }
  }
}

int Board::open(const char* path, int flags) {
  move_traffic();
  Device* dev = path ? device(path) : nullptr;
  if (!dev || !dev->present()) {
    errno = ENOENT;
    return -1;
  }
  if (dev->openError_) {
    errno = dev->openError_;
    return -1;
  }
  int fd = connect(*dev, flags);
  if (fd >= 0) {
    ++dev->opens_;
    dev->opened(files_.back());
  }
  return fd;
}

int Board::connect(Device& dev, int flags) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
    return -1;
  int daemonEnd = ends[0], simEnd = ends[1];
  if (int size = dev.send_buffer())
    ::setsockopt(daemonEnd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  if (!(flags & O_CLOEXEC))
    SetCloexec(daemonEnd, false);
  if (flags & O_NONBLOCK)
    NonBlockMode(daemonEnd);
  NonBlockMode(simEnd);
  struct stat st;
  if (::fstat(daemonEnd, &st) != 0) {
    int err = errno;
    ::close(daemonEnd);
    ::close(simEnd);
    errno = err;
    return -1;
  }
  auto file = std::make_shared<OpenFile>(dev, simEnd, st.st_ino, flags, nextId_++);
  files_.push_back(file);
  byInode_[st.st_ino] = file;
  number(daemonEnd) = Number{file, false};
  return daemonEnd;
}

int Board::other_request(int fd, unsigned long number, void* pointer, unsigned long value, bool byValue) {
  OpenFile* file = lookup(fd);
  if (!file)
    return system_request(fd, number, pointer, value, byValue);
  if (log_.keeping())
    return logged_request(*file, number, pointer, value, byValue);
  log_.next();  // counted only
  return file->device().request(*file, number, pointer, value, byValue);
}

int Board::system_request(int fd, unsigned long number, void* pointer, unsigned long value, bool byValue) {
  // Network interface requests name the interface; the socket is the system's.
  if (!byValue && Interfaces::handles(number, pointer))
    return interfaces_.request(number, pointer);
  return byValue ? Backend::ioctl_value(fd, number, value) : Backend::ioctl(fd, number, pointer);
}

int Board::logged_request(OpenFile& file, unsigned long number, void* pointer, unsigned long value, bool byValue) {
  Device& device = file.device();
  Request req(file, number, pointer, value, byValue, device.argument_size(number));
  const uint8_t* bytes = req.bytes();
  LoggedRequest* entry = log_.next();
  entry->device = req.file().device().path();
  entry->number = req.number();
  entry->byValue = req.by_value();
  entry->value = req.by_value() ? req.value() : 0;
  if (bytes)
    entry->in.assign(bytes, bytes + req.size());
  else
    entry->in.clear();
  int result = device.dispatch(device.find(number), req);
  if (bytes)
    entry->out.assign(bytes, bytes + req.size());
  else
    entry->out.clear();
  entry->result = result;
  entry->error = result < 0 ? req.error() : 0;
  if (result < 0)
    errno = req.error();
  return result;
}

ssize_t Board::read(int fd, void* buf, size_t count) {
  OpenFile* file = lookup(fd);
  if (!file)
    return Backend::read(fd, buf, count);
  if (int err = file->device().refuse_read(*file)) {
    errno = err;
    return -1;
  }
  ssize_t n = file->daemon_read(fd, buf, count);
  int err = errno;
  // The read made room: what waits for this file moves on, and so may
  // what other files held back for it.
  if (n >= 0 && file->waiting())
    file->flush();
  retry_held();
  errno = err;
  return n;
}

ssize_t Board::write(int fd, const void* buf, size_t count) {
  OpenFile* file = lookup(fd);
  if (!file)
    return Backend::write(fd, buf, count);
  if (int err = file->device().refuse_write(*file)) {
    errno = err;
    return -1;
  }
  ssize_t n = file->daemon_write(fd, buf, count);
  int err = errno;
  if (n >= 0)
    service(*file);  // the device takes the datagram
  errno = err;
  return n;
}

int Board::dup(int fd) {
  Number original;
  if (lookup(fd))
    original = byFd_[fd];
  else if (fd >= 0 && static_cast<size_t>(fd) < byFd_.size())
    original.foreign = byFd_[fd].foreign;
  int copy = Backend::dup(fd);
  if (copy >= 0)
    number(copy) = original;
  return copy;
}

int Board::close(int fd) {
  if (fd >= 0 && static_cast<size_t>(fd) < byFd_.size())
    byFd_[fd] = Number();
  return Backend::close(fd);
}

}  // namespace SimBoard
