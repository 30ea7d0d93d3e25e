// Pooled storage of values and of their small arrays. Messages are built and
// dropped at a high rate from objects of a few small sizes, so freed blocks are
// kept on a free list per size (one set of lists per thread) and handed out
// again instead of going back to the general heap. Blocks above the pooled
// sizes, and every block of a sanitizer build (so that misuse stays visible),
// come from the general heap.
#pragma once

#include <cstddef>
#include <new>

namespace ASN1 {
namespace detail {

void* allocate(std::size_t n);
void deallocate(void* p, std::size_t n) noexcept;

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

}  // namespace detail
}  // namespace ASN1
