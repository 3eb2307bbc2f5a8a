#include "platform/posix/command_line.h"

#include <cstdlib>
#include <cstring>

#include "platform/posix/code_page.h"

namespace huecast {

namespace {

bool NeedsQuotes(const char* argument) {
  return *argument == 0 || std::strchr(argument, ' ') != nullptr;
}

}  // namespace

BuiltCommandLine BuildCommandLine(int argc, const char* const* argv) {
  BuiltCommandLine line{};
  std::size_t total = 0;
  std::size_t pathUnits = 0;
  for (int i = 0; i < argc; ++i) {
    const char* argument = argv[i];
    total += (i > 0 ? 1 : 0) + DecodeUtf8(argument, std::strlen(argument), nullptr) +
             (NeedsQuotes(argument) ? 2 : 0);
    if (i == 0) pathUnits = total;
  }
  line.units = static_cast<char16_t*>(std::malloc((total + 1) * sizeof(char16_t)));
  if (line.units == nullptr) return line;
  std::size_t at = 0;
  for (int i = 0; i < argc; ++i) {
    const char* argument = argv[i];
    const bool quoted = NeedsQuotes(argument);
    if (i > 0) line.units[at++] = u' ';
    if (quoted) line.units[at++] = u'"';
    at += DecodeUtf8(argument, std::strlen(argument), line.units + at);
    if (quoted) line.units[at++] = u'"';
  }
  line.units[at] = 0;
  line.length = at;
  line.parameterUnits = total - pathUnits;
  return line;
}

}  // namespace huecast
