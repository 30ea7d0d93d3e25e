#include "foundation/multiplexer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

#include "foundation/device_io.h"
#include "foundation/ext.h"
#include "foundation/mux_time.h"
#include "foundation/profile.h"

Multiplexer multiplexer;

namespace {
const char* const WatchdogPath = "/dev/misc/gw-wd";
}

namespace {
// Objects destroyed at exit after the loop may still unregister themselves.
bool loopAlive = false;
}

Multiplexer::Multiplexer()
    : dpcSnapshotNext_(0), stop_(false), pluginNotify_(nullptr), watchdog_(-1), liveClock_(true), lastPing_(0) {
  loopAlive = true;
}

Multiplexer::~Multiplexer() { loopAlive = false; }

void Multiplexer::run(bool watchdog, bool liveClock) {
  run_begin(watchdog, liveClock);
  while (!stop_)
    run_turn();
  run_end();
}

void Multiplexer::run_begin(bool watchdog, bool liveClock) {
  stop_ = false;
  liveClock_ = liveClock;
  if (watchdog) {
    int fd = DevIo::open(WatchdogPath, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      std::cerr << "Mux: fail to open watchdog: " << strerror(errno) << std::endl;
    } else if (DevIo::write(fd, "START", 5) != 5) {
      std::cerr << "Mux: fail to activate watchdog: " << strerror(errno) << std::endl;
      DevIo::close(fd);
    } else {
      watchdog_ = fd;
    }
  }
  if (!liveClock_)
    Mux::mux_settimeofday();
  lastPing_ = 0;
}

void Multiplexer::run_turn() {
  timers_schedule();
  int pluginWait = timerPoll_schedule();
  if (pluginWait < 1)
    pluginWait = NoWait;

  active_.splice_back(incoming_);
  if (pollArray_.size() != active_.count())
    pollArray_.resize(active_.count());
  size_t i = 0;
  for (EventHandler* h = active_.head(); h; h = h->list_next())
    h->shedule_event(pollArray_[i++]);

  execute_dpc();
  // The wait, and whether there is anything to wait for at all, are taken
  // from the state after both deferred passes, with a reading taken after
  // this turn's callbacks so that the time they took does not make the
  // first timer late.
  int timeout = pluginWait == NoWait ? -1 : pluginWait;
  if (!timers_.empty()) {
    uint32_t due = timers_.head()->expiry() - Mux::milliseconds();
    if (static_cast<int32_t>(due) < 0)
      due = 0;
    else if (due > MaxWait)
      due = 1000;  // a clock step back: the next timer pass reports it and re-sets the timers
    if (timeout < 0 || static_cast<int>(due) < timeout)
      timeout = static_cast<int>(due);
  }
  if (timeout == -1 && pollArray_.empty()) {
    if (incoming_.empty()) {
      std::cerr << "multiplexer: system hang detected!!!" << std::endl;
      abort();
    }
    timeout = 0;  // a handler attached by the second pass is polled from the next turn
  }
  if (watchdog_ >= 0 && (timeout == -1 || timeout > 1000))
    timeout = 1000;

  int n = Mux::time_source().poll(pollArray_.data(), pollArray_.size(), timeout);
  int pollErrno = errno;
  if (!liveClock_)
    Mux::mux_settimeofday();

  Mux::Reading now = Mux::reading();
  uint32_t t = now.ms;
  bool pinged = false;
  if (lastPing_ == 0 || t < lastPing_ || t - lastPing_ >= 1000) {
    lastPing_ = t;
    resetWD();
    pinged = watchdog_ >= 0;
  }

  if (n == 0)
    return;
  if (n < 0) {
    if (pollErrno == EINTR)
      return;
    std::cerr << "multiplexer poll failed: " << strerror(pollErrno) << std::endl;
    abort();
  }

  i = 0;
  for (EventHandler* h = active_.head(); h && i < pollArray_.size(); h = h->list_next())
    h->set_revents(pollArray_[i++].revents);
  // Handlers run back to back from the reading after the poll (a fresh one
  // after a watchdog ping): the end of one's sample is the start of the next's.
  if (pinged)
    eventMeasure_.begin();
  else
    eventMeasure_.begin(now.us);
  while (!stop_ && !active_.empty()) {
    EventHandler* h = active_.pop_front();
    serviced_.push_back(h);
    h->svc_event();
    eventMeasure_.next();
  }
  // Handlers left unserviced because the loop is stopping keep their place after the serviced ones.
  serviced_.splice_back(active_);
  active_.swap(serviced_);
}

