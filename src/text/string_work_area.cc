#include "text/string_work_area.h"

#include <cassert>
#include <cstdint>

#include "memory/heap_calls.h"

namespace huecast {

StringWorkAreaRecord StringWorkArea;

namespace {

constexpr std::int64_t kInitialCapacity = 16;  // bytes
constexpr std::int64_t kTerminatorRoom = 4;    // kept free below capacity
// Positions and counts are 32-bit, so the buffer stays below 2 GiB.
constexpr std::int64_t kLargestBuffer = INT32_MAX;

}  // namespace

void StringWorkAreaStartup() {
  StringWorkArea.heap = HeapCreate(0, 4096, 0);
  StringWorkArea.position = 0;
  StringWorkArea.capacity = kInitialCapacity;
  StringWorkArea.failures = 0;
  StringWorkArea.base =
      static_cast<char16_t*>(AllocateFromHeap(StringWorkArea.heap, 0, kInitialCapacity));
  if (StringWorkArea.base == nullptr) {
    // A capacity of 0 makes the first reservation try to allocate again.
    StringWorkArea.capacity = 0;
  }
}

void StringWorkAreaShutdown() {
  if (StringWorkArea.base != nullptr) FreeToHeap(StringWorkArea.heap, 0, StringWorkArea.base);
  StringWorkArea.base = nullptr;
  DestroyHeap(StringWorkArea.heap);
  StringWorkArea.heap = nullptr;
}

char16_t* ReserveText(std::int32_t count, std::int32_t pos) {
  StringWorkAreaRecord& area = StringWorkArea;
  assert(pos >= 0 && pos <= area.position && "ReserveText: pos beyond the position");
  if (count < 0) count = 0;
  // The growth test counts from the current position, not from pos: the
  // text at pos may still be needed by the operation that reserves.
  const std::int64_t need = area.position + 2 * static_cast<std::int64_t>(count);
  if (need >= area.capacity - kTerminatorRoom) {
    const std::int64_t capacity = need + kGrowthMargin;
    void* grown = nullptr;
    if (capacity + kSlackBytes <= kLargestBuffer) {
      const SIZE_T bytes = static_cast<SIZE_T>(capacity + kSlackBytes);
      grown = area.base == nullptr ? AllocateFromHeap(area.heap, 0, bytes)
                                   : ResizeInHeap(area.heap, 0, area.base, bytes);
    }
    if (grown == nullptr) {
      // The old buffer is intact; the result is the empty text at pos.
      ++area.failures;
      if (area.base != nullptr) area.base[pos / 2] = 0;
      area.position = pos;
      return nullptr;
    }
    area.base = static_cast<char16_t*>(grown);
    area.capacity = capacity;
  }
  area.position = pos + 2 * static_cast<std::int64_t>(count);
  return area.base + pos / 2;
}

std::int64_t GiveBackText(std::int32_t count) {
  StringWorkArea.position -= 2 * static_cast<std::int64_t>(count);
  return StringWorkArea.position;
}

std::int64_t WorkAreaOffset(const void* pointer) {
  const auto base = reinterpret_cast<std::uintptr_t>(StringWorkArea.base);
  const auto address = reinterpret_cast<std::uintptr_t>(pointer);
  if (base == 0) return 0;
  if (address < base || address > base + static_cast<std::uintptr_t>(StringWorkArea.position)) {
    return 0;
  }
  return static_cast<std::int64_t>(address - base) + 1;
}

char16_t* WorkAreaPointer(std::int32_t reference) {
  return reinterpret_cast<char16_t*>(reinterpret_cast<char*>(StringWorkArea.base) + reference - 1);
}

char16_t* TextAt(std::int64_t pos) {
  if (StringWorkArea.base == nullptr) return nullptr;
  return StringWorkArea.base + pos / 2;
}

void CopyChars(char16_t* destination, const char16_t* source, std::int32_t count) {
  std::int32_t i = 0;
  // Two units per step, front to back: correct when the destination lies at
  // or before the source, the only overlap the evaluation discipline makes.
  for (; i + 1 < count; i += 2) {
    const char16_t first = source[i];
    const char16_t second = source[i + 1];
    destination[i] = first;
    destination[i + 1] = second;
  }
  // An odd count copies its last unit alone, so unit count is never read.
  if (i < count) destination[i] = source[i];
  destination[count > 0 ? count : 0] = 0;
}

void PushText(const char16_t* text) {
  if (text == nullptr) {
    if (StringWorkArea.base != nullptr) StringWorkArea.base[StringWorkArea.position / 2] = 0;
    return;
  }
  const auto length = static_cast<std::int32_t>(crt::wcslen(text));
  char16_t* destination = ReserveText(length, static_cast<std::int32_t>(StringWorkArea.position));
  if (destination != nullptr) CopyChars(destination, text, length);
}

void AssignString(StringVariable* variable, std::int32_t start) {
  StringWorkAreaRecord& area = StringWorkArea;
  const auto bytes = static_cast<std::int32_t>(area.position - start);
  const SIZE_T size = static_cast<SIZE_T>(bytes) + 10;
  void* buffer = *variable == nullptr ? AllocateFromHeap(area.heap, 0, size)
                                      : ResizeInHeap(area.heap, 0, *variable, size);
  if (buffer == nullptr) {
    // The old buffer, if any, stays with the variable; it now reads as the
    // empty text rather than as a stale value. For an empty text that is
    // the whole result, so nothing was cut short and no failure is counted.
    if (bytes > 0) ++area.failures;
    if (*variable != nullptr) (*variable)[0] = 0;
  } else {
    *variable = static_cast<char16_t*>(buffer);
    // The copy goes by count: everything between start and the position.
    CopyChars(*variable, TextAt(start), bytes / 2);
  }
  area.position = start;
}

}  // namespace huecast
