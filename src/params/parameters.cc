#include "params/parameters.h"

#include <cstdint>

#include "memory/memory_heap.h"
#include "memory/object_registry.h"
#include "text/string_work_area.h"

namespace huecast {

ParameterCursorBlock* ParameterCursor;
ParameterCursorBlock FallbackCursor;
CRITICAL_SECTION ProcessLock;

namespace {

static_assert(sizeof(ParameterCursorBlock) == 24);

ParameterCursorBlock* Cursor() {
  return static_cast<ParameterCursorBlock*>(ThreadBlock(ParameterCursor));
}

}  // namespace

void ParameterSupportStartup() {
  ParameterCursor = static_cast<ParameterCursorBlock*>(
      AllocateZeroed(static_cast<std::int32_t>(sizeof(ParameterCursorBlock)), nullptr));
  if (ParameterCursor == nullptr) ParameterCursor = &FallbackCursor;
  ProcessObjects = CreateRegistry(8, 4, CloseProcessObject);
  InitializeCriticalSection(&ProcessLock);
}

std::intptr_t ScanCommandLine(std::int32_t* length) {
  const char16_t* p = GetCommandLineW();
  const bool fetching = length != nullptr;
  ParameterCursorBlock* cursor = fetching ? Cursor() : nullptr;
  std::int64_t counter = -1;  // token -1 is the program path
  if (p != nullptr) {
    for (;;) {
      while (*p == u' ') ++p;
      if (*p == 0) break;  // the end of the line, or only spaces were left
      // A quoted token runs to the next quote, which is consumed; the scan
      // goes on directly behind it, space or not. Any other token ends at a
      // space.
      const bool quoted = *p == u'"';
      const char16_t end = quoted ? u'"' : u' ';
      if (quoted) ++p;
      const char16_t* start = p;
      while (*p != 0 && *p != end) ++p;
      if (fetching && cursor->next == counter) {
        *length = static_cast<std::int32_t>(p - start);
        ++cursor->next;
        return reinterpret_cast<std::intptr_t>(start);
      }
      if (*p == end) ++p;
      ++counter;
    }
  }
  if (!fetching) return static_cast<std::intptr_t>(counter);
  *length = 0;
  return reinterpret_cast<std::intptr_t>(p);
}

char16_t* NextParameter(std::int32_t pos) {
  std::int32_t length = 0;
  const auto* token = reinterpret_cast<const char16_t*>(ScanCommandLine(&length));
  // The token lies in the command line, never in the work area, so growing
  // the work area cannot move it.
  char16_t* copy = ReserveText(length, pos);
  if (copy == nullptr) return TextAt(pos);
  crt::wcsncpy(copy, token, static_cast<std::size_t>(length));
  copy[length] = 0;
  return copy;
}

char16_t* ParameterAt(std::int32_t number, std::int32_t pos) {
  if (number >= 0) Cursor()->next = number;
  return NextParameter(pos);
}

std::int64_t CountParameters() {
  return static_cast<std::int64_t>(ScanCommandLine(nullptr));
}

}  // namespace huecast
