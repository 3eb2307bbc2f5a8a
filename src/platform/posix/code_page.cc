#include "platform/posix/code_page.h"

#include <cstdint>
#include <cstring>

namespace huecast {

namespace {

// Windows-1252 bytes 0x80-0x9F; the five bytes it leaves undefined map to
// the C1 control of the same value, as Windows converts them.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct SequenceRule {
  std::uint8_t length;  // bytes in the sequence, 0 for a byte that cannot lead
  std::uint8_t low;     // range of the second byte, which excludes overlong
  std::uint8_t high;    // forms, surrogates and values beyond U+10FFFF
};

constexpr SequenceRule RuleFor(std::uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

void Emit(char16_t* units, std::size_t* produced, char32_t character) {
  if (character > 0xFFFF) {
    if (units != nullptr) {
      units[*produced] = static_cast<char16_t>(0xD800 + ((character - 0x10000) >> 10));
      units[*produced + 1] = static_cast<char16_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
    }
    *produced += 2;
    return;
  }
  if (units != nullptr) units[*produced] = static_cast<char16_t>(character);
  *produced += 1;
}

}  // namespace

std::size_t DecodeUtf8(const char* text, std::size_t count, char16_t* units) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text);
  std::size_t produced = 0;
  std::size_t i = 0;
  while (i < count) {
    const std::uint8_t lead = bytes[i];
    if (lead < 0x80) {
      Emit(units, &produced, lead);
      ++i;
      continue;
    }
    const SequenceRule rule = RuleFor(lead);
    if (rule.length == 0) {
      Emit(units, &produced, kReplacementCharacter);
      ++i;
      continue;
    }
    char32_t character = lead & (0x7F >> rule.length);
    std::uint8_t low = rule.low;
    std::uint8_t high = rule.high;
    std::size_t taken = 1;
    while (taken < rule.length && i + taken < count && bytes[i + taken] >= low &&
           bytes[i + taken] <= high) {
      character = (character << 6) | (bytes[i + taken] & 0x3F);
      low = 0x80;
      high = 0xBF;
      ++taken;
    }
    // An incomplete sequence is replaced as a whole, up to the byte that
    // broke it, which is read again as the start of the next sequence.
    Emit(units, &produced, taken == rule.length ? character : kReplacementCharacter);
    i += taken;
  }
  return produced;
}

std::size_t DecodeWindows1252(const char* text, std::size_t count, char16_t* units) {
  if (units != nullptr) {
    for (std::size_t i = 0; i < count; ++i) {
      const auto byte = static_cast<std::uint8_t>(text[i]);
      units[i] = byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : byte;
    }
  }
  return count;
}

std::size_t EncodeUtf8(const char16_t* units, std::size_t count, bool final, char* out,
                       std::size_t* consumed) {
  std::size_t written = 0;
  std::size_t i = 0;
  while (i < count) {
    char32_t character = units[i];
    std::size_t width = 1;
    if (character >= 0xD800 && character <= 0xDBFF) {
      if (i + 1 == count && !final) break;  // its partner may come in the next slice
      if (i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        character = 0x10000 + ((character - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        width = 2;
      } else {
        character = kReplacementCharacter;
      }
    } else if (character >= 0xDC00 && character <= 0xDFFF) {
      character = kReplacementCharacter;
    }
    if (character < 0x80) {
      out[written++] = static_cast<char>(character);
    } else if (character < 0x800) {
      out[written++] = static_cast<char>(0xC0 | (character >> 6));
      out[written++] = static_cast<char>(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
      out[written++] = static_cast<char>(0xE0 | (character >> 12));
      out[written++] = static_cast<char>(0x80 | ((character >> 6) & 0x3F));
      out[written++] = static_cast<char>(0x80 | (character & 0x3F));
    } else {
      out[written++] = static_cast<char>(0xF0 | (character >> 18));
      out[written++] = static_cast<char>(0x80 | ((character >> 12) & 0x3F));
      out[written++] = static_cast<char>(0x80 | ((character >> 6) & 0x3F));
      out[written++] = static_cast<char>(0x80 | (character & 0x3F));
    }
    i += width;
  }
  *consumed = i;
  return written;
}

int PosixMultiByteToWideChar(UINT codePage, const char* bytes, int byteCount, char16_t* units,
                             int unitCount) {
  if (bytes == nullptr || byteCount == 0 || byteCount < -1 || unitCount < 0) return 0;
  // A count of -1 converts the terminating zero too, as on Windows.
  const std::size_t count =
      byteCount == -1 ? std::strlen(bytes) + 1 : static_cast<std::size_t>(byteCount);
  std::size_t (*decode)(const char*, std::size_t, char16_t*);
  if (codePage == CP_UTF8) {
    decode = DecodeUtf8;
  } else if (codePage == CP_ACP) {
    decode = DecodeWindows1252;
  } else {
    return 0;
  }
  const std::size_t needed = decode(bytes, count, nullptr);
  if (needed > INT32_MAX) return 0;
  if (unitCount == 0) return static_cast<int>(needed);
  if (units == nullptr || needed > static_cast<std::size_t>(unitCount)) return 0;
  decode(bytes, count, units);
  return static_cast<int>(needed);
}

}  // namespace huecast
