#include "foundation/child_wait.h"

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/ipc_signal.h"

ChildWaitService* ChildWaitService::childWaitService = nullptr;

namespace {

// Zero before any dynamic initialisation, so the order of the translation
// units does not matter.
int usageCount;

}  // namespace

// ---- ChildWait ----

ChildWait::UsageCounter::UsageCounter() {
  if (usageCount++ == 0)
    ChildWait::Initialize();
}

ChildWait::UsageCounter::~UsageCounter() {
  if (--usageCount == 0)
    ChildWait::Cleanup();
}

ChildWait::ChildWait() : pid_(0), handler_(new (area_) DummyHandler) {}

ChildWait::~ChildWait() {
  delete handler_;
  Detach();
}

void ChildWait::Attach(int pid) {
  pid_ = pid;
  ChildWaitService* service = ChildWaitService::childWaitService;
  if (!service)
    return;
  if (service->waiters_.contains(this))
    service->waiters_.remove(this);
  service->waiters_.push_back(this);
}

void ChildWait::Detach() {
  ChildWaitService* service = ChildWaitService::childWaitService;
  if (service && service->waiters_.contains(this))
    service->waiters_.remove(this);
}

bool ChildWait::Signal(int signo) {
  if (pid_ <= 0)
    return false;
  // With SIGCHLD held back, the handler cannot reap the child between the
  // look and the signal: a child seen running keeps its pid until then.
  sigset_t chld, previous;
  sigemptyset(&chld);
  sigaddset(&chld, SIGCHLD);
  sigprocmask(SIG_BLOCK, &chld, &previous);
  siginfo_t info = {};
  const bool running =
      ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
  if (running)
    ::kill(pid_, signo);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  return running;
}

void ChildWait::Initialize() {
  if (!ChildWaitService::childWaitService)
    ChildWaitService::childWaitService = new ChildWaitService;
}

void ChildWait::Cleanup() {
  ChildWaitService* service = ChildWaitService::childWaitService;
  if (!service)
    return;
  // The signal handler stays installed and from now on does nothing.
  ChildWaitService::childWaitService = nullptr;
  service->Release();
  while (!service->waiters_.empty())
    service->waiters_.pop_front();
  service->writeEnd_.close();
  delete service;
}

void ChildWait::Activate() {
  ChildWaitService* service = ChildWaitService::childWaitService;
  if (!service)
    return;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_DGRAM, 0, pair) < 0) {
    std::cerr << "ChildWaitService: initialize fails" << std::endl;
    return;
  }
  Fd writeSide(pair[0]);
  Fd readSide(pair[1]);

  SetCloexec(writeSide.get(), true);
  service->writeEnd_ = writeSide;
  // The handler must never wait: a full queue loses the record instead.
  NonBlockMode(service->writeEnd_.get());

  service->Bind("ChildWaitService::OnChildEvent", &ChildWaitService::OnChildEvent, service);

  SetCloexec(readSide.get(), true);
  NonBlockMode(readSide.get());
  service->Schedule(readSide, POLLIN);

  IPC::Signal::handle(SIGCHLD, ChildWaitService::SigChldHandlerWrapper, SA_RESTART);
  // writeSide and readSide close here; the service keeps its duplicates.
}

// ---- ChildWaitService ----

void ChildWaitService::SigChldHandlerWrapper(int, siginfo_t*, void*) {
  const int savedErrno = errno;
  ChildWaitService* service = childWaitService;
  if (service) {
    for (;;) {
      int status = 0;
      const pid_t pid = ::waitpid(-1, &status, WNOHANG);
      if (pid < 1)
        break;
      const int fd = service->writeEnd_.get();
      if (fd < 0)
        continue;
      int32_t record[2] = {static_cast<int32_t>(pid), static_cast<int32_t>(status)};
      iovec parts[2] = {{&record[0], sizeof record[0]}, {&record[1], sizeof record[1]}};
      msghdr message = {};
      message.msg_iov = parts;
      message.msg_iovlen = 2;
      ssize_t sent = ::sendmsg(fd, &message, MSG_DONTWAIT);
      static_cast<void>(sent);  // a full queue loses the record; the child is reaped anyway
    }
  }
  errno = savedErrno;
}

void ChildWaitService::OnChildEvent(int fd, short revents) {
  if (!(revents & POLLIN))
    return;
  for (;;) {
    int32_t pid = 0;
    int32_t status = 0;
    iovec parts[2] = {{&pid, sizeof pid}, {&status, sizeof status}};
    if (::readv(fd, parts, 2) != static_cast<ssize_t>(sizeof pid + sizeof status))
      break;
    std::clog << "terminate child process, pid=" << pid << " status=" << status << std::endl;
    for (ChildWait* wait = waiters_.head(); wait; wait = wait->list_next()) {
      if (wait->pid_ == pid) {
        waiters_.remove(wait);
        wait->handler_->Invoke(*wait, status);
        break;
      }
    }
  }
}
