// How a console attribute is shown on an ANSI terminal.
#ifndef HUECAST_PLATFORM_POSIX_TERMINAL_H_
#define HUECAST_PLATFORM_POSIX_TERMINAL_H_

#include <cstddef>

#include "platform/platform.h"

namespace huecast {

// The attribute a terminal starts with: the terminal's own default colours
// stand for the console's grey on black.
constexpr WORD kDefaultAttribute = 0x07;

// Room for the longest sequence, "\x1b[97;107m", and its terminator.
constexpr std::size_t kSgrBufferSize = 12;

// Tells whether a terminal is to be sent colours, from the values of NO_COLOR
// and TERM (null when unset): not when NO_COLOR is set and not empty, and not
// when TERM is "dumb", a terminal that shows escape sequences as text.
bool ShowsColours(const char* noColour, const char* terminalType);

// Writes the SGR sequence that shows an attribute's low byte, zero-terminated,
// and returns its length.
std::size_t AttributeToSgr(WORD attribute, char* out);

}  // namespace huecast

#endif  // HUECAST_PLATFORM_POSIX_TERMINAL_H_
