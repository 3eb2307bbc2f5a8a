#include "platform/posix/heap.h"

#include <pthread.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace huecast {

namespace {

// Header in front of every block; keeps the payload 16-byte aligned.
struct alignas(16) BlockHeader {
  BlockHeader* previous;
  BlockHeader* next;
  SIZE_T size;  // payload bytes
};

struct PosixHeap {
  pthread_mutex_t lock;  // heaps serialise their calls, as without HEAP_NO_SERIALIZE
  BlockHeader* blocks;   // newest first
  SIZE_T count;
};

constexpr SIZE_T kLargestBlock = SIZE_MAX / 2 - sizeof(BlockHeader);

PosixHeap* HeapOf(HANDLE heap) {
  return static_cast<PosixHeap*>(heap);
}

BlockHeader* HeaderOf(void* block) {
  return static_cast<BlockHeader*>(block) - 1;
}

void Link(PosixHeap* heap, BlockHeader* header) {
  header->previous = nullptr;
  header->next = heap->blocks;
  if (heap->blocks != nullptr) heap->blocks->previous = header;
  heap->blocks = header;
  ++heap->count;
}

void Unlink(PosixHeap* heap, BlockHeader* header) {
  if (header->previous != nullptr) {
    header->previous->next = header->next;
  } else {
    heap->blocks = header->next;
  }
  if (header->next != nullptr) header->next->previous = header->previous;
  --heap->count;
}

}  // namespace

void NullHeapFault(const char* routine) {
  std::fprintf(stderr, "%s was given a null heap, an access violation on Windows\n", routine);
  std::abort();
}

HANDLE PosixHeapCreate() {
  auto* heap = static_cast<PosixHeap*>(std::calloc(1, sizeof(PosixHeap)));
  if (heap == nullptr) return nullptr;
  pthread_mutex_init(&heap->lock, nullptr);
  return heap;
}

void* PosixHeapAlloc(HANDLE handle, DWORD flags, SIZE_T bytes) {
  PosixHeap* heap = HeapOf(handle);
  if (heap == nullptr) NullHeapFault("HeapAlloc");
  if (bytes > kLargestBlock) return nullptr;
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + bytes));
  if (header == nullptr) return nullptr;
  header->size = bytes;
  if ((flags & HEAP_ZERO_MEMORY) != 0) std::memset(header + 1, 0, bytes);
  pthread_mutex_lock(&heap->lock);
  Link(heap, header);
  pthread_mutex_unlock(&heap->lock);
  return header + 1;
}

void* PosixHeapReAlloc(HANDLE handle, DWORD flags, void* block, SIZE_T bytes) {
  PosixHeap* heap = HeapOf(handle);
  if (heap == nullptr) NullHeapFault("HeapReAlloc");
  if (block == nullptr || bytes > kLargestBlock) return nullptr;
  pthread_mutex_lock(&heap->lock);
  BlockHeader* header = HeaderOf(block);
  const SIZE_T oldSize = header->size;
  Unlink(heap, header);
  auto* grown = static_cast<BlockHeader*>(std::realloc(header, sizeof(BlockHeader) + bytes));
  if (grown == nullptr) {
    // The old block stays valid and in the heap.
    Link(heap, header);
    pthread_mutex_unlock(&heap->lock);
    return nullptr;
  }
  grown->size = bytes;
  Link(heap, grown);
  pthread_mutex_unlock(&heap->lock);
  if ((flags & HEAP_ZERO_MEMORY) != 0 && bytes > oldSize) {
    std::memset(reinterpret_cast<char*>(grown + 1) + oldSize, 0, bytes - oldSize);
  }
  return grown + 1;
}

BOOL PosixHeapFree(HANDLE handle, void* block) {
  PosixHeap* heap = HeapOf(handle);
  if (heap == nullptr) NullHeapFault("HeapFree");
  if (block == nullptr) return TRUE;
  pthread_mutex_lock(&heap->lock);
  BlockHeader* header = HeaderOf(block);
  Unlink(heap, header);
  pthread_mutex_unlock(&heap->lock);
  std::free(header);
  return TRUE;
}

BOOL PosixHeapDestroy(HANDLE handle) {
  PosixHeap* heap = HeapOf(handle);
  if (heap == nullptr) NullHeapFault("HeapDestroy");
  for (BlockHeader* header = heap->blocks; header != nullptr;) {
    BlockHeader* next = header->next;
    std::free(header);
    header = next;
  }
  pthread_mutex_destroy(&heap->lock);
  std::free(heap);
  return TRUE;
}

SIZE_T PosixHeapBlockBytes(const void* block) {
  return (static_cast<const BlockHeader*>(block) - 1)->size;
}

SIZE_T PosixHeapBlockCount(HANDLE handle) {
  PosixHeap* heap = HeapOf(handle);
  return heap == nullptr ? 0 : heap->count;
}

}  // namespace huecast
