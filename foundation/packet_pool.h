#pragma once
// A fixed pool of N blocks of T recycled through a free list, never from the
// general heap. Freed blocks join the tail of the list, so they are reused
// in first-freed, first-reused order. Blocks that were never handed out
// sit, in array order, ahead of every freed one; they are taken lazily, so
// storage that was never used stays untouched (no page is committed before
// it is used). The list links live apart from the blocks' storage, so the
// storage of free blocks can be handed back to the system
// (release_idle_memory) without losing the list.
#include <cstddef>
#include <sys/mman.h>

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

  List_allocator() : fresh_(0), touched_(0) {}
  List_allocator(const List_allocator&) = delete;
  List_allocator& operator=(const List_allocator&) = delete;

  // A block's raw storage for one T (not constructed), or null when none is left.
  T* allocate() {
    lock_.lock();
    unsigned index = N;
    if (fresh_ < N)
      index = fresh_++;
    else if (Link* link = free_.pop_front())
      index = static_cast<unsigned>(link - links_);
    if (index < N && touched_ < N)
      ++touched_;
    lock_.unlock();
    return index < N ? reinterpret_cast<T*>(storage_ + static_cast<size_t>(index) * sizeof(T)) : nullptr;
  }

  void deallocate(T* object) {
    size_t index = static_cast<size_t>(reinterpret_cast<unsigned char*>(object) - storage_) / sizeof(T);
    lock_.lock();
    free_.push_back(&links_[index]);
    lock_.unlock();
  }

  unsigned available() const { return (N - fresh_) + free_.count(); }
  // Blocks handed out since the storage was last released (at most N).
  unsigned touched() const { return touched_; }

  // With every block free, gives the pages of the blocks used so far back
  // to the system; they read as zero when used again. Order and contents of
  // the free list are kept. False when a block is in use.
  bool release_idle_memory() {
    if (available() != N)
      return false;
    size_t used = static_cast<size_t>(fresh_) * sizeof(T);
    used -= used % PageSize;  // never beyond the storage
    if (used)
      madvise(storage_, used, MADV_DONTNEED);
    touched_ = 0;
    return true;
  }

private:
  static constexpr size_t PageSize = 4096;
  struct Link : F_dual_list_item<Link> {};

  alignas(PageSize) unsigned char storage_[static_cast<size_t>(N) * sizeof(T)];
  Link links_[N];
  unsigned fresh_;  // blocks from here on were never handed out
  unsigned touched_;
  F_dual_list<Link> free_;
  Lock lock_;
};
