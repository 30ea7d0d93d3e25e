// Pooled storage of values and of their small arrays. Messages are built and
// dropped at a high rate from objects of a few small sizes, so freed blocks are
// kept on a free list per size (one set of lists per thread) and handed out
// again instead of going back to the general heap. Blocks above the pooled
// sizes, and every block of a sanitizer build (so that misuse stays visible),
// come from the general heap.
#pragma once

#include <cstddef>
#include <new>

// GCC defines __SANITIZE_ADDRESS__ under AddressSanitizer; clang tells
// through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define NODAL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NODAL_ASAN 1
#endif
#endif
#ifndef NODAL_ASAN
#define NODAL_ASAN 0
#endif

namespace ASN1 {
namespace detail {

#if NODAL_ASAN

inline void* allocate(std::size_t n) { return ::operator new(n); }
inline void deallocate(void* p, std::size_t) noexcept { ::operator delete(p); }

#else

const std::size_t PoolGranule = 8;    // pooled block sizes are multiples of this
const std::size_t MaxPooled = 256;    // larger blocks come from the heap

struct FreeBlock {
  FreeBlock* next;
};
// Heads of the free lists of this thread, one per block size.
extern __thread FreeBlock* freeLists[MaxPooled / PoolGranule];

// Carves a new chunk into blocks of the size class of n, or takes a large
// block from the heap.
void* allocateMore(std::size_t n);

inline void* allocate(std::size_t n) {
  if (n - 1 < MaxPooled) {  // n = 0 wraps around and goes the long way
    FreeBlock*& head = freeLists[(n - 1) / PoolGranule];
    if (FreeBlock* block = head) {
      head = block->next;
      return block;
    }
  }
  return allocateMore(n);
}

inline void deallocate(void* p, std::size_t n) noexcept {
  if (!p) return;
  if (n - 1 < MaxPooled) {
    FreeBlock*& head = freeLists[(n - 1) / PoolGranule];
    FreeBlock* block = static_cast<FreeBlock*>(p);
    block->next = head;
    head = block;
    return;
  }
  if (n == 0)
    freeLists[0] = new (p) FreeBlock{freeLists[0]};  // allocate(0) gave a block of the smallest size
  else
    ::operator delete(p);
}

#endif

// Class-scope allocation of the value classes; no data.
template <class T>
class Allocator {
 public:
  static void* operator new(std::size_t n) { return allocate(n); }
  static void operator delete(void* p, std::size_t n) noexcept { deallocate(p, n); }
  // Placement and over-aligned forms stay those of the global functions.
  static void* operator new(std::size_t, void* place) noexcept { return place; }
  static void operator delete(void*, void*) noexcept {}
  static void* operator new(std::size_t n, std::align_val_t a) { return ::operator new(n, a); }
  static void operator delete(void* p, std::size_t n, std::align_val_t a) noexcept { ::operator delete(p, n, a); }
};

// The same storage for standard containers of the values (element pointers of
// lists).
template <class T>
struct PoolAllocator {
  typedef T value_type;
  PoolAllocator() noexcept {}
  template <class U>
  PoolAllocator(const PoolAllocator<U>&) noexcept {}
  T* allocate(std::size_t n) { return static_cast<T*>(detail::allocate(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { detail::deallocate(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const PoolAllocator<U>&) const noexcept { return true; }
  template <class U>
  bool operator!=(const PoolAllocator<U>&) const noexcept { return false; }
};

}  // namespace detail
}  // namespace ASN1
