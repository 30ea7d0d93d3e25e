#pragma once
// A fixed pool of N blocks of T recycled through a free list, never from the
// general heap. Freed blocks join the tail of the list, so they are reused
// in first-freed, first-reused order. Blocks that were never handed out
// sit, in array order, ahead of every freed one; they are linked only when
// first taken, so untouched storage stays untouched (no page is committed
// before it is used).
#include <new>

#include "foundation/dual_list.h"

// The pool's lock type: the process has one thread.
struct Dummy_critical_section {
  void lock() {}
  void unlock() {}
};

template <class T, unsigned N, class Lock>
class List_allocator {
public:
  static constexpr unsigned capacity = N;

  List_allocator() : fresh_(0) {}
  List_allocator(const List_allocator&) = delete;
  List_allocator& operator=(const List_allocator&) = delete;

  // A block's raw storage for one T (not constructed), or null when none is left.
  T* allocate() {
    lock_.lock();
    Block* block = nullptr;
    if (fresh_ < N)
      block = new (&storage_[fresh_++ * sizeof(Block)]) Block;
    else
      block = free_.pop_front();
    lock_.unlock();
    return block ? reinterpret_cast<T*>(block->value) : nullptr;
  }

  void deallocate(T* object) {
    auto offset = reinterpret_cast<unsigned char*>(object) - storage_;
    Block* block = reinterpret_cast<Block*>(storage_ + (offset / sizeof(Block)) * sizeof(Block));
    lock_.lock();
    free_.push_back(block);
    lock_.unlock();
  }

  unsigned available() const { return (N - fresh_) + free_.count(); }

private:
  struct Block : F_dual_list_item<Block> {
    alignas(T) unsigned char value[sizeof(T)];
  };

  alignas(Block) unsigned char storage_[N * sizeof(Block)];
  unsigned fresh_;  // blocks from here on were never handed out
  F_dual_list<Block> free_;
  Lock lock_;
};
