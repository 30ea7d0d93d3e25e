#pragma once
// Starting an outside program as a child of the daemon. The argument
// vector is built before the fork; the child first puts back the default
// action of every signal and an empty signal mask, then only moves its
// standard input, waits, writes its banner and executes. A child that cannot
// execute the program writes its failure text and leaves with _exit, so
// that nothing of the daemon's exit handlers or buffered output runs in it
// (by default "fail to exec!" and exit code 2, wait status 512).
#include <string>
#include <sys/types.h>
#include <vector>

struct ChildProgram {
  std::string path;
  std::vector<std::string> args;              // after the program path (argv[0])
  int input = -1;                             // a descriptor to become the standard input
  unsigned delaySeconds = 0;                  // the child sleeps this long first
  const char* banner = nullptr;               // written to the standard output before exec
  const char* failure = "fail to exec!";      // written when the exec fails (null: nothing)
  int failureCode = 2;                        // the exit code then
};

// The child's pid, or -1 with errno when the fork failed.
pid_t StartChild(const ChildProgram& program);
