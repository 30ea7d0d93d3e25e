#pragma once
// An intrusive reference-counting handle. T carries its own count
// (smart_ref(), smart_unref() returning the count left) and is disposed of
// by smart_dispose(T*) when the last handle lets go: deleted by default,
// returned to its pool where a type provides its own smart_dispose.
#include "foundation/assertions.h"

template <class T>
void smart_dispose(T* object) {
  delete object;
}

template <class T>
class Smart_pointer {
public:
  Smart_pointer() : p_(nullptr) {}
  Smart_pointer(T* p) : p_(p) {  // NOLINT: implicit on purpose, as a raw pointer
    if (p_)
      p_->smart_ref();
  }
  Smart_pointer(const Smart_pointer& other) : Smart_pointer(other.p_) {}
  ~Smart_pointer() { release(); }

  Smart_pointer& operator=(T* p) {
    if (p)
      p->smart_ref();  // first, so that assigning the held pointer keeps it alive
    release();
    p_ = p;
    return *this;
  }
  Smart_pointer& operator=(const Smart_pointer& other) { return *this = other.p_; }

  T* operator->() const {
    if (!p_)
      SmartPtrAssertion();
    return p_;
  }
  T& operator*() const { return *operator->(); }

  T* get() const { return p_; }
  bool null() const { return p_ == nullptr; }
  explicit operator bool() const { return p_ != nullptr; }

  // Drops this handle's reference; the handle becomes null.
  void release() {
    T* p = p_;
    p_ = nullptr;
    if (p && p->smart_unref() == 0)
      smart_dispose(p);
  }

private:
  T* p_;
};

// The count a reference-counted object embeds.
class Smart_count {
public:
  Smart_count() : count_(0) {}
  Smart_count(const Smart_count&) : count_(0) {}
  Smart_count& operator=(const Smart_count&) { return *this; }

  void smart_ref() { ++count_; }
  // Never goes below 0.
  unsigned smart_unref() { return count_ ? --count_ : 0; }
  unsigned smart_count() const { return count_; }

private:
  unsigned count_;
};
