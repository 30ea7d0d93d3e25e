#pragma once
// Reading the daemon's file tree, re-rooted under the test's directory.
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

#include "foundation/paths.h"

namespace monitoring_test {

inline std::string readFile(const std::string& path) {
  std::ifstream in(Paths::resolve(path));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The entry exists (a symbolic link counts, dangling or not).
inline bool exists(const std::string& path) {
  struct stat st;
  return ::lstat(Paths::resolve(path).c_str(), &st) == 0;
}

}  // namespace monitoring_test
