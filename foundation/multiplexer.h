#pragma once
// The daemon's only loop: fires due timers, runs deferred calls, polls the
// attached descriptor handlers, keeps the hardware watchdog alive and lets
// every attached handler look at its descriptor.
#include <ostream>
#include <vector>
#include <poll.h>

#include "foundation/dpc.h"
#include "foundation/dual_list.h"
#include "foundation/event.h"
#include "foundation/measure.h"
#include "foundation/timer.h"

class TimerPoolPlugin;

class Multiplexer {
public:
  class TimerPollNotify {
  public:
    virtual ~TimerPollNotify() = default;
    virtual void removeTimerPoolPlugin(TimerPoolPlugin* plugin) = 0;
  };

  static constexpr uint32_t MaxWait = 7200000;  // two hours, the longest timer
  static constexpr int NoWait = 2147483647;

  Multiplexer();
  ~Multiplexer();
  Multiplexer(const Multiplexer&) = delete;
  Multiplexer& operator=(const Multiplexer&) = delete;

  // Runs turns until terminate(). watchdog: drive "/dev/misc/gw-wd";
  // liveClock: false freezes the clock once per turn.
  void run(bool watchdog, bool liveClock);
  void terminate() { stop_ = true; }
  void resetWD();

  // The three steps of run(), for callers that drive the loop turn by turn.
  void run_begin(bool watchdog, bool liveClock);
  void run_turn();
  void run_end();
  bool stopping() const { return stop_; }

  void attach(EventHandler* handler);
  void detach(EventHandler* handler);
  bool event_exists(EventHandler* handler) const;

  void set(TimerEvent* timer);
  void reset(TimerEvent* timer);

  void attach(Dpc* dpc);
  void dettach(Dpc* dpc);

  void hook(TimerPoolPlugin* plugin);
  void unhook(TimerPoolPlugin* plugin);

  void dump(std::ostream& out) const;

  uint32_t timers_schedule();
  int timerPoll_schedule();
  void execute_dpc();

  size_t timer_count() const { return timers_.count(); }
  size_t handler_count() const { return incoming_.count() + serviced_.count() + active_.count(); }
  size_t dpc_count() const { return dpcs_.size(); }
  bool watchdog_open() const { return watchdog_ >= 0; }

private:
  class PluginPass;

  F_sorted_list<TimerEvent> timers_;
  F_dual_list<EventHandler> incoming_;
  F_dual_list<EventHandler> serviced_;
  F_dual_list<EventHandler> active_;
  std::vector<pollfd> pollArray_;
  std::vector<Dpc*> dpcs_;
  std::vector<Dpc*> dpcSnapshot_;
  size_t dpcSnapshotNext_;
  volatile bool stop_;
  Measure dpcMeasure_;
  Measure eventMeasure_;
  Measure timerMeasure_;
  std::vector<TimerPoolPlugin*> plugins_;
  TimerPollNotify* pluginNotify_;
  int watchdog_;
  bool liveClock_;
  uint32_t lastPing_;
};

extern Multiplexer multiplexer;

// An optional source of deadlines for the loop.
class TimerPoolPlugin {
public:
  TimerPoolPlugin() : hooked_(false) {}
  virtual ~TimerPoolPlugin() { timerUnhook(); }
  // Milliseconds to the plug-in's next deadline, negative for none.
  virtual int timerPoll() = 0;

  void timerHook() {
    if (!hooked_) {
      multiplexer.hook(this);
      hooked_ = true;
    }
  }
  void timerUnhook() {
    if (hooked_) {
      multiplexer.unhook(this);
      hooked_ = false;
    }
  }

private:
  bool hooked_;
};

// Text of a poll event mask, e.g. "POLLIN|POLLOUT".
std::string PollEventAsText(short events);
