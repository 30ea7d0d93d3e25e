#include "slots/child_program.h"

#include <cstring>
#include <unistd.h>

#include "foundation/fd.h"

namespace {

void say(const char* text) {
  ssize_t n = ::write(STDOUT_FILENO, text, std::strlen(text));
  static_cast<void>(n);
}

}  // namespace

pid_t StartChild(const ChildProgram& program) {
  std::vector<char*> argv;
  argv.reserve(program.args.size() + 2);
  argv.push_back(const_cast<char*>(program.path.c_str()));
  for (const std::string& arg : program.args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid != 0)
    return pid;
  // The descriptor is kept across the exec as the standard input.
  if (program.input == STDIN_FILENO)
    SetCloexec(STDIN_FILENO, false);
  else if (program.input > 0)
    ::dup2(program.input, STDIN_FILENO);
  ::sleep(program.delaySeconds);
  if (program.banner)
    say(program.banner);
  ::execv(argv[0], argv.data());
  if (program.failure)
    say(program.failure);
  ::_exit(program.failureCode);
}
