#include "platform/posix/terminal.h"

#include <cstdint>
#include <cstring>

namespace huecast {

namespace {

// Console palette index (bit 0 blue, bit 1 green, bit 2 red) to ANSI colour
// number (red 1, green 2, blue 4); bit 3, intensity, selects the bright set.
constexpr std::uint8_t kAnsiColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

char* AppendNumber(char* out, unsigned value) {
  if (value >= 100) *out++ = static_cast<char>('0' + value / 100);
  if (value >= 10) *out++ = static_cast<char>('0' + value / 10 % 10);
  *out++ = static_cast<char>('0' + value % 10);
  return out;
}

}  // namespace

bool ShowsColours(const char* noColour, const char* terminalType) {
  const bool noColourSet = noColour != nullptr && *noColour != 0;
  const bool dumb = terminalType != nullptr && std::strcmp(terminalType, "dumb") == 0;
  return !noColourSet && !dumb;
}

std::size_t AttributeToSgr(WORD attribute, char* out) {
  char* p = out;
  *p++ = '\x1b';
  *p++ = '[';
  if ((attribute & 0xFF) == kDefaultAttribute) {
    *p++ = '0';
  } else {
    const unsigned foreground = attribute & 0x0F;
    const unsigned background = (attribute >> 4) & 0x0F;
    p = AppendNumber(p, (foreground & 8 ? 90 : 30) + kAnsiColour[foreground & 7]);
    *p++ = ';';
    p = AppendNumber(p, (background & 8 ? 100 : 40) + kAnsiColour[background & 7]);
  }
  *p++ = 'm';
  *p = 0;
  return static_cast<std::size_t>(p - out);
}

}  // namespace huecast
