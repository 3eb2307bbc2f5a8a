#include "fake/fake_platform.h"

#include <pthread.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "platform/posix/code_page.h"
#include "platform/posix/heap.h"
#include "platform/posix/wide_string.h"

namespace huecast {

FakePlatformRecord Fake;

namespace {

std::jmp_buf* ExitJump;

void Record(FakeCallKind kind, HANDLE handle, std::uint64_t value, bool succeeded) {
  Fake.calls.push_back({kind, handle, value, succeeded});
}

// Counts an allocation and tells whether it is the one to fail.
bool AllocationFails() {
  ++Fake.allocations;
  return Fake.failAllocation != 0 && Fake.allocations == Fake.failAllocation;
}

bool WriteFails() {
  ++Fake.writes;
  if (Fake.closeAtWrite != 0 && Fake.writes == Fake.closeAtWrite && Fake.controlRoutine) {
    Fake.controlRoutine(CTRL_CLOSE_EVENT);
  }
  return !Fake.outputIsValid || (Fake.failWrite != 0 && Fake.writes == Fake.failWrite);
}

bool IsOutput(HANDLE handle) {
  return handle == kFakeOutput && Fake.outputIsValid;
}

// Keeps delivered units with the attribute they were written in.
void Keep(const void* buffer, std::size_t units) {
  const auto* text = static_cast<const char16_t*>(buffer);
  for (std::size_t i = 0; i < units; ++i) Fake.written.push_back({text[i], Fake.attribute});
}

// Faults as Windows would on a heap call given a null heap: the run ends
// there, with the routine named, and the test fails.
void CheckHeap(HANDLE heap, const char* routine) {
  if (heap == nullptr) NullHeapFault(routine);
}

}  // namespace

void FakeReset(const std::u16string& commandLine) {
  Fake = FakePlatformRecord{};
  Fake.commandLine = commandLine;
  Fake.outputIsConsole = true;
  Fake.outputIsValid = true;
  Fake.attribute = kFakeStartAttribute;
  Fake.exitCode = -1;
}

std::int64_t FakeRunProgram() {
  std::jmp_buf exit;
  ExitJump = &exit;
  if (setjmp(exit) == 0) ProgramEntry();
  ExitJump = nullptr;
  return Fake.exitCode;
}

std::int64_t FakeCount(FakeCallKind kind) {
  std::int64_t count = 0;
  for (const FakeCall& call : Fake.calls) count += call.kind == kind ? 1 : 0;
  return count;
}

std::u16string FakeWrittenText() {
  std::u16string text;
  for (const FakeUnit& unit : Fake.written) text.push_back(unit.unit);
  return text;
}

HANDLE GetStdHandle(DWORD standardHandle) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (standardHandle == STD_INPUT_HANDLE) handle = kFakeInput;
  if (standardHandle == STD_OUTPUT_HANDLE) handle = kFakeOutput;
  if (standardHandle == STD_ERROR_HANDLE) handle = kFakeError;
  Record(FakeCallKind::kGetStdHandle, handle, standardHandle, true);
  return handle;
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
  const bool ok = IsOutput(console) && Fake.outputIsConsole;
  if (ok) {
    *info = CONSOLE_SCREEN_BUFFER_INFO{.dwSize = {80, 300},
                                       .dwCursorPosition = {0, 0},
                                       .wAttributes = Fake.attribute,
                                       .srWindow = {0, 0, 79, 24},
                                       .dwMaximumWindowSize = {80, 25}};
  }
  Record(FakeCallKind::kGetScreenInfo, console, 0, ok);
  return ok ? TRUE : FALSE;
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) {
  const bool ok = IsOutput(console) && Fake.outputIsConsole;
  if (ok) Fake.attribute = attributes;
  Record(FakeCallKind::kSetAttribute, console, attributes, ok);
  return ok ? TRUE : FALSE;
}

BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD count, DWORD* written, void*) {
  // A handle that is not a console is refused before any write is counted.
  bool ok = IsOutput(console) && Fake.outputIsConsole;
  if (ok && WriteFails()) ok = false;
  if (ok) Keep(buffer, count);
  if (written != nullptr) *written = ok ? count : 0;
  Record(FakeCallKind::kWriteConsole, console, count, ok);
  return ok ? TRUE : FALSE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written, void*) {
  const bool ok = !WriteFails() && IsOutput(file);
  if (ok) {
    Fake.fileBytes.append(static_cast<const char*>(buffer), bytes);
    Keep(buffer, bytes / 2);
  }
  if (written != nullptr) *written = ok ? bytes : 0;
  Record(FakeCallKind::kWriteFile, file, bytes, ok);
  return ok ? TRUE : FALSE;
}

