// The platform operations the program calls, with the names and signatures
// of the Windows API and of the system C runtime's wide-string routines.
//
// Texts are 16-bit code units (char16_t). Each build links exactly one
// implementation: platform/win32/ passes every call through to the real API,
// platform/posix/ supplies stand-ins for POSIX systems, and the unit tests
// link a recording fake (tests/fake/).
#ifndef HUECAST_PLATFORM_PLATFORM_H_
#define HUECAST_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>

namespace huecast {

using BOOL = std::int32_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using SIZE_T = std::size_t;
using HANDLE = void*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// The value GetStdHandle gives when a standard handle cannot be supplied.
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);
constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

constexpr DWORD HEAP_ZERO_MEMORY = 0x00000008;

constexpr DWORD CTRL_C_EVENT = 0;
constexpr DWORD CTRL_BREAK_EVENT = 1;
constexpr DWORD CTRL_CLOSE_EVENT = 2;
constexpr DWORD CTRL_LOGOFF_EVENT = 5;
constexpr DWORD CTRL_SHUTDOWN_EVENT = 6;

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

struct COORD {
  std::int16_t X;
  std::int16_t Y;
};

struct SMALL_RECT {
  std::int16_t Left;
  std::int16_t Top;
  std::int16_t Right;
  std::int16_t Bottom;
};

// Same layout as the Windows record, so the pass-through can hand it over.
struct CONSOLE_SCREEN_BUFFER_INFO {
  COORD dwSize;
  COORD dwCursorPosition;
  WORD wAttributes;
  SMALL_RECT srWindow;
  COORD dwMaximumWindowSize;
};

// Storage for the platform's lock. Each implementation checks that its own
// lock record fits (40 bytes on Windows x64, a pthread mutex elsewhere).
struct CRITICAL_SECTION {
  alignas(8) unsigned char opaque[64];
};

using PHANDLER_ROUTINE = BOOL (*)(DWORD controlType);

// Console and standard handles.
HANDLE GetStdHandle(DWORD standardHandle);
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info);
BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes);
BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD count, DWORD* written, void* reserved);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written, void* overlapped);
BOOL FlushFileBuffers(HANDLE file);
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add);
BOOL SetConsoleTitleW(const char16_t* title);
BOOL AllocConsole();
BOOL FreeConsole();

// Process command line and process end.
char16_t* GetCommandLineW();
[[noreturn]] void ExitProcess(UINT exitCode);

// Private heaps.
HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize);
void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
void* HeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, void* block);
BOOL HeapDestroy(HANDLE heap);

// Code-page conversion.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteCount,
                        char16_t* units, int unitCount);

// Critical sections and handles.
void InitializeCriticalSection(CRITICAL_SECTION* lock);
void DeleteCriticalSection(CRITICAL_SECTION* lock);
BOOL CloseHandle(HANDLE object);

// The platform layer's own, with no Windows counterpart: zeroes the
// process-wide records that the layer keeps for the program's run, as
// ZeroProcessRecords does the program's. Windows keeps none.
void ZeroPlatformRecords();

// Wide-string routines of the system C runtime, on 16-bit units. They keep
// the runtime's names in a scope of their own, so that every call reads as
// the platform's (crt::wcslen) and none can be taken for the C library's.
namespace crt {

std::size_t wcslen(const char16_t* text);
char16_t* wcscpy(char16_t* destination, const char16_t* source);
char16_t* wcsncpy(char16_t* destination, const char16_t* source, std::size_t count);
int wcscmp(const char16_t* a, const char16_t* b);
int wcsncmp(const char16_t* a, const char16_t* b, std::size_t count);
int _wcsnicmp(const char16_t* a, const char16_t* b, std::size_t count);
char16_t* _wcsdup(const char16_t* text);
void free(void* block);
void* memset(void* block, int value, std::size_t bytes);

}  // namespace crt

}  // namespace huecast

#endif  // HUECAST_PLATFORM_PLATFORM_H_
