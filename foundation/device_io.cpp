#include "foundation/device_io.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace DevIo {

// Never destroyed: descriptors are still closed while static objects go.
Backend& system_backend() {
  static Backend* system = new Backend;
  return *system;
}
Backend* installed = nullptr;

namespace {

std::vector<Holder*>& holders() {
  static std::vector<Holder*> registered;
  return registered;
}
}  // namespace

int Backend::open(const char* path, int flags) { return ::open(path, flags); }
int Backend::ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
int Backend::ioctl_value(int fd, unsigned long request, unsigned long value) { return ::ioctl(fd, request, value); }
ssize_t Backend::read(int fd, void* buf, size_t count) { return ::read(fd, buf, count); }
ssize_t Backend::write(int fd, const void* buf, size_t count) { return ::write(fd, buf, count); }
int Backend::dup(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }
int Backend::close(int fd) { return ::close(fd); }

Holder::Holder() { holders().push_back(this); }

Holder::~Holder() {
  std::vector<Holder*>& all = holders();
  all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

Backend* install(Backend* backend) {
  Backend* previous = installed ? installed : &system_backend();
  Backend* next = backend ? backend : &system_backend();
  if (next == previous)
    return previous;
  // Holders close through the backend that opened their descriptors. By
  // index: a restart may construct a holder, which then starts on the new
  // backend by itself.
  std::vector<Holder*>& all = holders();
  for (size_t i = 0; i < all.size(); ++i)
    all[i]->release();
  installed = next;
  if (next != &system_backend())
    for (size_t i = 0, n = all.size(); i < n && i < all.size(); ++i)
      all[i]->restart();
  return previous;
}


}  // namespace DevIo
