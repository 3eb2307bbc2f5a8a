// The platform operations for Windows: each one passes straight through to
// the Windows API or to the system C runtime (msvcrt.dll). The program's own
// types differ from the system's only in name (char16_t for wchar_t,
// uint32_t for the 32-bit unsigned long); the casts live here and nowhere else.

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

// Passes the standard-handle request through.
HANDLE GetStdHandle(DWORD standardHandle) {
  return ::GetStdHandle(standardHandle);
}

// Reads the screen-buffer record; fails when the handle is not a console.
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
  return ::GetConsoleScreenBufferInfo(console,
                                      reinterpret_cast<::CONSOLE_SCREEN_BUFFER_INFO*>(info));
}

// Passes the attribute change through.
BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) {
  return ::SetConsoleTextAttribute(console, attributes);
}

// Writes UTF-16 units through the console; fails for files, pipes and
// invalid handles.
BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD count, DWORD* written,
                   void* reserved) {
  return ::WriteConsoleW(console, buffer, count, SystemDword(written), reserved);
}

// Writes bytes to a file, pipe or device, without overlapped operation.
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written, void* overlapped) {
  return ::WriteFile(file, buffer, bytes, SystemDword(written),
                     static_cast<LPOVERLAPPED>(overlapped));
}

// Passes the flush through.
BOOL FlushFileBuffers(HANDLE file) {
  return ::FlushFileBuffers(file);
}

// Adds or removes a control handler. Our routine type differs from the
// system's only in the spelling of DWORD; on x64 there is one calling
// convention, so the routine is handed over as it is.
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add) {
  return ::SetConsoleCtrlHandler(reinterpret_cast<::PHANDLER_ROUTINE>(routine), add);
}

// Passes the title through.
BOOL SetConsoleTitleW(const char16_t* title) {
  return ::SetConsoleTitleW(Wide(title));
}

// Creates a console for the process.
BOOL AllocConsole() {
  return ::AllocConsole();
}

// Releases the process's console.
BOOL FreeConsole() {
  return ::FreeConsole();
}

// Returns the process's command line as the system keeps it.
char16_t* GetCommandLineW() {
  return Units(::GetCommandLineW());
}

// Ends the process with the exit code.
void ExitProcess(UINT exitCode) {
  ::ExitProcess(exitCode);
}

// Creates a private heap.
HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize) {
  return ::HeapCreate(options, initialSize, maximumSize);
}

// Allocates from a private heap.
void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  return ::HeapAlloc(heap, flags, bytes);
}

// Resizes a block of a private heap.
void* HeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes) {
  return ::HeapReAlloc(heap, flags, block, bytes);
}

// Gives a block back to its heap.
BOOL HeapFree(HANDLE heap, DWORD flags, void* block) {
  return ::HeapFree(heap, flags, block);
}

// Destroys a private heap with every block in it.
BOOL HeapDestroy(HANDLE heap) {
  return ::HeapDestroy(heap);
}

// Converts 8-bit text of a code page to UTF-16.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteCount,
                        char16_t* units, int unitCount) {
  return ::MultiByteToWideChar(codePage, flags, bytes, byteCount, Wide(units), unitCount);
}

// Initialises a lock in the program's storage.
void InitializeCriticalSection(CRITICAL_SECTION* lock) {
  ::InitializeCriticalSection(reinterpret_cast<::CRITICAL_SECTION*>(lock));
}

// Deletes a lock in the program's storage.
void DeleteCriticalSection(CRITICAL_SECTION* lock) {
  ::DeleteCriticalSection(reinterpret_cast<::CRITICAL_SECTION*>(lock));
}

// Closes a system handle.
BOOL CloseHandle(HANDLE object) {
  return ::CloseHandle(object);
}

// Counts units up to the terminator (msvcrt).
std::size_t wcslen(const char16_t* text) {
  return ::wcslen(Wide(text));
}

// Copies a text with its terminator (msvcrt).
char16_t* wcscpy(char16_t* destination, const char16_t* source) {
  return Units(::wcscpy(Wide(destination), Wide(source)));
}

// Copies at most count units, padding with zeros (msvcrt).
char16_t* wcsncpy(char16_t* destination, const char16_t* source, std::size_t count) {
  return Units(::wcsncpy(Wide(destination), Wide(source), count));
}

// Compares two texts unit by unit (msvcrt).
int wcscmp(const char16_t* a, const char16_t* b) {
  return ::wcscmp(Wide(a), Wide(b));
}

// Compares at most count units (msvcrt).
int wcsncmp(const char16_t* a, const char16_t* b, std::size_t count) {
  return ::wcsncmp(Wide(a), Wide(b), count);
}

// Compares at most count units, ignoring case (msvcrt).
int _wcsnicmp(const char16_t* a, const char16_t* b, std::size_t count) {
  return ::_wcsnicmp(Wide(a), Wide(b), count);
}

// Duplicates a text on the C runtime's heap (msvcrt).
char16_t* _wcsdup(const char16_t* text) {
  return Units(::_wcsdup(Wide(text)));
}

// Frees a block of the C runtime's heap (msvcrt).
void free(void* block) {
  ::free(block);
}

// Fills bytes with a value (msvcrt).
void* memset(void* block, int value, std::size_t bytes) {
  return ::memset(block, value, bytes);
}

}  // namespace huecast
