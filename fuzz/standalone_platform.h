// A small platform for the fuzz targets that exercise the parameters and the
// text runtime: the command line lies in a buffer of exactly its size, so
// AddressSanitizer sees any read past its terminator; allocations can be
// made to fail; output goes nowhere.
#ifndef HUECAST_FUZZ_STANDALONE_PLATFORM_H_
#define HUECAST_FUZZ_STANDALONE_PLATFORM_H_

#include <cstddef>
#include <cstdint>

namespace huecast_fuzz {

// Makes GetCommandLineW return line (zero-terminated, owned by the caller).
void StandaloneSetCommandLine(char16_t* line);
// Makes the n-th allocation from now fail (HeapAlloc, HeapReAlloc,
// _wcsdup); 0 lets every allocation succeed.
void StandaloneFailAllocation(std::int64_t n);
// Tells whether an armed allocation failure has happened since it was armed.
bool StandaloneAllocationFailed();
// Returns the byte size that the last allocation or resize gave a block,
// or 0 when the block is not known.
std::size_t StandaloneBlockBytes(const void* block);

}  // namespace huecast_fuzz

#endif  // HUECAST_FUZZ_STANDALONE_PLATFORM_H_
