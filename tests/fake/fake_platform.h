// The recording fake of the platform operations, linked by the unit tests.
// It supplies the command line and a console or a redirected output, keeps
// each unit written with the attribute it was written in, records each call
// it receives in public logs, and can be told to fail the n-th
// allocation, heap creation or write. It is no more forgiving than Windows:
// a heap call given a null heap aborts the run, as an access violation would.
#ifndef HUECAST_TESTS_FAKE_FAKE_PLATFORM_H_
#define HUECAST_TESTS_FAKE_FAKE_PLATFORM_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace huecast {

enum class FakeCallKind {
  kGetStdHandle,
  kGetScreenInfo,
  kSetAttribute,
  kWriteConsole,
  kWriteFile,
  kFlush,
  kSetCtrlHandler,
  kSetTitle,
  kAllocConsole,
  kFreeConsole,
  kHeapCreate,
  kHeapAlloc,
  kHeapReAlloc,
  kHeapFree,
  kHeapDestroy,
  kDuplicate,
  kInitializeLock,
  kDeleteLock,
  kCloseHandle,
  kExitProcess,
};

struct FakeCall {
  FakeCallKind kind;
  HANDLE handle;        // the handle, heap or lock the call was given
  std::uint64_t value;  // bytes, units, attribute, exit code, as the call has it
  bool succeeded;
};

// A unit delivered to the output, with the console attribute in force as it
// was written.
struct FakeUnit {
  char16_t unit;
  WORD attribute;
  bool operator==(const FakeUnit&) const = default;
};

// The attribute the fake's console starts with.
inline constexpr WORD kFakeStartAttribute = 0x07;

// The fake's standard input, output and error handles.
inline HANDLE const kFakeInput = reinterpret_cast<HANDLE>(0x1000);
inline HANDLE const kFakeOutput = reinterpret_cast<HANDLE>(0x1001);
inline HANDLE const kFakeError = reinterpret_cast<HANDLE>(0x1002);

struct FakePlatformRecord {
  // What the fake supplies.
  std::u16string commandLine;   // what GetCommandLineW returns
  char16_t* commandLineBuffer;  // when set, returned instead: a caller's buffer of
                                // exactly its size, so a read past it is caught
  bool outputIsConsole;         // WriteConsoleW and attributes work on the output
  bool outputIsValid;           // false: every output call fails
  std::int64_t failAllocation;  // the n-th allocation (1-based) fails; 0: none
  std::int64_t failHeapCreate;  // the n-th HeapCreate (1-based) fails; 0: none
  std::int64_t failWrite;       // the n-th write call (1-based) fails; 0: none
  std::int64_t closeAtWrite;    // the n-th write call first delivers the close
                                // event to the registered routine; 0: never

  // What it recorded.
  WORD attribute;                      // the console's attribute in force; a test
                                       // may set the start before the run
  std::vector<FakeUnit> written;       // every unit delivered, console or file
  std::string fileBytes;               // bytes delivered through WriteFile
  std::vector<FakeCall> calls;         // every call, in order
  std::vector<HANDLE> heapsCreated;    // in order of creation
  std::vector<HANDLE> heapsDestroyed;  // in order of destruction
  std::int64_t allocations;            // allocations attempted
  std::int64_t heapCreations;          // HeapCreate calls made
  std::int64_t writes;                 // write calls attempted
  PHANDLER_ROUTINE controlRoutine;     // the routine last registered
  std::int64_t exitCode;               // given to ExitProcess, -1 before
};

extern FakePlatformRecord Fake;

// Starts a fresh record with a command line; the output is a console.
void FakeReset(const std::u16string& commandLine);
// Runs ProgramEntry to its ExitProcess and returns the exit code.
std::int64_t FakeRunProgram();
// Counts the recorded calls of one kind.
std::int64_t FakeCount(FakeCallKind kind);
// Returns the delivered units without their attributes.
std::u16string FakeWrittenText();

}  // namespace huecast

#endif  // HUECAST_TESTS_FAKE_FAKE_PLATFORM_H_
