#pragma once
// The pid file "/var/run/" + name + ".pid": the process id in decimal, no
// newline. It exists while the object lives; failures are silent, and
// something other than a regular file at the path is a failure (it stays).
#include <string>

namespace Linux {

class Run {
public:
  explicit Run(const char* name);
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }

private:
  int fd_;
  std::string path_;
};

}  // namespace Linux
