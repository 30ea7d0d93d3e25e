#include "slots/child_program.h"

#include <cstring>
#include <unistd.h>

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
  ::sleep(program.delaySeconds);
  if (program.banner)
    say(program.banner);
  ::execv(argv[0], argv.data());
  say("fail to exec!");
  ::_exit(2);
}
