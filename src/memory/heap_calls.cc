#include "memory/heap_calls.h"

namespace huecast {

void* AllocateFromHeap(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (heap == nullptr) return nullptr;
  return HeapAlloc(heap, flags, bytes);
}

void* ResizeInHeap(HANDLE heap, DWORD flags, void* block, SIZE_T bytes) {
  if (heap == nullptr) return nullptr;
  return HeapReAlloc(heap, flags, block, bytes);
}

BOOL FreeToHeap(HANDLE heap, DWORD flags, void* block) {
  if (heap == nullptr) return FALSE;
  return HeapFree(heap, flags, block);
}

BOOL DestroyHeap(HANDLE heap) {
  if (heap == nullptr) return FALSE;
  return HeapDestroy(heap);
}

}  // namespace huecast
