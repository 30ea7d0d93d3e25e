#pragma once
// Every access to a board character device goes through here: the system
// calls by default, a simulated board in tests and in the simulator build.
// Closes go through here too (Fd::close does), so that a simulated board
// knows a descriptor number is free again before it is reused.
#include <sys/types.h>

namespace DevIo {

class Backend {
public:
  virtual ~Backend() = default;
  virtual int open(const char* path, int flags);
  virtual int ioctl(int fd, unsigned long request, void* arg);
  virtual int ioctl_value(int fd, unsigned long request, unsigned long value);
  virtual ssize_t read(int fd, void* buf, size_t count);
  virtual ssize_t write(int fd, const void* buf, size_t count);
  virtual int close(int fd);
};

// Installs a backend (null restores the system calls); returns the previous one.
Backend* install(Backend* backend);
Backend& backend();

inline int open(const char* path, int flags) { return backend().open(path, flags); }
inline int ioctl(int fd, unsigned long request, void* arg) { return backend().ioctl(fd, request, arg); }
inline int ioctl_value(int fd, unsigned long request, unsigned long value) {
  return backend().ioctl_value(fd, request, value);
}
inline ssize_t read(int fd, void* buf, size_t count) { return backend().read(fd, buf, count); }
inline ssize_t write(int fd, const void* buf, size_t count) { return backend().write(fd, buf, count); }
inline int close(int fd) { return backend().close(fd); }

}  // namespace DevIo
