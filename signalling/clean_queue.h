#pragma once
// A fixed ring of N packet handles for the link layers' transmit,
// retransmission and acknowledgement queues. It never allocates: a full
// ring refuses new elements and the caller decides what to drop. Each
// occupied slot holds one reference on its packet; emptying a slot, and
// clearing the ring, lets the reference go.

template <class T, unsigned N>
class CleanQueue {
public:
  CleanQueue() : head_(0), tail_(0), count_(0) {}
  CleanQueue(const CleanQueue&) = delete;
  CleanQueue& operator=(const CleanQueue&) = delete;

  // The capacity, not the fill level.
  unsigned size() const { return N; }
  unsigned count() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Adds p behind the newest element.
  bool put(const T& p) {
    if (count_ > N - 1)
      return false;
    ++count_;
    slots_[tail_] = p;
    tail_ = inc_index(tail_);
    return true;
  }

  // Adds p in front of the oldest element: get returns it next.
  bool append(const T& p) {
    if (count_ > N - 1)
      return false;
    head_ = head_ ? head_ - 1 : N - 1;
    slots_[head_] = p;
    ++count_;
    return true;
  }

  // Takes the oldest element; a null out drops it.
  bool get(T* out) {
    if (!count_)
      return false;
    if (out)
      *out = slots_[head_];
    slots_[head_] = T();
    --count_;
    head_ = inc_index(head_);
    return true;
  }
  bool get(T& out) { return get(&out); }

  // Copies the oldest element, leaving the ring as it is; a null out only
  // asks whether there is one.
  bool preview(T* out) const {
    if (!count_)
      return false;
    if (out)
      *out = slots_[head_];
    return true;
  }

  // Takes the newest element.
  bool get_last(T* out) {
    if (!count_)
      return false;
    tail_ = tail_ ? tail_ - 1 : N - 1;
    if (out)
      *out = slots_[tail_];
    slots_[tail_] = T();
    --count_;
    return true;
  }

  // Empties the ring and releases every packet it held.
  void clear() {
    while (count_) {
      slots_[head_] = T();
      head_ = inc_index(head_);
      --count_;
    }
    head_ = tail_ = 0;
  }

  static unsigned inc_index(unsigned i) { return i < N - 1 ? i + 1 : 0; }

private:
  T slots_[N];
  unsigned head_;   // the oldest element
  unsigned tail_;   // the slot the next put fills
  unsigned count_;  // 0..N
};
