#pragma once
// One-shot millisecond timers on the event loop. A client owns a Timer
// holder; arming it creates an event that calls back a member function and
// deletes itself after firing. Re-arming replaces the pending expiry.
#include <cstdint>
#include <memory>

#include "foundation/dual_list.h"

class Timer;

class TimerEvent : public F_dual_list_item<TimerEvent> {
public:
  TimerEvent() : expiry_(0), queued_(false) {}
  virtual ~TimerEvent();
  virtual void fire() = 0;

  void schedule(unsigned int ms);
  void reset();
  int32_t compare(const TimerEvent* other) const { return static_cast<int32_t>(expiry_ - other->expiry_); }
  uint32_t expiry() const { return expiry_; }
  void set_expiry(uint32_t expiry) { expiry_ = expiry; }
  bool queued() const { return queued_; }

private:
  friend class Multiplexer;
  uint32_t expiry_;
  bool queued_;  // on the loop's timer list
};

// Owning holder of at most one pending TimerEvent.
class Timer {
public:
  Timer() = default;
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  template <class T>
  void set(unsigned int ms, void (T::*fn)(), T* obj);
  template <class T>
  void set(unsigned int ms, void (T::*fn)(Timer*), T* obj);

  // Deletes the held event, which unschedules it.
  void reset(TimerEvent* event = nullptr) {
    if (event != event_.get())
      event_.reset(event);
  }
  TimerEvent* release() { return event_.release(); }
  TimerEvent* get() const { return event_.get(); }
  bool pending() const { return event_ != nullptr; }

private:
  std::unique_ptr<TimerEvent> event_;
};

template <class T>
class ObjTimerEvent1 : public TimerEvent {
public:
  ObjTimerEvent1(Timer* owner, void (T::*fn)(), T* obj, unsigned int ms) : owner_(owner), fn_(fn), obj_(obj) {
    schedule(ms);
  }
  void fire() override {
    owner_->release();
    (obj_->*fn_)();
    delete this;
  }

private:
  Timer* owner_;
  void (T::*fn_)();
  T* obj_;
};

template <class T>
class ObjTimerEvent2 : public TimerEvent {
public:
  ObjTimerEvent2(Timer* owner, void (T::*fn)(Timer*), T* obj, unsigned int ms) : owner_(owner), fn_(fn), obj_(obj) {
    schedule(ms);
  }
  void fire() override {
    owner_->release();
    (obj_->*fn_)(owner_);
    delete this;
  }

private:
  Timer* owner_;
  void (T::*fn_)(Timer*);
  T* obj_;
};

class SimpleTimerEvent1 : public TimerEvent {
public:
  SimpleTimerEvent1(Timer* owner, void (*fn)(), unsigned int ms) : owner_(owner), fn_(fn) { schedule(ms); }
  void fire() override {
    owner_->release();
    fn_();
    delete this;
  }

private:
  Timer* owner_;
  void (*fn_)();
};

template <class T>
void Timer::set(unsigned int ms, void (T::*fn)(), T* obj) {
  reset(new ObjTimerEvent1<T>(this, fn, obj, ms));
}

template <class T>
void Timer::set(unsigned int ms, void (T::*fn)(Timer*), T* obj) {
  reset(new ObjTimerEvent2<T>(this, fn, obj, ms));
}

// A timer event kept inside its owner and armed again and again. Unlike a
// Timer holder it allocates nothing when armed, for restarts on every frame.
template <class T>
class MemberTimer : public TimerEvent {
public:
  MemberTimer(T* obj, void (T::*fn)()) : obj_(obj), fn_(fn) {}
  MemberTimer(const MemberTimer&) = delete;
  MemberTimer& operator=(const MemberTimer&) = delete;

  // Arming an armed timer replaces its expiry.
  void start(unsigned int ms) { schedule(ms); }
  void stop() { reset(); }
  bool running() const { return queued(); }
  void fire() override { (obj_->*fn_)(); }

private:
  T* obj_;
  void (T::*fn_)();
};

// Arms a Timer from a static record of T holding the callback and its period.
template <class T>
struct TimerSpec {
  struct Record {
    void (T::*fn)();
    uint32_t period;
  };
  template <const Record& record>
  struct SpecTimer {
    static void set(Timer* timer, T* obj) { timer->reset(new ObjTimerEvent1<T>(timer, record.fn, obj, record.period)); }
  };
};
