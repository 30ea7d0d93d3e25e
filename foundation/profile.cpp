#include "foundation/profile.h"

#include "foundation/mux_time.h"

namespace Profile {

Point* mRoot = nullptr;

Point::Point(const char* name)
    : next_(mRoot), name_(name), min_(0), max_(0), last_(0), first_(true), start_(0), count_(0) {
  mRoot = this;
}

Point::~Point() {
  for (Point** p = &mRoot; *p; p = &(*p)->next_) {
    if (*p == this) {
      *p = next_;
      break;
    }
  }
}

void Point::begin() { start_ = Mux::microseconds(); }

void Point::end() { take(Mux::microseconds()); }

void Point::hand_over(Point& next) {
  uint32_t now = Mux::microseconds();
  take(now);
  next.start_ = now;
}

void Point::take(uint32_t now) {
  uint32_t d = now - start_;
  if (first_) {
    min_ = max_ = last_ = d;
    count_ = 1;
    first_ = false;
    return;
  }
  ++count_;
  if (d < min_)
    min_ = d;
  if (d > max_)
    max_ = d;
  last_ = d;
}

void Point::put(std::ostream& out) const {
  out << "[" << name_ << "]: " << "min=" << min_ << " max=" << max_ << " avg=" << last_ << " counter=" << count_;
}

void dump(std::ostream& out) {
  for (Point* p = mRoot; p; p = p->next()) {
    p->put(out);
    out << std::endl;
  }
}

}  // namespace Profile
