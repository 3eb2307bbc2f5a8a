#include "memory/memory_heap.h"

#include "driver/driver.h"
#include "memory/heap_calls.h"

namespace huecast {

HANDLE MemoryHeap;

HANDLE MemoryHeapStartup() {
  HANDLE heap = HeapCreate(0, 4096, 0);
  MemoryHeap = heap;
  return heap;
}

BOOL MemoryHeapShutdown() {
  HANDLE heap = MemoryHeap;
  MemoryHeap = nullptr;
  return DestroyHeap(heap);
}

void* AllocateZeroed(std::int32_t size, BlockInitializer initialize) {
  if (size < 0) return nullptr;
  void* block = AllocateFromHeap(MainHeap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size));
  if (block == nullptr) return nullptr;
  if (initialize != nullptr) initialize(block);
  return block;
}

void* ThreadBlock(void* block) {
  return block;
}

}  // namespace huecast
