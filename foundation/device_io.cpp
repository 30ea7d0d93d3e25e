#include "foundation/device_io.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace DevIo {

namespace {
// Never destroyed: descriptors are still closed while static objects go.
Backend& systemBackend() {
  static Backend* system = new Backend;
  return *system;
}
Backend* current = nullptr;  // the system calls
}  // namespace

int Backend::open(const char* path, int flags) { return ::open(path, flags); }
int Backend::ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
int Backend::ioctl_value(int fd, unsigned long request, unsigned long value) { return ::ioctl(fd, request, value); }
ssize_t Backend::read(int fd, void* buf, size_t count) { return ::read(fd, buf, count); }
ssize_t Backend::write(int fd, const void* buf, size_t count) { return ::write(fd, buf, count); }
int Backend::close(int fd) { return ::close(fd); }

Backend* install(Backend* backend) {
  Backend* previous = current ? current : &systemBackend();
  current = backend;
  return previous;
}

Backend& backend() { return current ? *current : systemBackend(); }

}  // namespace DevIo
