#include "platform/posix/terminal.h"

#include <gtest/gtest.h>

#include <string>

namespace huecast {
namespace {

// Builds the expected sequence from the colour names, independently of the
// table in the code: palette bit 0 blue, bit 1 green, bit 2 red, bit 3 bright.
std::string Expected(unsigned attribute) {
  if (attribute == 0x07) return "\x1b[0m";
  const auto ansi = [](unsigned index) {
    return ((index & 4) ? 1u : 0u) + ((index & 2) ? 2u : 0u) + ((index & 1) ? 4u : 0u);
  };
  const unsigned foreground = attribute & 15;
  const unsigned background = attribute >> 4;
  return "\x1b[" + std::to_string((foreground & 8 ? 90 : 30) + ansi(foreground)) + ";" +
         std::to_string((background & 8 ? 100 : 40) + ansi(background)) + "m";
}

// Only the colour byte counts: the same attribute with a high bit set maps alike.
TEST(AttributeToSgr, MapsEveryAttribute) {
  for (unsigned attribute = 0; attribute < 512; ++attribute) {
    char sequence[kSgrBufferSize];
    const std::size_t length = AttributeToSgr(static_cast<WORD>(attribute), sequence);
    EXPECT_EQ(std::string(sequence, length), Expected(attribute & 255)) << attribute;
    EXPECT_EQ(sequence[length], 0) << attribute;
    EXPECT_LT(length, kSgrBufferSize);
  }
}

TEST(ShowsColours, NoColourAndDumbTerminalTurnThemOff) {
  struct {
    const char* noColour;
    const char* terminalType;
    bool colours;
  } const cases[] = {
      {nullptr, nullptr, true}, {nullptr, "xterm", true}, {"", "xterm", true},
      {"1", "xterm", false},    {"0", nullptr, false},    {nullptr, "dumb", false},
      {"", "dumb", false},      {nullptr, "", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShowsColours(c.noColour, c.terminalType), c.colours)
        << (c.noColour ? c.noColour : "(unset)") << " " << (c.terminalType ? c.terminalType : "");
  }
}

}  // namespace
}  // namespace huecast
