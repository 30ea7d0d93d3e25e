#include "asn1/allocator.h"

#if !NODAL_ASAN

namespace ASN1 {
namespace detail {

__thread FreeBlock* freeLists[MaxPooled / PoolGranule];

namespace {

const std::size_t ChunkBytes = 8192;  // carved into blocks of one size at a time

// Chunks are never returned: the pool keeps what the busiest moment needed.
struct Chunk {
  Chunk* next;
};
__thread Chunk* chunks;

}  // namespace

void* allocateMore(std::size_t n) {
  if (n > MaxPooled) return ::operator new(n);
  const std::size_t cls = n == 0 ? 0 : (n - 1) / PoolGranule;
  if (FreeBlock* block = freeLists[cls]) {  // allocate(0) comes here with a block at hand
    freeLists[cls] = block->next;
    return block;
  }
  const std::size_t size = (cls + 1) * PoolGranule;
  const std::size_t header = (sizeof(Chunk) + 15) / 16 * 16;
  char* raw = static_cast<char*>(::operator new(ChunkBytes));
  Chunk* chunk = new (raw) Chunk{chunks};
  chunks = chunk;
  char* first = raw + header;
  // The first block goes to the caller, the others onto the list in address order.
  FreeBlock* head = nullptr;
  for (std::size_t i = (ChunkBytes - header) / size; i-- > 1;) head = new (first + i * size) FreeBlock{head};
  freeLists[cls] = head;
  return first;
}

}  // namespace detail
}  // namespace ASN1

#endif
