#pragma once
// Callback latency record in microseconds of the loop's clock.
#include <cstdint>
#include <ostream>

class Measure {
public:
  Measure() : min_(0), max_(0), last_(0), noSample_(true), start_(0), counter_(0) {}

  void begin();
  // Begins at a reading of Mux::microseconds() just taken.
  void begin(uint32_t now) { start_ = now; }
  uint32_t end();
  // Ends the sample and begins the next one at the same reading, for
  // callbacks run back to back: one clock reading each instead of two.
  void next();
  void put(std::ostream& out) const;

  uint32_t min() const { return min_; }
  uint32_t max() const { return max_; }
  uint32_t last() const { return last_; }
  uint32_t counter() const { return counter_; }

private:
  uint32_t take(uint32_t now);

  uint32_t min_;
  uint32_t max_;
  uint32_t last_;
  bool noSample_;
  uint32_t start_;
  uint32_t counter_;
};

inline std::ostream& operator<<(std::ostream& out, const Measure& m) {
  m.put(out);
  return out;
}
