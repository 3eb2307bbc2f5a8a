// The platform operations for Windows: each one passes straight through to
// the Windows API or to the system C runtime (msvcrt.dll), so platform.h's
// comments serve them here too. The program's own types differ from the
// system's only in name (char16_t for wchar_t, uint32_t for the 32-bit
// unsigned long); the casts live here and nowhere else.

// Our declarations first: windows.h defines macros (TRUE, CP_ACP,
// STD_OUTPUT_HANDLE, ...) that would otherwise rewrite them.
#include "platform/platform.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <cstddef>

namespace huecast {

static_assert(sizeof(::CRITICAL_SECTION) <= sizeof(CRITICAL_SECTION),
              "the system lock must fit into its storage");
static_assert(alignof(::CRITICAL_SECTION) <= alignof(CRITICAL_SECTION),
              "the system lock must be aligned within its storage");
static_assert(sizeof(::CONSOLE_SCREEN_BUFFER_INFO) == sizeof(CONSOLE_SCREEN_BUFFER_INFO));
static_assert(offsetof(::CONSOLE_SCREEN_BUFFER_INFO, dwSize) ==
              offsetof(CONSOLE_SCREEN_BUFFER_INFO, dwSize));
static_assert(offsetof(::CONSOLE_SCREEN_BUFFER_INFO, dwCursorPosition) ==
              offsetof(CONSOLE_SCREEN_BUFFER_INFO, dwCursorPosition));
static_assert(offsetof(::CONSOLE_SCREEN_BUFFER_INFO, wAttributes) ==
              offsetof(CONSOLE_SCREEN_BUFFER_INFO, wAttributes));
static_assert(offsetof(::CONSOLE_SCREEN_BUFFER_INFO, srWindow) ==
              offsetof(CONSOLE_SCREEN_BUFFER_INFO, srWindow));
static_assert(offsetof(::CONSOLE_SCREEN_BUFFER_INFO, dwMaximumWindowSize) ==
              offsetof(CONSOLE_SCREEN_BUFFER_INFO, dwMaximumWindowSize));
static_assert(sizeof(wchar_t) == sizeof(char16_t), "texts are handed over as they are");
static_assert(sizeof(::DWORD) == sizeof(DWORD) && sizeof(::WORD) == sizeof(WORD) &&
              sizeof(::UINT) == sizeof(UINT) && sizeof(::BOOL) == sizeof(BOOL));
static_assert(sizeof(::SIZE_T) == sizeof(SIZE_T));

namespace {

// Converts a text pointer for the system, which spells UTF-16 as wchar_t.
const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

wchar_t* Wide(char16_t* text) {
  return reinterpret_cast<wchar_t*>(text);
}

char16_t* Units(wchar_t* text) {
  return reinterpret_cast<char16_t*>(text);
}

// Converts a place for a count: our DWORD is the system's, spelled differently.
::DWORD* SystemDword(DWORD* count) {
  return reinterpret_cast<::DWORD*>(count);
}

}  // namespace

HANDLE GetStdHandle(DWORD standardHandle) {
  return ::GetStdHandle(standardHandle);
}

// Reads the screen-buffer record; fails when the handle is not a console.
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
  return ::GetConsoleScreenBufferInfo(console,
                                      reinterpret_cast<::CONSOLE_SCREEN_BUFFER_INFO*>(info));
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) {
  return ::SetConsoleTextAttribute(console, attributes);
}

// Writes UTF-16 units through the console; fails for files, pipes and
// invalid handles.
BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD count, DWORD* written,
                   void* reserved) {
  return ::WriteConsoleW(console, buffer, count, SystemDword(written), reserved);
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written, void* overlapped) {
  return ::WriteFile(file, buffer, bytes, SystemDword(written),
                     static_cast<LPOVERLAPPED>(overlapped));
}

BOOL FlushFileBuffers(HANDLE file) {
  return ::FlushFileBuffers(file);
}

// Adds or removes a control handler. Our routine type differs from the
// system's only in the spelling of DWORD; on x64 there is one calling
// convention, so the routine is handed over as it is.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add) {
  return ::SetConsoleCtrlHandler(reinterpret_cast<::PHANDLER_ROUTINE>(routine), add);
}

BOOL SetConsoleTitleW(const char16_t* title) {
  return ::SetConsoleTitleW(Wide(title));
}

BOOL AllocConsole() {
  return ::AllocConsole();
}

BOOL FreeConsole() {
  return ::FreeConsole();
}

char16_t* GetCommandLineW() {
  return Units(::GetCommandLineW());
}

void ExitProcess(UINT exitCode) {
  ::ExitProcess(exitCode);
}

HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize) {
  return ::HeapCreate(options, initialSize, maximumSize);
}

void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  return ::HeapAlloc(heap, flags, bytes);
}

void* HeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes) {
  return ::HeapReAlloc(heap, flags, block, bytes);
}

BOOL HeapFree(HANDLE heap, DWORD flags, void* block) {
  return ::HeapFree(heap, flags, block);
}

BOOL HeapDestroy(HANDLE heap) {
  return ::HeapDestroy(heap);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteCount,
                        char16_t* units, int unitCount) {
  return ::MultiByteToWideChar(codePage, flags, bytes, byteCount, Wide(units), unitCount);
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) {
  ::InitializeCriticalSection(reinterpret_cast<::CRITICAL_SECTION*>(lock));
}

void DeleteCriticalSection(CRITICAL_SECTION* lock) {
  ::DeleteCriticalSection(reinterpret_cast<::CRITICAL_SECTION*>(lock));
}

BOOL CloseHandle(HANDLE object) {
  return ::CloseHandle(object);
}

void ZeroPlatformRecords() {}

namespace crt {

std::size_t wcslen(const char16_t* text) {
  return ::wcslen(Wide(text));
}

char16_t* wcscpy(char16_t* destination, const char16_t* source) {
  return Units(::wcscpy(Wide(destination), Wide(source)));
}

char16_t* wcsncpy(char16_t* destination, const char16_t* source, std::size_t count) {
  return Units(::wcsncpy(Wide(destination), Wide(source), count));
}

int wcscmp(const char16_t* a, const char16_t* b) {
  return ::wcscmp(Wide(a), Wide(b));
}

int wcsncmp(const char16_t* a, const char16_t* b, std::size_t count) {
  return ::wcsncmp(Wide(a), Wide(b), count);
}

int _wcsnicmp(const char16_t* a, const char16_t* b, std::size_t count) {
  return ::_wcsnicmp(Wide(a), Wide(b), count);
}

char16_t* _wcsdup(const char16_t* text) {
  return Units(::_wcsdup(Wide(text)));
}

void free(void* block) {
  ::free(block);
}

void* memset(void* block, int value, std::size_t bytes) {
  return ::memset(block, value, bytes);
}

}  // namespace crt

}  // namespace huecast