BOOL FlushFileBuffers(HANDLE file) {
  Record(FakeCallKind::kFlush, file, 0, IsOutput(file));
  return IsOutput(file) ? TRUE : FALSE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add) {
  if (add != FALSE) Fake.controlRoutine = routine;
  Record(FakeCallKind::kSetCtrlHandler, nullptr, static_cast<std::uint64_t>(add), true);
  return TRUE;
}

BOOL SetConsoleTitleW(const char16_t*) {
  Record(FakeCallKind::kSetTitle, nullptr, 0, true);
  return TRUE;
}

BOOL AllocConsole() {
  Record(FakeCallKind::kAllocConsole, nullptr, 0, true);
  return TRUE;
}

BOOL FreeConsole() {
  Record(FakeCallKind::kFreeConsole, nullptr, 0, true);
  return TRUE;
}

char16_t* GetCommandLineW() {
  return Fake.commandLineBuffer != nullptr ? Fake.commandLineBuffer : Fake.commandLine.data();
}

void ExitProcess(UINT exitCode) {
  Fake.exitCode = exitCode;
  Record(FakeCallKind::kExitProcess, nullptr, exitCode, true);
  if (ExitJump != nullptr) std::longjmp(*ExitJump, 1);
  std::abort();
}

HANDLE HeapCreate(DWORD, SIZE_T, SIZE_T) {
  ++Fake.heapCreations;
  const bool refused = Fake.failHeapCreate == Fake.heapCreations;
  HANDLE heap = AllocationFails() || refused ? nullptr : PosixHeapCreate();
  if (heap != nullptr) Fake.heapsCreated.push_back(heap);
  Record(FakeCallKind::kHeapCreate, heap, 0, heap != nullptr);
  return heap;
}

void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  CheckHeap(heap, "HeapAlloc");
  void* block = AllocationFails() ? nullptr : PosixHeapAlloc(heap, flags, bytes);
  Record(FakeCallKind::kHeapAlloc, heap, bytes, block != nullptr);
  return block;
}

void* HeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes) {
  CheckHeap(heap, "HeapReAlloc");
  void* grown = AllocationFails() ? nullptr : PosixHeapReAlloc(heap, flags, block, bytes);
  Record(FakeCallKind::kHeapReAlloc, heap, bytes, grown != nullptr);
  return grown;
}

BOOL HeapFree(HANDLE heap, DWORD, void* block) {
  CheckHeap(heap, "HeapFree");
  const BOOL ok = PosixHeapFree(heap, block);
  Record(FakeCallKind::kHeapFree, heap, 0, ok != FALSE);
  return ok;
}

BOOL HeapDestroy(HANDLE heap) {
  CheckHeap(heap, "HeapDestroy");
  const BOOL ok = PosixHeapDestroy(heap);
  if (ok != FALSE) Fake.heapsDestroyed.push_back(heap);
  Record(FakeCallKind::kHeapDestroy, heap, 0, ok != FALSE);
  return ok;
}

int MultiByteToWideChar(UINT codePage, DWORD, const char* bytes, int byteCount, char16_t* units,
                        int unitCount) {
  return PosixMultiByteToWideChar(codePage, bytes, byteCount, units, unitCount);
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) {
  std::memset(lock->opaque, 0xA5, sizeof lock->opaque);
  Record(FakeCallKind::kInitializeLock, lock, 0, true);
}

void DeleteCriticalSection(CRITICAL_SECTION* lock) {
  Record(FakeCallKind::kDeleteLock, lock, 0, true);
}

BOOL CloseHandle(HANDLE object) {
  const bool known = object != nullptr && object != INVALID_HANDLE_VALUE;
  Record(FakeCallKind::kCloseHandle, object, 0, known);
  return known ? TRUE : FALSE;
}

// The fake's record is the test's set-up (FakeReset), made before the run.
void ZeroPlatformRecords() {}

char16_t* crt::_wcsdup(const char16_t* text) {
  char16_t* copy = AllocationFails() ? nullptr : PosixDuplicateText(text);
  Record(FakeCallKind::kDuplicate, nullptr, 0, copy != nullptr);
  return copy;
}

}  // namespace huecast

// A Windows heap answers a request too large for it with null, and the tests
// hold the program to coping with that; AddressSanitizer, which replaces the
// allocator under the fake's heaps, must not end the run instead. Only a
// sanitized build reads this, and ASAN_OPTIONS may still override it.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
