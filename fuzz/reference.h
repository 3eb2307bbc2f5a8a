// Reference models and input helpers shared by the fuzz targets. They are
// written independently of the program's code and as plainly as possible.
#ifndef HUECAST_FUZZ_REFERENCE_H_
#define HUECAST_FUZZ_REFERENCE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace huecast_fuzz {

// Reports a mismatch between program and reference and aborts, which
// libFuzzer records as a finding.
[[noreturn]] void Fail(const char* what);
// Aborts with a message unless condition holds.
inline void Check(bool condition, const char* what) {
  if (!condition) Fail(what);
}

// Splits a command line the way the program's scanner is meant to: spaces
// separate, a double quote opens a token that runs to the next double quote
// (consumed, no space needed behind it) or to the end, "" is an empty token,
// tabs are ordinary. Element 0 is the program path (token -1).
std::vector<std::u16string> ReferenceSplit(const std::u16string& line);

// Returns the unit with A-Z turned into a-z; any other unit as it is.
char16_t Fold(char16_t unit);

// Models replacement from start on, occurrences never overlapping, at most
// count replaced (-1: all). A count below -1 ends the copying replacement's
// counting pass after the first occurrence and replaces nothing in place; in
// place, a replacement of another length than find changes nothing.
std::u16string ReferenceReplace(const std::u16string& source, const std::u16string& find,
                                const std::u16string& replacement, bool ignoreCase,
                                std::int64_t start, std::int64_t count, bool inPlace);

// Reads a number: blanks (space, tab), a sign, $ for hexadecimal or % for
// binary, then digits up to the first unit that is not one, modulo 2^64.
std::int64_t ReferenceParse(const std::u16string& text);

// Reads fuzzer bytes one at a time; past the end every read gives 0.
struct ByteReader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t offset;

  bool AtEnd() const { return offset >= size; }
  std::uint8_t Byte() { return offset < size ? data[offset++] : 0; }
};

// Maps one fuzzer byte to a UTF-16 unit. Printable ASCII stays itself; the
// other bytes pick units the scanner and driver treat specially (space,
// quote, tab, apostrophe) or that are unusual (lone surrogates, U+FFFF).
// Never gives 0.
char16_t CompactUnit(std::uint8_t byte);

// Turns the rest of a reader into units: one unit per byte through
// CompactUnit, or, when raw, little-endian byte pairs as they are (zero
// units included; an odd last byte is dropped).
std::u16string UnitsFromBytes(ByteReader* reader, bool raw);

// Returns the text up to, not including, its first zero unit.
std::u16string UpToZero(const std::u16string& text);

}  // namespace huecast_fuzz

#endif  // HUECAST_FUZZ_REFERENCE_H_
