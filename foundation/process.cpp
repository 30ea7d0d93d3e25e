#include "foundation/process.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "foundation/paths.h"
#include "foundation/regular_file.h"

namespace {

// Compares the command name in "/proc/<pid>/stat" ("pid (comm) state ...")
// with name. The name may itself hold ")", so it ends at the last one.
bool hasName(int pid, const char* name) {
  char path[64];
  std::snprintf(path, sizeof path, Paths::kProcStatFormat, pid);
  Fd fd = OpenRegularFile(Paths::resolve(path), O_RDONLY);
  if (!fd)
    return false;
  char text[256];
  ssize_t length = ::read(fd.get(), text, sizeof text - 1);
  fd.close();
  if (length <= 0)
    return false;
  text[length] = '\0';
  char* close = std::strrchr(text, ')');
  char* open = std::strchr(text, '(');
  if (!close || !open || open > close)
    return false;
  *close = '\0';
  return std::strcmp(open + 1, name) == 0;
}

}  // namespace

int find_proc_by_name(const char* name, int hint) {
  if (hint > 0 && hasName(hint, name))
    return hint;
  DIR* dir = ::opendir(Paths::resolve(Paths::kProcDir).c_str());
  if (!dir)
    return -1;
  int found = -1;
  while (struct dirent* entry = ::readdir(dir)) {
    int pid = std::atoi(entry->d_name);
    if (pid > 0 && hasName(pid, name)) {
      found = pid;
      break;
    }
  }
  ::closedir(dir);
  return found;
}