void Multiplexer::run_end() {
  std::clog << "Mux: terminating..." << std::endl;
  if (watchdog_ >= 0) {
    if (DevIo::write(watchdog_, "STOP", 4) != 4)
      std::cerr << "Mux: stop watchdog failed: " << strerror(errno) << std::endl;
    DevIo::close(watchdog_);
    watchdog_ = -1;
  }
}

void Multiplexer::resetWD() {
  if (watchdog_ < 0)
    return;
  if (DevIo::write(watchdog_, "PING", 4) != 4)
    std::cerr << "Mux: ping watchdog failed: " << strerror(errno) << std::endl;
}

bool Multiplexer::event_exists(EventHandler* handler) const {
  return incoming_.contains(handler) || serviced_.contains(handler) || active_.contains(handler);
}

void Multiplexer::attach(EventHandler* handler) {
  if (event_exists(handler)) {
    std::cerr << "duplicate multiplexer attach \"" << handler->event_name() << "\" ignored." << std::endl;
    return;
  }
  incoming_.push_back(handler);
}

void Multiplexer::detach(EventHandler* handler) {
  if (!loopAlive)
    return;
  for (F_dual_list<EventHandler>* list : {&incoming_, &serviced_, &active_}) {
    if (list->contains(handler)) {
      list->remove(handler);
      return;
    }
  }
  std::cerr << "indvalid Multiplexer::detach " << handler->event_name() << std::endl;
}

void Multiplexer::set(TimerEvent* timer) {
  if (timer->queued_)
    timers_.remove(timer);
  timers_.insert(timer);
  timer->queued_ = true;
}

void Multiplexer::reset(TimerEvent* timer) {
  if (!loopAlive || !timer->queued_)
    return;
  timers_.remove(timer);
  timer->queued_ = false;
}

uint32_t Multiplexer::timers_schedule() {
  uint32_t now = Mux::milliseconds();
  while (!timers_.empty() && static_cast<int32_t>(now - timers_.head()->expiry()) >= 0) {
    timerMeasure_.begin();
    TimerEvent* timer = timers_.pop_front();
    timer->queued_ = false;
    timer->fire();
    timerMeasure_.end();
  }
  execute_dpc();
  uint32_t first = timers_.empty() ? now : timers_.head()->expiry();
  uint32_t wait = first - now;
  if (wait <= MaxWait)
    return wait;
  std::cerr << "******** RUNTIME ERROR CONDITION *************"
            << "Multiplexer::timers_schedule() invalid wait time detected!" << std::endl
            << "now = " << now << std::endl
            << "first = " << first << std::endl
            << "count = " << timers_.count() << std::endl;
  for (TimerEvent* t = timers_.head(); t; t = t->list_next())
    t->set_expiry(now + 1000);
  return 1000;
}

class Multiplexer::PluginPass : public Multiplexer::TimerPollNotify {
public:
  explicit PluginPass(Multiplexer& mux) : mux_(mux) {
    mux_.pluginNotify_ = this;
    working_.swap(mux_.plugins_);
  }
  ~PluginPass() override { mux_.pluginNotify_ = nullptr; }

  int run() {
    int best = NoWait;
    while (next_ < working_.size()) {
      TimerPoolPlugin* plugin = working_[next_++];
      if (!plugin)
        continue;
      mux_.plugins_.push_back(plugin);
      int wait = plugin->timerPoll();
      if (wait >= 0 && wait < best)
        best = wait;
    }
    return best;
  }

  void removeTimerPoolPlugin(TimerPoolPlugin* plugin) override {
    std::replace(working_.begin() + static_cast<long>(next_), working_.end(), plugin,
                 static_cast<TimerPoolPlugin*>(nullptr));
    mux_.plugins_.erase(std::remove(mux_.plugins_.begin(), mux_.plugins_.end(), plugin), mux_.plugins_.end());
  }

private:
  Multiplexer& mux_;
  std::vector<TimerPoolPlugin*> working_;
  size_t next_ = 0;
};

