#pragma once
// Intrusive doubly linked lists: the element carries its own links, so
// insertion and removal never allocate.
#include <cstdint>

template <class T>
class F_dual_list;
template <class T>
class F_sorted_list;

template <class T>
class F_dual_list_item {
public:
  F_dual_list_item() : next_(nullptr), prev_(nullptr) {}
  F_dual_list_item(const F_dual_list_item&) : next_(nullptr), prev_(nullptr) {}
  F_dual_list_item& operator=(const F_dual_list_item&) { return *this; }

  T* list_next() const { return next_; }
  T* list_prev() const { return prev_; }

private:
  friend class F_dual_list<T>;
  friend class F_sorted_list<T>;
  T* next_;
  T* prev_;
};

template <class T>
class F_dual_list {
public:
  F_dual_list() : head_(nullptr), tail_(nullptr), count_(0) {}
  F_dual_list(const F_dual_list&) = delete;
  F_dual_list& operator=(const F_dual_list&) = delete;

  T* head() const { return head_; }
  T* tail() const { return tail_; }
  uint32_t count() const { return count_; }
  bool empty() const { return head_ == nullptr; }

  void push_back(T* item) {
    link(item)->next_ = nullptr;
    link(item)->prev_ = tail_;
    if (tail_)
      link(tail_)->next_ = item;
    else
      head_ = item;
    tail_ = item;
    ++count_;
  }

  void push_front(T* item) {
    link(item)->prev_ = nullptr;
    link(item)->next_ = head_;
    if (head_)
      link(head_)->prev_ = item;
    else
      tail_ = item;
    head_ = item;
    ++count_;
  }

  // Inserts item right after pos; a null pos makes it the head.
  void insert_after(T* pos, T* item) {
    if (!pos) {
      push_front(item);
      return;
    }
    T* next = link(pos)->next_;
    link(item)->prev_ = pos;
    link(item)->next_ = next;
    link(pos)->next_ = item;
    if (next)
      link(next)->prev_ = item;
    else
      tail_ = item;
    ++count_;
  }

  T* pop_front() {
    T* item = head_;
    if (item)
      remove(item);
    return item;
  }

  // Removes an item known to be on this list.
  void remove(T* item) {
    T* prev = link(item)->prev_;
    T* next = link(item)->next_;
    if (prev)
      link(prev)->next_ = next;
    else
      head_ = next;
    if (next)
      link(next)->prev_ = prev;
    else
      tail_ = prev;
    link(item)->next_ = link(item)->prev_ = nullptr;
    --count_;
  }

  bool contains(const T* item) const {
    for (T* p = head_; p; p = link(p)->next_)
      if (p == item)
        return true;
    return false;
  }

  // Exchanges heads, tails and counts with another list.
  void swap(F_dual_list& other) {
    T* h = head_;
    T* t = tail_;
    uint32_t c = count_;
    head_ = other.head_;
    tail_ = other.tail_;
    count_ = other.count_;
    other.head_ = h;
    other.tail_ = t;
    other.count_ = c;
  }

  // Moves every item of other, in order, to the end of this list.
  void splice_back(F_dual_list& other) {
    if (other.empty())
      return;
    if (tail_) {
      link(tail_)->next_ = other.head_;
      link(other.head_)->prev_ = tail_;
    } else {
      head_ = other.head_;
    }
    tail_ = other.tail_;
    count_ += other.count_;
    other.head_ = other.tail_ = nullptr;
    other.count_ = 0;
  }

protected:
  static F_dual_list_item<T>* link(const T* item) {
    return static_cast<F_dual_list_item<T>*>(const_cast<T*>(item));
  }

  T* head_;
  T* tail_;
  uint32_t count_;
};

// A list kept in ascending order by T::compare (a signed difference), new
// items placed after every item that does not come later.
template <class T>
class F_sorted_list : public F_dual_list<T> {
public:
  void insert(T* item) {
    T* pos = this->tail_;
    while (pos && pos->compare(item) > 0)
      pos = F_dual_list<T>::link(pos)->prev_;
    this->insert_after(pos, item);
  }
};
