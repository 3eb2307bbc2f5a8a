#include "platform/posix/command_line.h"

#include <cstdlib>
#include <cstring>

#include "platform/posix/code_page.h"

namespace huecast {

namespace {

// What a double quote inside an argument becomes on the command line. The
// scan reads a double quote as an ordinary character inside a token, except
// where it would open one: at the start of a token. So an argument that needs
// no grouping keeps its double quotes and writes only a leading one as two
// apostrophes, which the program reads back as a double quote; an argument in
// double quotes writes every one so. The program path is never printed, so
// there they are dropped.
struct QuoteRule {
  const char16_t* leading;  // for a double quote that starts the argument
  std::size_t leadingUnits;
  const char16_t* inner;  // for any other double quote
  std::size_t innerUnits;
};

// Indexed by whether the argument is the program path, then by whether it
// is grouped.
constexpr QuoteRule kQuoteRules[2][2] = {
    {{.leading = u"''", .leadingUnits = 2, .inner = u"\"", .innerUnits = 1},
     {.leading = u"''", .leadingUnits = 2, .inner = u"''", .innerUnits = 2}},
    {{.leading = u"", .leadingUnits = 0, .inner = u"", .innerUnits = 0},
     {.leading = u"", .leadingUnits = 0, .inner = u"", .innerUnits = 0}},
};

// Decodes an argument with its double quotes replaced by the rule's text and
// returns the units; writes them only when units is not null. The byte '"'
// never lies inside a UTF-8 sequence, valid or not, so the pieces between
// the quotes decode as the whole argument would.
std::size_t DecodeArgument(const char* argument, const QuoteRule& rule, char16_t* units) {
  const char* const first = argument;
  std::size_t produced = 0;
  for (;;) {
    const char* quote = std::strchr(argument, '"');
    const std::size_t bytes =
        quote != nullptr ? static_cast<std::size_t>(quote - argument) : std::strlen(argument);
    produced += DecodeUtf8(argument, bytes, units != nullptr ? units + produced : nullptr);
    if (quote == nullptr) return produced;
    const bool leading = quote == first;
    const std::size_t count = leading ? rule.leadingUnits : rule.innerUnits;
    if (units != nullptr) {
      std::memcpy(units + produced, leading ? rule.leading : rule.inner, count * 2);
    }
    produced += count;
    argument = quote + 1;
  }
}

// Picks the quote rule of an argument and tells whether it must be put in
// double quotes to stay one token: when it holds a space or would be empty,
// which only the program path, losing its double quotes, can be when written.
const QuoteRule& ChooseRule(const char* argument, bool path, bool* grouped) {
  *grouped = std::strchr(argument, ' ') != nullptr ||
             argument[std::strspn(argument, path ? "\"" : "")] == '\0';
  return kQuoteRules[path][*grouped];
}

}  // namespace

BuiltCommandLine BuildCommandLine(int argc, const char* const* argv) {
  BuiltCommandLine line{};
  std::size_t total = 0;
  std::size_t pathUnits = 0;
  for (int i = 0; i < argc; ++i) {
    bool grouped = false;
    const QuoteRule& rule = ChooseRule(argv[i], i == 0, &grouped);
    total += (i > 0 ? 1 : 0) + DecodeArgument(argv[i], rule, nullptr) + (grouped ? 2 : 0);
    if (i == 0) pathUnits = total;
  }
  line.units = static_cast<char16_t*>(std::malloc((total + 1) * sizeof(char16_t)));
  if (line.units == nullptr) return line;
  std::size_t at = 0;
  for (int i = 0; i < argc; ++i) {
    bool grouped = false;
    const QuoteRule& rule = ChooseRule(argv[i], i == 0, &grouped);
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
