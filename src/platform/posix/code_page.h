// Conversions between UTF-16 and the 8-bit encodings the POSIX stand-ins
// meet: UTF-8 (the terminal, argv) and Windows-1252 (the ANSI code page).
#ifndef HUECAST_PLATFORM_POSIX_CODE_PAGE_H_
#define HUECAST_PLATFORM_POSIX_CODE_PAGE_H_

#include <cstddef>

#include "platform/platform.h"

namespace huecast {

constexpr char16_t kReplacementCharacter = 0xFFFD;

// Decodes UTF-8 into units (when units is not null) and returns the number
// of units. Each maximal invalid subsequence becomes U+FFFD; a character
// beyond U+FFFF becomes a surrogate pair.
std::size_t DecodeUtf8(const char* bytes, std::size_t count, char16_t* units);
// Decodes Windows-1252, one unit per byte.
std::size_t DecodeWindows1252(const char* bytes, std::size_t count, char16_t* units);
// Encodes units as UTF-8 into out, which holds at least 3 bytes per unit;
// a pair becomes one character and a lone surrogate U+FFFD. A high
// surrogate in the last unit is left unread (consumed tells how many were
// read) unless final is true. Returns the number of bytes.
std::size_t EncodeUtf8(const char16_t* units, std::size_t count, bool final, char* out,
                       std::size_t* consumed);
// MultiByteToWideChar for code pages 0 (Windows-1252) and 65001 (UTF-8).
int PosixMultiByteToWideChar(UINT codePage, const char* bytes, int byteCount, char16_t* units,
                             int unitCount);

}  // namespace huecast

#endif  // HUECAST_PLATFORM_POSIX_CODE_PAGE_H_
