// The heap calls of every subsystem. A heap that HeapCreate could not make
// is a null handle, which Windows documents for none of the heap functions
// (it is an access violation there); these routines never hand it on and
// behave instead as a heap with no memory left.
#ifndef HUECAST_MEMORY_HEAP_CALLS_H_
#define HUECAST_MEMORY_HEAP_CALLS_H_

#include "platform/platform.h"

namespace huecast {

// Allocates from a heap; null when the heap is missing or has no room.
void* AllocateFromHeap(HANDLE heap, DWORD flags, SIZE_T bytes);
// Resizes a block of a heap; null, with the block untouched, when the heap
// is missing or has no room.
void* ResizeInHeap(HANDLE heap, DWORD flags, void* block, SIZE_T bytes);
// Gives a block back to its heap; FALSE when the heap is missing.
BOOL FreeToHeap(HANDLE heap, DWORD flags, void* block);
// Destroys a heap with every block in it; FALSE when the heap is missing.
BOOL DestroyHeap(HANDLE heap);

}  // namespace huecast

#endif  // HUECAST_MEMORY_HEAP_CALLS_H_
