#pragma once
// Starting an outside program as a child of the daemon. The argument
// vector is built before the fork; the child only waits, writes its banner
// and executes. A child that cannot execute the program writes
// "fail to exec!" and ends with exit code 2 (wait status 512).
#include <string>
#include <sys/types.h>
#include <vector>

struct ChildProgram {
  std::string path;
  std::vector<std::string> args;  // after the program path (argv[0])
  unsigned delaySeconds = 0;      // the child sleeps this long first
  const char* banner = nullptr;   // written to the standard output before exec
};

// The child's pid, or -1 with errno when the fork failed.
pid_t StartChild(const ChildProgram& program);
