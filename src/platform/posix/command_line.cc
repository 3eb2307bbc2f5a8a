#include "platform/posix/command_line.h"

#include <cstdlib>
#include <cstring>

#include "platform/posix/code_page.h"

namespace huecast {

namespace {

// What a double quote inside an argument becomes on the command line. The
// scan would read a double quote as the start or end of a group, so in a
// parameter it is written as two apostrophes, which the program reads back
// as a double quote; the program path is never printed, so there it is
// dropped.
struct QuoteRule {
  const char16_t* replacement;
  std::size_t units;
};

constexpr QuoteRule kPathQuotes = {.replacement = u"", .units = 0};
constexpr QuoteRule kParameterQuotes = {.replacement = u"''", .units = 2};

// Decodes an argument with its double quotes replaced by the rule's text and
// returns the units; writes them only when units is not null. The byte '"'
// never lies inside a UTF-8 sequence, valid or not, so the pieces between
// the quotes decode as the whole argument would.
std::size_t DecodeArgument(const char* argument, const QuoteRule& rule, char16_t* units) {
  std::size_t produced = 0;
  for (;;) {
    const char* quote = std::strchr(argument, '"');
    const std::size_t bytes =
        quote != nullptr ? static_cast<std::size_t>(quote - argument) : std::strlen(argument);
    produced += DecodeUtf8(argument, bytes, units != nullptr ? units + produced : nullptr);
    if (quote == nullptr) return produced;
    if (units != nullptr) std::memcpy(units + produced, rule.replacement, rule.units * 2);
    produced += rule.units;
    argument = quote + 1;
  }
}

// Tells whether an argument must be put in double quotes to stay one token:
// when it is empty or holds a space.
bool NeedsGrouping(const char* argument, std::size_t units) {
  return units == 0 || std::strchr(argument, ' ') != nullptr;
}

}  // namespace

BuiltCommandLine BuildCommandLine(int argc, const char* const* argv) {
  BuiltCommandLine line{};
  std::size_t total = 0;
  std::size_t pathUnits = 0;
  for (int i = 0; i < argc; ++i) {
    const std::size_t units =
        DecodeArgument(argv[i], i == 0 ? kPathQuotes : kParameterQuotes, nullptr);
    total += (i > 0 ? 1 : 0) + units + (NeedsGrouping(argv[i], units) ? 2 : 0);
    if (i == 0) pathUnits = total;
  }
  line.units = static_cast<char16_t*>(std::malloc((total + 1) * sizeof(char16_t)));
  if (line.units == nullptr) return line;
  std::size_t at = 0;
  for (int i = 0; i < argc; ++i) {
    const QuoteRule& rule = i == 0 ? kPathQuotes : kParameterQuotes;
    const bool grouped = NeedsGrouping(argv[i], DecodeArgument(argv[i], rule, nullptr));
    if (i > 0) line.units[at++] = u' ';
    if (grouped) line.units[at++] = u'"';
    at += DecodeArgument(argv[i], rule, line.units + at);
    if (grouped) line.units[at++] = u'"';
  }
  line.units[at] = 0;
  line.length = at;
  line.parameterUnits = total - pathUnits;
  return line;
}

}  // namespace huecast
