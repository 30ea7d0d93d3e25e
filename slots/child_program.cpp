#include "slots/child_program.h"

#include <cerrno>
#include <csignal>
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

  // Every signal waits over the fork: the child must not run one of the
  // daemon's handlers (a hang-up would be taken and lost) before it has put
  // back the default actions and an empty mask, which its program keeps.
  sigset_t all, previous;
  sigfillset(&all);
  sigprocmask(SIG_SETMASK, &all, &previous);
  pid_t pid = ::fork();
  if (pid != 0) {
    const int err = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = err;
    return pid;
  }
  struct sigaction defaults = {};
  defaults.sa_handler = SIG_DFL;
  for (int signo = 1; signo < NSIG; ++signo)
    ::sigaction(signo, &defaults, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
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
