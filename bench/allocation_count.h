#pragma once
// Counts every heap allocation of the benchmark program (malloc and free
// underneath), for paths that must make none. Include it in one source
// file of the program only: it replaces the global operator new.
#include <cstdlib>
#include <new>

namespace bench_support {
inline unsigned long allocations = 0;
}  // namespace bench_support

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  ++bench_support::allocations;
  if (void* p = std::malloc(n ? n : 1))
    return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
