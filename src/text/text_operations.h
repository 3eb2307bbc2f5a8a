// Operations on zero-terminated UTF-16 texts. Those that yield a text write
// it into the string work area at the position they are given (their last
// argument) and return nothing: the result is read with TextAt afterwards.
// A null text pointer reads as the empty text everywhere.
#ifndef HUECAST_TEXT_TEXT_OPERATIONS_H_
#define HUECAST_TEXT_TEXT_OPERATIONS_H_

#include <cstdint>

namespace huecast {

// Mode bits of ReplaceText.
constexpr std::int32_t kReplaceIgnoreCase = 1;
constexpr std::int32_t kReplaceInPlace = 2;

// Formats of ConvertText.
constexpr std::int32_t kConvertUtf8 = 2;
constexpr std::int32_t kConvertAnsi = 24;
constexpr std::int32_t kConvertUtf16 = 25;

// Returns the number of units before the first zero; 0 for null.
std::int64_t TextLength(const char16_t* text);
// Returns 1 when both texts hold the same units, else 0. Case matters.
std::int64_t TextEquals(const char16_t* a, const char16_t* b);
// Writes the first count units of a text (which may lie in the work area) at pos.
void LeftText(const char16_t* text, std::int32_t count, std::int32_t pos);
// Reads a signed number: blanks, a sign, "$" for hexadecimal or "%" for
// binary, then digits; wraps modulo 2^64. Unreadable text gives 0.
std::int64_t ParseNumber(const char16_t* text);

// Replaces occurrences of find in source. Copying replacement writes the
// result at pos; with kReplaceInPlace the source itself is changed (it must
// then be writable) and only when replacement and find have equal lengths.
void ReplaceText(const char16_t* source, const char16_t* find, const char16_t* replacement,
                 std::int32_t mode, std::int32_t start, std::int32_t count, std::int32_t pos);
void ReplaceText(const char16_t* source, const char16_t* find, const char16_t* replacement,
                 std::int32_t mode, std::int32_t start, std::int32_t pos);
void ReplaceText(const char16_t* source, const char16_t* find, const char16_t* replacement,
                 std::int32_t mode, std::int32_t pos);
void ReplaceText(const char16_t* source, const char16_t* find, const char16_t* replacement,
                 std::int32_t pos);

// Makes a text at pos from memory holding UTF-16 units (format 25, length
// in units), UTF-8 (format 2) or 8-bit text in the ANSI code page (any other
// format), length in bytes. A length of -1 stops at the first zero.
void ConvertText(const void* memory, std::int64_t length, std::int32_t format, std::int32_t pos);

}  // namespace huecast

#endif  // HUECAST_TEXT_TEXT_OPERATIONS_H_
