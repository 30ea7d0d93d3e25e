#include "foundation/timer.h"

#include "foundation/multiplexer.h"
#include "foundation/mux_time.h"

TimerEvent::~TimerEvent() { multiplexer.reset(this); }

void TimerEvent::schedule(unsigned int ms) {
  expiry_ = Mux::milliseconds() + ms;
  multiplexer.set(this);
}

void TimerEvent::reset() { multiplexer.reset(this); }
