#include "standalone_platform.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/platform.h"
#include "platform/posix/code_page.h"
#include "platform/posix/heap.h"

namespace huecast_fuzz {

namespace {

char16_t* CommandLine;
std::int64_t FailCountdown;
bool FailureHappened;
std::map<const void*, std::size_t> BlockBytes;

// Counts an allocation down and tells whether it is the one to fail.
bool AllocationFails() {
  if (FailCountdown == 0) return false;
  if (--FailCountdown != 0) return false;
  FailureHappened = true;
  return true;
}

}  // namespace

void StandaloneSetCommandLine(char16_t* line) {
  CommandLine = line;
}

void StandaloneFailAllocation(std::int64_t n) {
  FailCountdown = n;
  FailureHappened = false;
}

bool StandaloneAllocationFailed() {
  return FailureHappened;
}

std::size_t StandaloneBlockBytes(const void* block) {
  const auto found = BlockBytes.find(block);
  return found == BlockBytes.end() ? 0 : found->second;
}

}  // namespace huecast_fuzz

namespace huecast {

using huecast_fuzz::AllocationFails;
using huecast_fuzz::BlockBytes;

HANDLE GetStdHandle(DWORD standardHandle) {
  return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x2000 + (standardHandle & 15)));
}
BOOL GetConsoleScreenBufferInfo(HANDLE, CONSOLE_SCREEN_BUFFER_INFO*) {
  return FALSE;
}
BOOL SetConsoleTextAttribute(HANDLE, WORD) {
  return TRUE;
}
BOOL WriteConsoleW(HANDLE, const void*, DWORD count, DWORD* written, void*) {
  if (written != nullptr) *written = count;
  return TRUE;
}
BOOL WriteFile(HANDLE, const void*, DWORD bytes, DWORD* written, void*) {
  if (written != nullptr) *written = bytes;
  return TRUE;
}
BOOL FlushFileBuffers(HANDLE) {
  return TRUE;
}
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE, BOOL) {
  return TRUE;
}
BOOL SetConsoleTitleW(const char16_t*) {
  return TRUE;
}
BOOL AllocConsole() {
  return TRUE;
}
BOOL FreeConsole() {
  return TRUE;
}

char16_t* GetCommandLineW() {
  return huecast_fuzz::CommandLine;
}

void ExitProcess(UINT) {
  // The targets never run the entry routine.
  std::abort();
}

HANDLE HeapCreate(DWORD, SIZE_T, SIZE_T) {
  return PosixHeapCreate();
}

void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  void* block = AllocationFails() ? nullptr : PosixHeapAlloc(heap, flags, bytes);
  if (block != nullptr) BlockBytes[block] = bytes;
  return block;
}

void* HeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes) {
  void* grown = AllocationFails() ? nullptr : PosixHeapReAlloc(heap, flags, block, bytes);
  if (grown != nullptr) {
    BlockBytes.erase(block);
    BlockBytes[grown] = bytes;
  }
  return grown;
}

BOOL HeapFree(HANDLE heap, DWORD, void* block) {
  BlockBytes.erase(block);
  return PosixHeapFree(heap, block);
}

BOOL HeapDestroy(HANDLE heap) {
  // Blocks of a destroyed heap are forgotten with it; their addresses may
  // come back from another heap.
  BlockBytes.clear();
  return PosixHeapDestroy(heap);
}

int MultiByteToWideChar(UINT codePage, DWORD, const char* bytes, int byteCount, char16_t* units,
                        int unitCount) {
  return PosixMultiByteToWideChar(codePage, bytes, byteCount, units, unitCount);
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) {
  std::memset(lock->opaque, 0, sizeof lock->opaque);
}
void DeleteCriticalSection(CRITICAL_SECTION*) {}
BOOL CloseHandle(HANDLE object) {
  return object != nullptr ? TRUE : FALSE;
}

char16_t* _wcsdup(const char16_t* text) {
  if (AllocationFails()) return nullptr;
  // Exactly the text and its terminator, so an over-read is caught.
  const std::size_t bytes = (wcslen(text) + 1) * sizeof(char16_t);
  auto* copy = static_cast<char16_t*>(std::malloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text, bytes);
  return copy;
}

}  // namespace huecast
