#include "foundation/ipc_signal.h"

namespace IPC {
namespace Signal {

namespace {

int install(int signo, void (*handler)(int), const sigset_t& mask, int flags) {
  struct sigaction action = {};
  action.sa_handler = handler;
  action.sa_mask = mask;
  action.sa_flags = flags;
  return sigaction(signo, &action, nullptr);
}

}  // namespace

bool Set::is_signal(int signo) {
  sigset_t set;
  sigemptyset(&set);
  return sigismember(&set, signo) != -1;
}

int ignore(int signo) { return install(signo, SIG_IGN, Set().get(), 0); }

int system(int signo) { return install(signo, SIG_DFL, Set().get(), 0); }

int handle(int signo, void (*handler)(int), const Set& mask, int flags) {
  return install(signo, handler, mask.get(), flags & ~SA_SIGINFO);
}

int handle(int signo, void (*handler)(int), int flags) { return handle(signo, handler, Set(), flags); }

int handle(int signo, void (*handler)(int, siginfo_t*, void*), const Set& mask, int flags) {
  struct sigaction action = {};
  action.sa_sigaction = handler;
  action.sa_mask = mask.get();
  action.sa_flags = flags | SA_SIGINFO;
  return sigaction(signo, &action, nullptr);
}

int handle(int signo, void (*handler)(int, siginfo_t*, void*), int flags) {
  return handle(signo, handler, Set(), flags);
}

// What siginterrupt() does, without its deprecation: SA_RESTART on or off in
// the signal's current action.
namespace {

int setRestart(int signo, bool restart) {
  struct sigaction action;
  if (sigaction(signo, nullptr, &action) < 0)
    return -1;
  if (restart)
    action.sa_flags |= SA_RESTART;
  else
    action.sa_flags &= ~SA_RESTART;
  return sigaction(signo, &action, nullptr);
}

}  // namespace

int disable_int(int signo) { return setRestart(signo, true); }

int enable_int(int signo) { return setRestart(signo, false); }

}  // namespace Signal
}  // namespace IPC
