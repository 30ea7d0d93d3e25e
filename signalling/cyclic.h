#pragma once
// Sequence numbers counted modulo Max + 1 (Max + 1 a power of two), with the
// window test of the acknowledgement logic: `low <= mid <= high` holds when
// mid lies in the window that starts at low and runs forward, wrapping, up
// to and including high.

template <class T, T Max>
class Cyclic {
public:
  struct LessEqPair {
    T low;
    T mid;
    bool operator<=(Cyclic high) const { return ((high.value_ - low) & Max) >= ((mid - low) & Max); }
  };

  Cyclic() : value_(0) {}
  Cyclic(T v) : value_(v & Max) {}  // NOLINT: implicit, like the plain number it stands for

  operator T() const { return value_; }

  Cyclic operator+(const Cyclic& other) const { return Cyclic(value_ + other.value_); }
  // The distance from other forward to this value.
  Cyclic operator-(const Cyclic& other) const { return Cyclic(value_ - other.value_); }
  Cyclic& operator++() {
    value_ = value_ == Max ? 0 : value_ + 1;
    return *this;
  }
  Cyclic operator++(int) {
    Cyclic before = *this;
    ++*this;
    return before;
  }
  Cyclic& operator--() {
    value_ = value_ == 0 ? Max : value_ - 1;
    return *this;
  }

  LessEqPair operator<=(Cyclic mid) const { return LessEqPair{value_, mid.value_}; }

private:
  T value_;
};

typedef Cyclic<unsigned, 127> Seq128;
