#pragma once
// Signal installation. Every operation returns the result of the system call
// underneath (0 or -1).
#include <csignal>

namespace IPC {
namespace Signal {

class Set {
public:
  Set() { sigemptyset(&set_); }
  Set(int a, int b) : Set() {
    sigaddset(&set_, a);
    sigaddset(&set_, b);
  }
  Set(int a, int b, int c) : Set(a, b) { sigaddset(&set_, c); }

  // True when sigismember accepts the number.
  static bool is_signal(int signo);

  const sigset_t& get() const { return set_; }

private:
  sigset_t set_;
};

int ignore(int signo);
int system(int signo);

// One-argument handlers: SA_SIGINFO is taken out of the flags.
int handle(int signo, void (*handler)(int), const Set& mask, int flags);
int handle(int signo, void (*handler)(int), int flags);
// Three-argument handlers: SA_SIGINFO is added to the flags.
int handle(int signo, void (*handler)(int, siginfo_t*, void*), const Set& mask, int flags);
int handle(int signo, void (*handler)(int, siginfo_t*, void*), int flags);

// Interrupted system calls restart (disable_int) or fail with EINTR (enable_int).
int disable_int(int signo);
int enable_int(int signo);

}  // namespace Signal
}  // namespace IPC
