#include "text/text_operations.h"

#include <cstdint>

#include "memory/heap_calls.h"
#include "platform/platform.h"
#include "text/string_work_area.h"

namespace huecast {

namespace {

constexpr char16_t kEmpty[] = u"";

const char16_t* OrEmpty(const char16_t* text) {
  return text == nullptr ? kEmpty : text;
}

// Counts the bytes of an 8-bit text before its first zero byte. Counted
// here: the program takes no routine from the C runtime beyond the few it
// names among the platform operations.
std::int64_t ByteTextLength(const char* bytes) {
  std::int64_t length = 0;
  while (bytes[length] != 0) ++length;
  return length;
}

// Tells whether find (length F > 0) occurs at text.
bool OccursAt(const char16_t* text, const char16_t* find, std::int64_t findLength,
              bool ignoreCase) {
  const auto count = static_cast<std::size_t>(findLength);
  // Both routines stop at the text's terminator, so a text that ends before
  // F units holds no occurrence and is never read beyond its end.
  return (ignoreCase ? crt::_wcsnicmp(text, find, count) : crt::wcsncmp(text, find, count)) == 0;
}

// Duplicates a text that lies in the work area, which the result may
// overwrite or the growth may move. Sets ok to false when no copy was made.
const char16_t* DetachFromWorkArea(const char16_t* text, char16_t** duplicate, bool* ok) {
  *duplicate = nullptr;
  if (WorkAreaOffset(text) == 0) return text;
  *duplicate = crt::_wcsdup(text);
  if (*duplicate == nullptr) *ok = false;
  return *duplicate;
}

// Writes the empty text at pos: the result of an operation that could not work.
void EmptyResultAt(std::int32_t pos) {
  char16_t* destination = ReserveText(0, pos);
  if (destination != nullptr) *destination = 0;
}

void ReplaceInPlace(char16_t* source, const char16_t* find, const char16_t* replacement,
                    std::int32_t start, std::int32_t count, bool ignoreCase) {
  const std::int64_t findLength = TextLength(find);
  const std::int64_t replacementLength = TextLength(replacement);
  // A replacement of another length would write past the text or leave the
  // search out of step with it, so only equal lengths are replaced.
  if (findLength == 0 || count == 0 || replacementLength != findLength) return;
  if (source == nullptr || start - 1 >= TextLength(source)) return;
  std::int64_t made = 0;
  for (std::int64_t p = start - 1; source[p] != 0;) {
    if (count != -1 && made >= count) break;
    if (OccursAt(source + p, find, findLength, ignoreCase)) {
      for (std::int64_t i = 0; i < replacementLength; ++i) source[p + i] = replacement[i];
      p += findLength;
      ++made;
    } else {
      ++p;
    }
  }
}

void ReplaceCopying(const char16_t* source, const char16_t* find, const char16_t* replacement,
                    std::int32_t start, std::int32_t count, bool ignoreCase, std::int32_t pos) {
  char16_t* duplicates[3];
  bool ok = true;
  source = OrEmpty(DetachFromWorkArea(source, &duplicates[0], &ok));
  find = OrEmpty(DetachFromWorkArea(find, &duplicates[1], &ok));
  replacement = OrEmpty(DetachFromWorkArea(replacement, &duplicates[2], &ok));
  if (!ok) {
    ++StringWorkArea.failures;
    EmptyResultAt(pos);
  } else {
    const std::int64_t findLength = TextLength(find);
    const std::int64_t replacementLength = TextLength(replacement);
    const std::int64_t sourceLength = TextLength(source);
    const std::int64_t first = start - 1;

    // Counting pass, so that the result is reserved exactly once.
    std::int64_t occurrences = 0;
    if (count != 0 && findLength > 0 && first < sourceLength) {
      for (std::int64_t p = first; source[p] != 0;) {
        if (OccursAt(source + p, find, findLength, ignoreCase)) {
          ++occurrences;
          p += findLength;
          if (count != -1 && occurrences >= count) break;
        } else {
          ++p;
        }
      }
    }

    const std::int64_t total = sourceLength + (replacementLength - findLength) * occurrences;
    char16_t* destination =
        total <= INT32_MAX / 2 ? ReserveText(static_cast<std::int32_t>(total), pos) : nullptr;
    if (destination == nullptr) {
      if (total > INT32_MAX / 2) {
        ++StringWorkArea.failures;
        EmptyResultAt(pos);
      }
    } else if (occurrences == 0) {
      CopyChars(destination, source, static_cast<std::int32_t>(sourceLength));
    } else {
      std::int64_t out = 0;
      for (; out < first; ++out) destination[out] = source[out];
      std::int64_t remaining = occurrences;
      for (std::int64_t p = first; source[p] != 0;) {
        if (remaining > 0 && OccursAt(source + p, find, findLength, ignoreCase)) {
          for (std::int64_t i = 0; i < replacementLength; ++i) destination[out++] = replacement[i];
          p += findLength;
          --remaining;
        } else {
          destination[out++] = source[p++];
        }
      }
      destination[out] = 0;
    }
  }
  for (char16_t* duplicate : duplicates) crt::free(duplicate);
}

// Writes count units at pos, reserving length units (length >= count) and
// giving back those not filled.
void CopyUnits(const char16_t* units, std::int32_t count, std::int32_t length, std::int32_t pos) {
  char16_t* destination = ReserveText(length, pos);
  if (destination == nullptr) return;
  for (std::int32_t i = 0; i < count; ++i) destination[i] = units[i];
  GiveBackText(length - count);
  destination[count] = 0;
}

// Converts byteCount bytes of 8-bit text to units at pos.
void ConvertBytes(const char* bytes, int byteCount, UINT codePage, std::int32_t pos) {
  const int needed =
      byteCount == 0 ? 0 : MultiByteToWideChar(codePage, 0, bytes, byteCount, nullptr, 0);
  char16_t* destination = ReserveText(needed, pos);
  if (destination == nullptr) return;
  const int converted =
      needed == 0 ? 0 : MultiByteToWideChar(codePage, 0, bytes, byteCount, destination, needed + 1);
  // A second call that delivers less than it promised leaves no stale units.
  if (converted < needed) GiveBackText(needed - converted);
  destination[converted < needed ? converted : needed] = 0;
}

}  // namespace

std::int64_t TextLength(const char16_t* text) {
  return text == nullptr ? 0 : static_cast<std::int64_t>(crt::wcslen(text));
}

std::int64_t TextEquals(const char16_t* a, const char16_t* b) {
  return crt::wcscmp(OrEmpty(a), OrEmpty(b)) == 0 ? 1 : 0;
}

void LeftText(const char16_t* text, std::int32_t count, std::int32_t pos) {
  const auto length = static_cast<std::int32_t>(TextLength(text));
  std::int32_t keep = count < 0 ? 0 : count;
  if (keep > length) keep = length;
  // The argument may lie in the work area; find it again by its reference
  // once the reservation may have moved the buffer.
  const std::int64_t reference = WorkAreaOffset(text);
  char16_t* destination = ReserveText(keep, pos);
  if (destination == nullptr) return;
  if (reference != 0) text = WorkAreaPointer(static_cast<std::int32_t>(reference));
  if (text != nullptr && keep > 0) {
    CopyChars(destination, text, keep);
  } else {
    *destination = 0;
  }
}

std::int64_t ParseNumber(const char16_t* text) {
  if (text == nullptr) return 0;
  const char16_t* p = text;
  while (*p == u' ' || *p == u'\t') ++p;
  bool negative = false;
  if (*p == u'-') {
    negative = true;
    ++p;
  } else if (*p == u'+') {
    ++p;
  }
  std::uint64_t radix = 10;
  if (*p == u'$') {
    radix = 16;
    ++p;
  } else if (*p == u'%') {
    radix = 2;
    ++p;
  }
  // Unsigned arithmetic wraps modulo 2^64 with no overflow to speak of.
  std::uint64_t value = 0;
  for (;; ++p) {
    const char16_t unit = *p;
    std::uint64_t digit;
    if (unit >= u'0' && unit <= u'9') {
      digit = unit - u'0';
    } else if (unit >= u'A' && unit <= u'F') {
      digit = unit - u'A' + 10;
    } else if (unit >= u'a' && unit <= u'f') {
      digit = unit - u'a' + 10;
    } else {
      break;
    }
    if (digit >= radix) break;
    value = value * radix + digit;
  }
  if (negative) value = 0 - value;
  return static_cast<std::int64_t>(value);
}

void ReplaceText(const char16_t* source, const char16_t* find, const char16_t* replacement,
                 std::int32_t mode, std::int32_t start, std::int32_t count, std::int32_t pos) {
  if (start < 1) start = 1;
  const bool ignoreCase = (mode & kReplaceIgnoreCase) != 0;
  if ((mode & kReplaceInPlace) != 0) {
    // In-place replacement is only given writable sources.
    ReplaceInPlace(const_cast<char16_t*>(source), find, replacement, start, count, ignoreCase);
  } else {
    ReplaceCopying(source, find, replacement, start, count, ignoreCase, pos);
  }
}

void ReplaceText(const char16_t* source, const char16_t* find, const char16_t* replacement,
                 std::int32_t mode, std::int32_t start, std::int32_t pos) {
  ReplaceText(source, find, replacement, mode, start, -1, pos);
}

void ReplaceText(const char16_t* source, const char16_t* find, const char16_t* replacement,
                 std::int32_t mode, std::int32_t pos) {
  ReplaceText(source, find, replacement, mode, 1, -1, pos);
}

void ReplaceText(const char16_t* source, const char16_t* find, const char16_t* replacement,
                 std::int32_t pos) {
  ReplaceText(source, find, replacement, 0, 1, -1, pos);
}

void ConvertText(const void* memory, std::int64_t length, std::int32_t format, std::int32_t pos) {
  if (length < -1) length = 0;
  if (memory == nullptr) {
    EmptyResultAt(pos);
    return;
  }
  const bool utf16 = format == kConvertUtf16;
  // The bytes the conversion reads: for UTF-16, up to length units or the
  // first zero unit, whichever comes first.
  std::int64_t bytes = 0;
  if (utf16) {
    const auto* units = static_cast<const char16_t*>(memory);
    if (length == -1) length = static_cast<std::int64_t>(crt::wcslen(units));
    if (length > INT32_MAX / 2) length = INT32_MAX / 2;
    while (bytes < 2 * length && units[bytes / 2] != 0) bytes += 2;
  } else {
    if (length == -1) length = ByteTextLength(static_cast<const char*>(memory));
    if (length > INT32_MAX) length = INT32_MAX;
    bytes = length;
  }
  // Memory in the work area may be overwritten by the result or moved by
  // the reservation, so it is converted from a copy on StringHeap.
  char* copy = nullptr;
  if (WorkAreaOffset(memory) != 0) {
    copy = static_cast<char*>(AllocateFromHeap(StringWorkArea.heap, 0, static_cast<SIZE_T>(bytes)));
    if (copy == nullptr) {
      ++StringWorkArea.failures;
      EmptyResultAt(pos);
      return;
    }
    for (std::int64_t i = 0; i < bytes; ++i) copy[i] = static_cast<const char*>(memory)[i];
    memory = copy;
  }
  if (utf16) {
    CopyUnits(static_cast<const char16_t*>(memory), static_cast<std::int32_t>(bytes / 2),
              static_cast<std::int32_t>(length), pos);
  } else {
    ConvertBytes(static_cast<const char*>(memory), static_cast<int>(bytes),
                 format == kConvertUtf8 ? CP_UTF8 : CP_ACP, pos);
  }
  if (copy != nullptr) FreeToHeap(StringWorkArea.heap, 0, copy);
}

}  // namespace huecast
