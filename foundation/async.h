#pragma once
// Event-driven helpers that move data and open connections without
// blocking the loop: Copy copies everything readable from one descriptor to
// another; Connect opens a TCP connection within a time limit. Each reports
// its outcome once, through a bound handler, as the last thing it does.
// Copy reads and writes through the device I/O layer: either end may be a
// board device.
#include <poll.h>
#include <string>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/timer.h"

namespace ASync {

class Copy {
public:
  struct Status {
    enum Type { NotStarted = 0, Copying = 1, Draining = 2, Flushing = 3, Error = 4, Done = 5, Reconfigured = 6 };
  };
  // Poll masks: what the source is waited for, what the destination is
  // waited for while data is pending, and what it is waited for after the
  // last byte before the copy counts as done (0: done at once).
  struct EventsParams {
    unsigned src = POLLIN;
    unsigned dst = POLLOUT;
    unsigned flush = POLLWRNORM;
  };

  class Handler {
  public:
    virtual ~Handler() = default;
    virtual void Invoke(Status::Type status) = 0;
  };
  template <class T>
  class THandler : public Handler {
  public:
    typedef void (T::*Action)(Status::Type);
    THandler(Action action, T* obj) : action_(action), obj_(obj) {}
    void Invoke(Status::Type status) override { (obj_->*action_)(status); }

  private:
    Action action_;
    T* obj_;
  };

  static constexpr unsigned DefaultBufferSize = 1024;

  Copy();
  ~Copy();
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;

  // Copies from duplicates of source and destination.
  void Start(const Fd& source, const Fd& destination);
  // While copying: closes the source; what was read is still written.
  void Stop();
  void set_events(const EventsParams& events);
  void set_bufsize(unsigned n);

  void Bind(Handler* handler);
  void UnBind() { Bind(nullptr); }
  template <class T>
  void Bind(void (T::*action)(Status::Type), T* obj) {
    Bind(new THandler<T>(action, obj));
  }

  Status::Type status() const { return status_; }
  unsigned copied() const { return copied_; }
  int error() const { return error_; }

private:
  typedef bool (Copy::*Step)();

  bool SrcReady();
  bool DstReady();
  bool NotReady() { return false; }
  void Progress();
  void GoWriting();
  void GoReading();
  bool GoFlush();
  bool GoFlushDst();
  void Complete(Status::Type status);
  void CheckBuffer();
  void SetMasks(unsigned src, unsigned dst);
  void OnSrcEvent(int fd, short revents);
  void OnDstEvent(int fd, short revents);
  bool running() const {
    return status_ == Status::Copying || status_ == Status::Draining || status_ == Status::Flushing;
  }

  Fd source_;
  Fd destination_;
  EventsParams events_;
  unsigned bufsize_;
  int error_;
  Step step_;
  Handler* handler_;
  Event srcEvent_;
  Event dstEvent_;
  unsigned copied_;
  unsigned char* wpos_;
  unsigned char* wend_;
  Status::Type status_;
  unsigned char* buffer_;
};

class Connect {
public:
  struct Status {
    enum Type { NotStarted = 0, InProgress = 1, Failed = 2, Connected = 3, Stopped = 4 };
  };

  class Handler {
  public:
    virtual ~Handler() = default;
    virtual void Invoke(Status::Type status, const Fd& fd) = 0;
  };
  // The member function gets its own duplicate of the socket, closed when it
  // returns: a handler that keeps the connection duplicates it.
  template <class T>
  class THandler : public Handler {
  public:
    typedef void (T::*Action)(Status::Type, Fd);
    THandler(Action action, T* obj) : action_(action), obj_(obj) {}
    void Invoke(Status::Type status, const Fd& fd) override { (obj_->*action_)(status, fd); }

  private:
    Action action_;
    T* obj_;
  };

  Connect();
  ~Connect();
  Connect(const Connect&) = delete;
  Connect& operator=(const Connect&) = delete;

  // Connects to "a.b.c.d:port" within timeoutMs. Text that is not an IPv4
  // address fails (status Failed).
  void Start(const std::string& address, unsigned timeoutMs);
  void Stop();

  void Bind(Handler* handler);
  void UnBind() { Bind(nullptr); }
  template <class T>
  void Bind(void (T::*action)(Status::Type, Fd), T* obj) {
    Bind(new THandler<T>(action, obj));
  }

  Status::Type status() const { return status_; }

private:
  void OnSocketEvent(int fd, short revents);
  void OnTimeOut() { Complete(Status::Failed); }
  void Complete(Status::Type status);

  Status::Type status_;
  Fd socket_;
  Event event_;
  Handler* handler_;
  Timer timer_;
};

}  // namespace ASync
