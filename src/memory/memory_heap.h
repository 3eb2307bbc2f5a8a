// The private heap MemoryHeap, zero-filled blocks from MainHeap and the
// per-thread data accessor.
#ifndef HUECAST_MEMORY_MEMORY_HEAP_H_
#define HUECAST_MEMORY_MEMORY_HEAP_H_

#include <cstdint>

#include "platform/platform.h"

namespace huecast {

// The heap that MemoryHeapStartup creates and the end routine destroys. The
// end routine runs its work once, from whichever thread comes first, so no
// two threads ever destroy it.
extern HANDLE MemoryHeap;

using BlockInitializer = void (*)(void* block);

// Creates MemoryHeap and returns its handle.
HANDLE MemoryHeapStartup();
// Destroys MemoryHeap and returns what HeapDestroy returns; the handle is
// cleared, so a later call destroys nothing and returns FALSE.
BOOL MemoryHeapShutdown();
// Takes a zero-filled block from MainHeap and runs the optional initialiser
// on it; returns null (without running it) when the heap cannot supply it.
void* AllocateZeroed(std::int32_t size, BlockInitializer initialize);
// Returns the calling thread's copy of a per-thread block; the program has
// one thread, so this is the block given.
void* ThreadBlock(void* block);

}  // namespace huecast

#endif  // HUECAST_MEMORY_MEMORY_HEAP_H_
