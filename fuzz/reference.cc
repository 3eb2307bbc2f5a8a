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

int HexValue(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  return -1;
}

std::int64_t ReferenceCode(const std::u16string& parameter) {
  std::int64_t value = 0;
  for (std::size_t i = 0; i < 2 && i < parameter.size(); ++i) {
    const int digit = HexValue(parameter[i]);
    if (digit < 0) break;
    value = value * 16 + digit;
  }
  return value;
}

std::u16string ReferenceApostrophes(const std::u16string& text) {
  std::u16string result;
  for (std::size_t i = 0; i < text.size();) {
    if (i + 1 < text.size() && text[i] == u'\'' && text[i + 1] == u'\'') {
      result += u'"';
      i += 2;
    } else {
      result += text[i++];
    }
  }
  return result;
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
