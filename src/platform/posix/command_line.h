// The command line that GetCommandLineW gives on POSIX, built from argv the
// way Windows would hand it over.
#ifndef HUECAST_PLATFORM_POSIX_COMMAND_LINE_H_
#define HUECAST_PLATFORM_POSIX_COMMAND_LINE_H_

#include <cstddef>
#include <string_view>

namespace huecast {

// The longest parameter part a command line may have, in UTF-16 units: the
// Windows limit of a process's command line.
inline constexpr std::size_t kCommandLineLimit = 32767;

// The line written to standard error when a command line passes the limit.
struct TooLongMessage {
  char text[80];
  std::size_t length;  // bytes before the terminating zero
};

// Spells the message with the limit's own digits, so that the two cannot
// disagree.
constexpr TooLongMessage SpellTooLongMessage() {
  TooLongMessage message{};
  const auto append = [&message](std::string_view piece) {
    for (const char c : piece) message.text[message.length++] = c;
  };
  append("huecast: the command line is too long (more than ");
  std::size_t power = 1;
  while (power * 10 <= kCommandLineLimit) power *= 10;
  for (; power != 0; power /= 10) {
    message.text[message.length++] = static_cast<char>('0' + kCommandLineLimit / power % 10);
  }
  append(" UTF-16 units)\n");
  return message;
}

inline constexpr TooLongMessage kTooLongMessage = SpellTooLongMessage();

struct BuiltCommandLine {
  char16_t* units;             // zero-terminated, from malloc; null when out of memory
  std::size_t length;          // units before the terminator
  std::size_t parameterUnits;  // units after the program path
};

// Joins the arguments, each decoded from UTF-8, with single spaces, so that
// the scan gives back each argument as exactly one parameter. An argument
// that is empty or holds a space is enclosed in double quotes, and every
// double quote in it is written as two apostrophes; any other argument keeps
// its double quotes but a leading one, which becomes two apostrophes. The
// program path loses its double quotes.
BuiltCommandLine BuildCommandLine(int argc, const char* const* argv);

}  // namespace huecast

#endif  // HUECAST_PLATFORM_POSIX_COMMAND_LINE_H_
