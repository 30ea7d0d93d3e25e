#pragma once
// A private directory tree that the daemon's absolute paths are re-rooted
// into while the object lives; removed with everything in it afterwards.
#include <cstdlib>
#include <ftw.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "foundation/paths.h"

class TempRoot {
public:
  explicit TempRoot(const std::string& tag) {
    std::string pattern = "/tmp/nodal-" + tag + "-XXXXXX";
    if (!mkdtemp(&pattern[0]))
      throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    for (const char* dir : {"/dev", "/var", "/var/run", "/var/log", "/proc"})
      mkdir((path_ + dir).c_str(), 0755);
    Paths::set_root(path_);
  }
  ~TempRoot() {
    Paths::set_root("");
    nftw(path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); }, 16,
         FTW_DEPTH | FTW_PHYS);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& path() const { return path_; }

private:
  std::string path_;
};
