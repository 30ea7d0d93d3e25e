#include "foundation/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

Fd OpenRegularFile(const std::string& path, int flags, mode_t mode) {
  Fd fd(::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode));
  if (!fd)
    return fd;
  struct stat st;
  int err = 0;
  if (::fstat(fd.get(), &st) != 0)
    err = errno;
  else if (S_ISDIR(st.st_mode))
    err = EISDIR;
  else if (!S_ISREG(st.st_mode))
    err = ENXIO;
  if (err != 0) {
    fd.close();
    errno = err;
  }
  return fd;
}
