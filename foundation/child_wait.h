#pragma once
// Learning on the event loop when a child process ends. The SIGCHLD handler
// reaps every ended child and writes a record {pid, status} to a datagram
// socket pair; the loop reads the records and calls the handler of the
// watcher (ChildWait) that holds the record's pid.
#include <csignal>
#include <cstddef>
#include <new>

#include "foundation/dual_list.h"
#include "foundation/event.h"
#include "foundation/fd.h"

class ChildWait : public F_dual_list_item<ChildWait> {
public:
  // What runs when the watched child has ended; lives in the watcher's area.
  class Handler {
  public:
    virtual ~Handler() = default;
    virtual void Invoke(ChildWait& wait, int status) = 0;
    // Handlers are built in place: nothing to free.
    static void operator delete(void*) {}
  };

  class DummyHandler : public Handler {
  public:
    void Invoke(ChildWait&, int) override {}
  };

  template <class T>
  class THandler1 : public Handler {
  public:
    THandler1(T& obj, void (T::*fn)(int)) : obj_(obj), fn_(fn) {}
    void Invoke(ChildWait&, int status) override { (obj_.*fn_)(status); }

  private:
    T& obj_;
    void (T::*fn_)(int);
  };

  // One count per translation unit that includes this interface: the first
  // creates the service, the last (at exit) destroys it.
  class UsageCounter {
  public:
    UsageCounter();
    ~UsageCounter();
  };

  ChildWait();
  ~ChildWait();
  ChildWait(const ChildWait&) = delete;
  ChildWait& operator=(const ChildWait&) = delete;

  template <class T>
  void Bind(T* obj, void (T::*fn)(int)) {
    static_assert(sizeof(THandler1<T>) <= kAreaSize, "handler too large for its area");
    delete handler_;
    handler_ = new (area_) THandler1<T>(*obj, fn);
  }

  // Watches the child with this pid; called right after starting it.
  void Attach(int pid);
  // Stops watching.
  void Detach();
  // Sends signo to the child while it runs; false, sending nothing, once it
  // has ended (reaped or waiting to be), when its pid may already belong to
  // another process.
  bool Signal(int signo);

  int pid() const { return pid_; }

  static void Initialize();
  static void Cleanup();
  // Creates the socket pair, watches it on the loop and installs the SIGCHLD
  // handler. Called once by start-up.
  static void Activate();

private:
  friend class ChildWaitService;
  static constexpr size_t kAreaSize = 64;

  int pid_;
  alignas(std::max_align_t) unsigned char area_[kAreaSize];
  Handler* handler_;
};

static ChildWait::UsageCounter childWaitUsageCounter;

class ChildWaitService : public Event {
public:
  ChildWaitService() = default;

  static void SigChldHandlerWrapper(int signo, siginfo_t* info, void* context);
  void OnChildEvent(int fd, short revents);

  // The one service, null when there is none.
  static ChildWaitService* childWaitService;

  const Fd& write_end() const { return writeEnd_; }
  const F_dual_list<ChildWait>& waiters() const { return waiters_; }

private:
  friend class ChildWait;

  Fd writeEnd_;  // used by the signal handler, non-blocking
  F_dual_list<ChildWait> waiters_;
};
