#include "asn1/allocator.h"

namespace ASN1 {
namespace detail {

#if defined(__SANITIZE_ADDRESS__)

void* allocate(std::size_t n) { return ::operator new(n); }
void deallocate(void* p, std::size_t) noexcept { ::operator delete(p); }

#else

namespace {

const std::size_t Granule = 8;       // block sizes are multiples of this
const std::size_t MaxPooled = 256;   // larger blocks come from the heap
const std::size_t ChunkBytes = 8192; // bytes carved into blocks at a time

struct FreeBlock {
  FreeBlock* next;
};

// Chunks are never returned: the pool keeps what the busiest moment needed.
struct Chunk {
  Chunk* next;
};

thread_local FreeBlock* freeLists[MaxPooled / Granule];
thread_local Chunk* chunks;

std::size_t sizeClass(std::size_t n) { return n == 0 ? 0 : (n - 1) / Granule; }

__attribute__((noinline, cold)) void* refill(std::size_t cls) {
  const std::size_t block = (cls + 1) * Granule;
  const std::size_t header = (sizeof(Chunk) + 15) / 16 * 16;
  char* raw = static_cast<char*>(::operator new(ChunkBytes));
  Chunk* chunk = reinterpret_cast<Chunk*>(raw);
  chunk->next = chunks;
  chunks = chunk;
  char* first = raw + header;
  std::size_t count = (ChunkBytes - header) / block;
  // The first block goes to the caller, the others onto the list in address order.
  FreeBlock* head = nullptr;
  for (std::size_t i = count; i-- > 1;) {
    FreeBlock* b = reinterpret_cast<FreeBlock*>(first + i * block);
    b->next = head;
    head = b;
  }
  freeLists[cls] = head;
  return first;
}

}  // namespace

void* allocate(std::size_t n) {
  if (n > MaxPooled) return ::operator new(n);
  std::size_t cls = sizeClass(n);
  FreeBlock* b = freeLists[cls];
  if (!b) return refill(cls);
  freeLists[cls] = b->next;
  return b;
}

void deallocate(void* p, std::size_t n) noexcept {
  if (!p) return;
  if (n > MaxPooled) {
    ::operator delete(p);
    return;
  }
  std::size_t cls = sizeClass(n);
  FreeBlock* b = static_cast<FreeBlock*>(p);
  b->next = freeLists[cls];
  freeLists[cls] = b;
}

#endif

}  // namespace detail
}  // namespace ASN1
