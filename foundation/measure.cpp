#include "foundation/measure.h"

#include "foundation/mux_time.h"

void Measure::begin() { start_ = Mux::microseconds(); }

uint32_t Measure::end() { return take(Mux::microseconds()); }

void Measure::next() {
  uint32_t now = Mux::microseconds();
  take(now);
  start_ = now;
}

uint32_t Measure::take(uint32_t now) {
  uint32_t sample = now - start_;
  if (noSample_) {
    min_ = max_ = last_ = sample;
    counter_ = 1;
    noSample_ = false;
    return sample;
  }
  ++counter_;
  if (sample < min_)
    min_ = sample;
  if (sample > max_)
    max_ = sample;
  last_ = sample;
  return sample;
}

void Measure::put(std::ostream& out) const {
  out << "min=" << min_ << " max=" << max_ << " avg=" << last_ << " counter=" << counter_;
}
