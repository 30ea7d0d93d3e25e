#pragma once
// Named profiling points measuring durations in microseconds; listed in the
// status dump, newest first.
#include <cstdint>
#include <ostream>

namespace Profile {

class Point {
public:
  explicit Point(const char* name);
  ~Point();
  Point(const Point&) = delete;
  Point& operator=(const Point&) = delete;

  void begin();
  void end();
  // Ends this measurement and begins next's at the same reading.
  void hand_over(Point& next);
  void put(std::ostream& out) const;

  Point* next() const { return next_; }
  uint32_t count() const { return count_; }

private:
  void take(uint32_t now);

  Point* next_;
  const char* name_;
  uint32_t min_;
  uint32_t max_;
  uint32_t last_;
  bool first_;
  uint32_t start_;
  uint32_t count_;
};

extern Point* mRoot;
void dump(std::ostream& out);

}  // namespace Profile

namespace Trace {

// Traces entry and exit of a scope when enabled.
class Block {
public:
  Block(bool enabled, const char* name, std::ostream& out) : enabled_(enabled), name_(name), out_(out) {
    if (enabled_)
      out_ << "Enter " << name_ << std::endl;
  }
  ~Block() {
    if (enabled_)
      out_ << "Leave " << name_ << std::endl;
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

private:
  bool enabled_;
  const char* name_;
  std::ostream& out_;
};

}  // namespace Trace
