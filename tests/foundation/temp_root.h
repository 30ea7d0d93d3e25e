#pragma once
// A private directory tree that the daemon's absolute paths are re-rooted
// into while the object lives; removed with everything in it afterwards.
#include <string>
#include <sys/stat.h>

#include "foundation/paths.h"
#include "tests/support/external_tools.h"

class TempRoot {
public:
  explicit TempRoot(const std::string& tag) : dir_(tag) {
    for (const char* dir : {"/dev", "/var", "/var/run", "/var/log", "/proc"})
      mkdir((path() + dir).c_str(), 0755);
    Paths::set_root(path());
  }
  ~TempRoot() { Paths::set_root(""); }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& path() const { return dir_.path(); }

private:
  testing_support::ScratchDir dir_;
};
