// Private heaps on POSIX: each heap owns a list of malloc blocks, so that
// destroying the heap frees them all at once. The recording fake builds on
// the same routines.
#ifndef HUECAST_PLATFORM_POSIX_HEAP_H_
#define HUECAST_PLATFORM_POSIX_HEAP_H_

#include "platform/platform.h"

namespace huecast {

// Each routine but PosixHeapCreate ends the process through NullHeapFault when
// given a null heap: Windows documents its heap functions only for a heap
// that was created, and a null one is an access violation there.
HANDLE PosixHeapCreate();
void* PosixHeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
void* PosixHeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes);
BOOL PosixHeapFree(HANDLE heap, void* block);
BOOL PosixHeapDestroy(HANDLE heap);
// Reports a heap routine given a null heap on standard error and aborts.
[[noreturn]] void NullHeapFault(const char* routine);
// Returns the number of blocks a heap holds (for tests).
SIZE_T PosixHeapBlockCount(HANDLE heap);
// Returns the size a block was last given by an allocation or resize.
SIZE_T PosixHeapBlockBytes(const void* block);

}  // namespace huecast

#endif  // HUECAST_PLATFORM_POSIX_HEAP_H_
