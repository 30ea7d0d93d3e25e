#pragma once
// Watched descriptors: an EventHandler is what the loop polls and services;
// an Event is a named watch of one descriptor that calls a member function
// of its owner with the descriptor and the returned poll events.
#include <poll.h>
#include <string>

#include "foundation/dual_list.h"
#include "foundation/fd.h"
#include "foundation/measure.h"

class EventHandler : public F_dual_list_item<EventHandler> {
public:
  EventHandler() : attached_(false), revents_(0) {}
  virtual ~EventHandler() = default;
  virtual void shedule_event(pollfd& entry) = 0;
  virtual void svc_event(short revents) = 0;
  virtual std::string event_name() const { return "unknown"; }
  virtual bool is_named() const { return false; }

  void mux_attach();
  void mux_detach();
  void svc_event() { svc_event(revents_); }

  bool attached() const { return attached_; }
  short revents() const { return revents_; }
  void set_revents(short revents) { revents_ = revents; }

private:
  bool attached_;
  short revents_;
};

class Event : public EventHandler {
public:
  class Handler {
  public:
    virtual ~Handler() = default;
    virtual void Invoke(int fd, short revents) = 0;
  };

  template <class T>
  class THandler : public Handler {
  public:
    typedef void (T::*Action)(int, short);
    THandler(Action action, T* obj) : action_(action), obj_(obj) {}
    void Invoke(int fd, short revents) override {
      if (action_)
        (obj_->*action_)(fd, revents);
    }

  private:
    Action action_;
    T* obj_;
  };

  Event() : handler_(nullptr), events_(0), name_("Unknown"), count_(0) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  ~Event() override;

  void Bind(Handler* handler);
  template <class T>
  void Bind(const std::string& name, void (T::*action)(int, short), T* obj) {
    name_ = name;
    Bind(new THandler<T>(action, obj));
  }
  void UnBind() { Bind(nullptr); }

  void Schedule(const Fd& fd, short events);
  void Release();

  void shedule_event(pollfd& entry) override;
  void svc_event(short revents) override;
  std::string event_name() const override { return name_; }
  bool is_named() const override { return true; }

  const Fd& fd() const { return fd_; }
  short events() const { return events_; }
  uint32_t count() const { return count_; }
  const Measure& measure() const { return measure_; }
  bool bound() const { return handler_ != nullptr; }

private:
  Handler* handler_;
  Fd fd_;
  short events_;
  std::string name_;
  uint32_t count_;
  Measure measure_;
};
