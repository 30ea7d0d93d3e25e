#include "foundation/fd.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "foundation/device_io.h"

int Fd::dup() const {
  if (fd_ < 0)
    return -1;
  return DevIo::dup(fd_);
}

int Fd::close() {
  if (fd_ < 0) {
    errno = EBADF;
    return -1;
  }
  int rc = DevIo::close(fd_);
  fd_ = -1;
  return rc;
}

bool Fd::NonBlock() const { return fd_ >= 0 && NonBlockMode(fd_); }

bool NonBlockMode(int fd) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0)
    return false;
  return fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool BlockMode(int fd) {
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0)
    return false;
  return fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool SetCloexec(int fd, bool on) {
  int flags = fcntl(fd, F_GETFD);
  if (flags < 0)
    flags = 0;
  flags = on ? (flags | FD_CLOEXEC) : (flags & ~FD_CLOEXEC);
  return fcntl(fd, F_SETFD, flags) != 0;
}
