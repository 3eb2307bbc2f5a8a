// The system C runtime's wide-string routines on 16-bit units. POSIX's own
// wchar_t is 32 bits wide, so they are written out here.
#include <cstdlib>
#include <cstring>

#include "platform/posix/wide_string.h"

#include "platform/platform.h"

namespace huecast {

namespace {

// Folds A-Z to a-z, as the C runtime's default locale does.
char16_t FoldCase(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
}

}  // namespace

namespace crt {

std::size_t wcslen(const char16_t* text) {
  const char16_t* end = text;
  while (*end != 0) ++end;
  return static_cast<std::size_t>(end - text);
}

char16_t* wcscpy(char16_t* destination, const char16_t* source) {
  char16_t* out = destination;
  while ((*out++ = *source++) != 0) {
  }
  return destination;
}

char16_t* wcsncpy(char16_t* destination, const char16_t* source, std::size_t count) {
  std::size_t i = 0;
  for (; i < count && source[i] != 0; ++i) destination[i] = source[i];
  // As in C, the rest of the count is padded with zeros.
  for (; i < count; ++i) destination[i] = 0;
  return destination;
}

int wcscmp(const char16_t* a, const char16_t* b) {
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a < *b ? -1 : (*a > *b ? 1 : 0);
}

int wcsncmp(const char16_t* a, const char16_t* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (a[i] == 0) return 0;
  }
  return 0;
}

int _wcsnicmp(const char16_t* a, const char16_t* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const char16_t x = FoldCase(a[i]);
    const char16_t y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

void free(void* block) {
  std::free(block);
}

void* memset(void* block, int value, std::size_t bytes) {
  return std::memset(block, value, bytes);
}

}  // namespace crt

char16_t* PosixDuplicateText(const char16_t* text) {
  const std::size_t bytes = (crt::wcslen(text) + 1) * sizeof(char16_t);
  auto* copy = static_cast<char16_t*>(std::malloc(bytes));
  if (copy != nullptr) std::memcpy(copy, text, bytes);
  return copy;
}

}  // namespace huecast
