#include "foundation/pid_file.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "foundation/paths.h"
#include "foundation/regular_file.h"

namespace Linux {

Run::Run(const char* name)
    : fd_(-1), path_(Paths::resolve(std::string(Paths::kRunDir) + name + Paths::kPidSuffix)) {
  fd_ = OpenRegularFile(path_, O_WRONLY | O_CREAT | O_TRUNC | O_SYNC, 0644).release();
  if (fd_ < 0)
    return;
  char text[24];
  int length = std::snprintf(text, sizeof text, "%d", static_cast<int>(getpid()));
  // A failed write is not reported; the file then stays empty.
  ssize_t written = ::write(fd_, text, static_cast<size_t>(length));
  static_cast<void>(written);
  ::fsync(fd_);
}

Run::~Run() {
  if (fd_ < 0)
    return;
  ::close(fd_);
  ::unlink(path_.c_str());
}

}  // namespace Linux