int Multiplexer::timerPoll_schedule() {
  if (plugins_.empty())
    return NoWait;
  PluginPass pass(*this);
  return pass.run();
}

void Multiplexer::hook(TimerPoolPlugin* plugin) { plugins_.push_back(plugin); }

void Multiplexer::unhook(TimerPoolPlugin* plugin) {
  if (!loopAlive)
    return;
  if (pluginNotify_) {
    pluginNotify_->removeTimerPoolPlugin(plugin);
    return;
  }
  plugins_.erase(std::remove(plugins_.begin(), plugins_.end(), plugin), plugins_.end());
}

void Multiplexer::attach(Dpc* dpc) {
  auto pos = std::lower_bound(dpcs_.begin(), dpcs_.end(), dpc);
  if (pos == dpcs_.end() || *pos != dpc)
    dpcs_.insert(pos, dpc);
}

void Multiplexer::dettach(Dpc* dpc) {
  if (!loopAlive)
    return;
  dpcs_.erase(std::remove(dpcs_.begin(), dpcs_.end(), dpc), dpcs_.end());
  for (size_t i = dpcSnapshotNext_; i < dpcSnapshot_.size(); ++i)
    if (dpcSnapshot_[i] == dpc)
      dpcSnapshot_[i] = nullptr;
}

void Multiplexer::execute_dpc() {
  dpcSnapshot_ = dpcs_;
  dpcSnapshotNext_ = 0;
  // Calls run back to back: the end of one's sample is the start of the next's.
  if (!dpcSnapshot_.empty())
    dpcMeasure_.begin();
  while (dpcSnapshotNext_ < dpcSnapshot_.size()) {
    Dpc* dpc = dpcSnapshot_[dpcSnapshotNext_++];
    if (!dpc)
      continue;
    if (dpc->handler())
      dpc->handler()->Invoke();
    dpcMeasure_.next();
  }
  dpcSnapshot_.clear();
  dpcSnapshotNext_ = 0;
}

std::string PollEventAsText(short events) {
  static const struct {
    short bit;
    const char* name;
  } names[] = {{0x1, "|POLLIN"},       {0x2, "|POLLPRI"},     {0x4, "|POLLOUT"},     {0x8, "|POLLERR"},
               {0x10, "|POLLHUP"},     {0x20, "|POLLNVAL"},   {0x40, "|POLLRDNORM"}, {0x80, "|POLLRDBAND"},
               {0x100, "|POLLWRNORM"}, {0x200, "|POLLWRBAND"}, {0x400, "|POLLMSG"}};
  std::string text;
  for (const auto& n : names)
    if (events & n.bit)
      text += n.name;
  return text.empty() ? text : text.substr(1);
}

void Multiplexer::dump(std::ostream& out) const {
  out << "dpc transition measurement (min/max/cur/counter): " << dpcMeasure_ << "\n";
  out << "event transition measurement (min/max/cur/counter): " << eventMeasure_ << "\n";
  out << "timer transition measurement (min/max/cur/counter): " << timerMeasure_ << "\n";
  Profile::dump(out);

  ext::Table table(40, 30, 10, 10, 5, 60);
  {
    ext::Table::Sentry s(out, table);
    s << ext::delimeter;
    s << ext::beginrow << "name" << ext::nextrow << "events" << ext::nextrow << "count" << ext::nextrow << "handler"
      << ext::nextrow << "fd" << ext::nextrow << "measure" << ext::nextrow;
    s << ext::delimeter;
    for (EventHandler* h = active_.head(); h; h = h->list_next()) {
      if (!h->is_named())
        continue;
      const Event* e = static_cast<const Event*>(h);
      s << ext::beginrow << e->event_name() << ext::nextrow << PollEventAsText(e->events()) << ext::nextrow
        << e->count() << ext::nextrow << (e->bound() ? "attached" : "unattached") << ext::nextrow << e->fd().get()
        << ext::nextrow << e->measure() << ext::nextrow;
    }
    s << ext::delimeter;
  }
  out << "\n";
}
