#include "reference.h"

#include <cstdio>
#include <cstdlib>

namespace huecast_fuzz {

void Fail(const char* what) {
  std::fprintf(stderr, "reference mismatch: %s\n", what);
  std::abort();
}

std::vector<std::u16string> ReferenceSplit(const std::u16string& line) {
  std::vector<std::u16string> tokens;
  std::size_t i = 0;
  const std::size_t n = line.size();
  for (;;) {
    while (i < n && line[i] == u' ') ++i;
    if (i == n) break;
    std::size_t end;
    std::size_t next;
    if (line[i] == u'"') {
      ++i;
      end = line.find(u'"', i);
      if (end == std::u16string::npos) end = n;
      next = end == n ? n : end + 1;
    } else {
      end = line.find(u' ', i);
      if (end == std::u16string::npos) end = n;
      next = end;
    }
    tokens.push_back(line.substr(i, end - i));
    i = next;
  }
  return tokens;
}

namespace {

// Returns the value of a hexadecimal digit (0-9, A-F, a-f), or -1.
int HexValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  return -1;
}

// Tells whether find occurs in text at p, the whole of find within text.
bool Matches(const std::u16string& text, std::size_t p, const std::u16string& find,
             bool ignoreCase) {
  if (p + find.size() > text.size()) return false;
  for (std::size_t i = 0; i < find.size(); ++i) {
    const char16_t a = text[p + i];
    const char16_t b = find[i];
    if (ignoreCase ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

}  // namespace

char16_t Fold(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + 32) : unit;
}

std::u16string ReferenceReplace(const std::u16string& source, const std::u16string& find,
                                const std::u16string& replacement, bool ignoreCase,
                                std::int64_t start, std::int64_t count, bool inPlace) {
  if (start < 1) start = 1;
  const auto first = static_cast<std::size_t>(start - 1);
  if (find.empty() || count == 0 || first >= source.size()) return source;
  if (inPlace && (replacement.size() != find.size() || count < -1)) return source;
  const std::int64_t limit = count < -1 ? 1 : count;
  std::u16string result = source.substr(0, first);
  std::int64_t made = 0;
  for (std::size_t p = first; p < source.size();) {
    if ((limit == -1 || made < limit) && Matches(source, p, find, ignoreCase)) {
      result += replacement;
      p += find.size();
      ++made;
    } else {
      result += source[p++];
    }
  }
  return result;
}

std::int64_t ReferenceParse(const std::u16string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  int radix = 10;
  if (i < text.size() && text[i] == u'$') {
    radix = 16;
    ++i;
  } else if (i < text.size() && text[i] == u'%') {
    radix = 2;
    ++i;
  }
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0 || digit >= radix) break;
    value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(digit);
  }
  return static_cast<std::int64_t>(negative ? 0 - value : value);
}

char16_t CompactUnit(std::uint8_t byte) {
  static constexpr char16_t kSpecial[] = {
      u' ',  u' ',  u' ',  u'"',   u'"',   u'"',   u'\t',  u'\'',  u'\'',  u'\'',  u'/',
      u'?',  u'$',  u'\\', 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFF, 0xFEFF, 0x00A0, 0x3000,
      u'\r', u'\n', u'1',  u'E',   u'7',   u'0',   u'f',   u'G',   u'-',   u'%',
  };
  static_assert(sizeof kSpecial / sizeof kSpecial[0] == 32);
  if (byte >= 0x20 && byte < 0x7F) return byte;
  if (byte < 0x20) return kSpecial[byte];
  return kSpecial[byte & 31];
}

std::u16string UnitsFromBytes(ByteReader* reader, bool raw) {
  std::u16string units;
  while (!reader->AtEnd()) {
    if (raw) {
      if (reader->size - reader->offset < 2) break;
      const std::uint8_t low = reader->Byte();
      const std::uint8_t high = reader->Byte();
      units += static_cast<char16_t>(low | high << 8);
    } else {
      units += CompactUnit(reader->Byte());
    }
  }
  return units;
}

std::u16string UpToZero(const std::u16string& text) {
  const std::size_t zero = text.find(u'\0');
  return zero == std::u16string::npos ? text : text.substr(0, zero);
}

}  // namespace huecast_fuzz
