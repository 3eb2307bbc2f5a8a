// The command line that GetCommandLineW gives on POSIX, built from argv the
// way Windows would hand it over.
#ifndef HUECAST_PLATFORM_POSIX_COMMAND_LINE_H_
#define HUECAST_PLATFORM_POSIX_COMMAND_LINE_H_

#include <cstddef>

namespace huecast {

// The longest parameter part a command line may have, in UTF-16 units: the
// Windows limit of a process's command line.
inline constexpr std::size_t kCommandLineLimit = 32767;

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
