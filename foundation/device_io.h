#pragma once
// Every access to a board character device goes through here: the system
// calls by default, a simulated board in tests and in the simulator build.
// Duplicates and closes go through here too (Fd::dup and Fd::close do), so
// that a simulated board knows which numbers stand for its devices without
// asking the system.
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
  // A close-on-exec duplicate of the descriptor.
  virtual int dup(int fd);
  virtual int close(int fd);
};

// Something that keeps board devices open for the whole run (a process-wide
// service). Installing another backend is a new board: every holder first
// lets go of the old one's devices (release: descriptors closed without a
// request, state as when constructed), then, unless the system calls come
// back, starts on the new one as its construction does (restart). Only
// tests and the simulated board install backends; the daemon never sees it.
class Holder {
public:
  Holder();
  virtual ~Holder();
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;

  virtual void release() = 0;
  virtual void restart() {}
};

// Installs a backend (null restores the system calls); returns the previous one.
Backend* install(Backend* backend);
Backend& system_backend();
extern Backend* installed;  // null: the system calls
inline Backend& backend() { return installed ? *installed : system_backend(); }

inline int open(const char* path, int flags) { return backend().open(path, flags); }
inline int ioctl(int fd, unsigned long request, void* arg) { return backend().ioctl(fd, request, arg); }
inline int ioctl_value(int fd, unsigned long request, unsigned long value) {
  return backend().ioctl_value(fd, request, value);
}
inline ssize_t read(int fd, void* buf, size_t count) { return backend().read(fd, buf, count); }
inline ssize_t write(int fd, const void* buf, size_t count) { return backend().write(fd, buf, count); }
inline int dup(int fd) { return backend().dup(fd); }
inline int close(int fd) { return backend().close(fd); }

}  // namespace DevIo
