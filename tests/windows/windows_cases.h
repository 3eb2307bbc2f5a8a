// The calls of Huecast.exe that a Windows caller makes, with what each must
// give: one table for the acceptance program (HuecastTests.exe, which starts
// each case with its exact command line) and for the native build, which is
// held to every case that an argument list can express.
#ifndef HUECAST_TESTS_WINDOWS_WINDOWS_CASES_H_
#define HUECAST_TESTS_WINDOWS_WINDOWS_CASES_H_

#include <array>
#include <cstdint>
#include <string>

#include "driver/expected_help.h"

namespace huecast {

// Where a case's standard output goes; a case names every place it runs in.
enum CaseOutputs : std::uint32_t {
  kToPipe = 1,         // a pipe read to its end: bytes and exit code
  kToFile = 2,         // a new file: bytes and exit code
  kToNul = 4,          // the NUL device: exit code
  kToConsole = 8,      // a screen buffer of its own: cells, cursor, attribute left
  kToBrokenPipe = 16,  // a pipe whose reader is closed: failureExit
  kToReadOnly = 32,    // a file handle without write access: failureExit
  kToInvalid = 64,     // an invalid standard output handle: failureExit
};
constexpr std::uint32_t kRedirected = kToPipe | kToFile | kToNul;
constexpr std::uint32_t kWriteFailures = kToBrokenPipe | kToReadOnly | kToInvalid;

// The attribute a case's screen buffer starts with: no code of the table
// sets it, so both a change and its absence show.
constexpr std::uint16_t kStartAttribute = 0x5E;

// Marks, in a line and in a text, where the case's repeated piece goes.
constexpr char16_t kRepeatMark = 0x0001;
// Repeat counts that fill the whole command line, program path included, to
// the longest one CreateProcessW accepts (32767 units with the terminating
// zero), or to one unit more, which it refuses.
constexpr int kFillLongestLine = -1;
constexpr int kFillOverlongLine = -2;
constexpr int kLongestLine = 32766;
// The exit code a case expects when CreateProcessW must refuse to start it.
constexpr int kRefused = -1;

// Console attributes of consecutive written units; units -1 means the rest.
struct CellRun {
  std::uint16_t attribute;
  int units;
};

struct Repeat {
  const char16_t* line;  // put into the line at its mark, count times
  const char16_t* text;  // put into the expected text at its mark, count times
  int count;
};

struct WindowsCase {
  const char* name;
  // The command line after the quoted program path and one space (none when
  // empty), exactly as CreateProcessW is given it.
  const char16_t* line;
  const char16_t* text;  // the output, as UTF-16LE bytes on a pipe or file
  int exitCode;
  std::uint32_t outputs = kRedirected;
  // Why the case needs the exact command line (empty: an argument list
  // gives the same line, so the native build runs it too).
  const char* exactOnly = "";
  int failureExit = 0;  // the exit code when the output cannot be written
  // The written units' attributes, in order; CR and LF are not cells.
  std::array<CellRun, 5> cells = {};
  std::uint16_t attributeLeft = kStartAttribute;
  Repeat repeat = {};
  bool pathWithSpaces = false;  // started from a folder whose name has a space
};

constexpr std::uint32_t kEverywhere = kRedirected | kToConsole | kWriteFailures;

inline constexpr WindowsCase kWindowsCases[] = {
    // Help: exact bytes, exit 255 even when it cannot be written, colours kept.
    {.name = "HelpWithoutParameters",
     .line = u"",
     .text = kHelpScreen,
     .exitCode = 255,
     .outputs = kEverywhere,
     .failureExit = 255,
     .cells = {{{kStartAttribute, -1}}}},
    {.name = "HelpRequest", .line = u"/? 1E x", .text = kHelpScreen, .exitCode = 255},
    {.name = "HelpForEmptyFirstParameter",
     .line = u"\"\" 1E x",
     .text = kHelpScreen,
     .exitCode = 255,
     .outputs = kRedirected | kToConsole,
     .cells = {{{kStartAttribute, -1}}}},
    {.name = "HelpForSpacesOnly",
     .line = u"   ",
     .text = kHelpScreen,
     .exitCode = 255,
     .exactOnly = "an argument list gives no trailing spaces"},
    {.name = "NotHelp", .line = u"/h x -? y", .text = u"xy\r\n", .exitCode = 0},

    // Codes and the colours they leave.
    {.name = "TypicalCall",
     .line = u"1E Hello 07 \" world\"",
     .text = u"Hello world\r\n",
     .exitCode = 0,
     .outputs = kEverywhere,
     .failureExit = 2,
     .cells = {{{0x1E, 5}, {0x07, 6}}},
     .attributeLeft = 0x07},
    {.name = "QuickStart",
     .line = u"1E \" Hello, \" 0A world",
     .text = u" Hello, world\r\n",
     .exitCode = 0,
     .outputs = kRedirected | kToConsole,
     .cells = {{{0x1E, 8}, {0x0A, 5}}},
     .attributeLeft = 0x0A},
    {.name = "CodeForms",
     .line = u"1e a 1E7 b 1G c A0 d 7 e",
     .text = u"abcde\r\n",
     .exitCode = 0,
     .outputs = kRedirected | kToConsole,
     .cells = {{{0x1E, 2}, {0x01, 1}, {0xA0, 1}, {0x07, 1}}},
     .attributeLeft = 0x07},
    {.name = "RejectedCode",
     .line = u"77 x",
     .text = u"x\r\n",
     .exitCode = 1,
     .outputs = kEverywhere,
     .failureExit = 3,
     .cells = {{{kStartAttribute, 1}}}},
    {.name = "RejectedCodesAmongOthers",
     .line = u"77 a FF b 1E c",
     .text = u"abc\r\n",
     .exitCode = 1,
     .outputs = kRedirected | kToConsole,
     .cells = {{{kStartAttribute, 2}, {0x1E, 1}}},
     .attributeLeft = 0x1E},
    {.name = "ZeroCodes",
     .line = u"00 x 1E y G1 a -1 b \" 1\" c",
     .text = u"xyabc\r\n",
     .exitCode = 0,
     .outputs = kRedirected | kToConsole,
     .cells = {{{kStartAttribute, 1}, {0x1E, 4}}},
     .attributeLeft = 0x1E},
    {.name = "ZeroCodeAndEmptyStringEnd",
     .line = u"00 \"\" 1E x",
     .text = u"",
     .exitCode = 0,
     .outputs = kEverywhere},
    {.name = "CodeWithoutString",
     .line = u"1E",
     .text = u"",
     .exitCode = 0,
     .outputs = kEverywhere,
     .attributeLeft = 0x1E},
    {.name = "EmptyStringSkipped",
     .line = u"1E \"\" 2F x",
     .text = u"x\r\n",
     .exitCode = 0,
     .outputs = kRedirected | kToConsole,
     .cells = {{{0x2F, 1}}},
     .attributeLeft = 0x2F},
    {.name = "StringsInARow", .line = u"x y z", .text = u"y\r\n", .exitCode = 0},
    {.name = "ManyPairs",
     .line = u"\001"
             u"1E end",
     .text = u"\001end\r\n",
     .exitCode = 1,
     .repeat = {u"1E a 77 b ", u"ab", 150}},

    // Strings.
    {.name = "Apostrophes",
     .line = u"07 ''Hi'' 07 ''' 07 ''''",
     .text = u"\"Hi\"\"'\"\"\r\n",
     .exitCode = 0},
    {.name = "SpacesKept",
     .line = u"07 \"a b  c\" 07 \" \"",
     .text = u"a b  c \r\n",
     .exitCode = 0},
    {.name = "TabsInsideAParameter", .line = u"07 a\tb 07 c", .text = u"a\tbc\r\n", .exitCode = 0},
    {.name = "NonAscii",
     .line = u"07 \"Grüße, ça va? Ελληνικά 日本語 😀\"",
     .text = u"Grüße, ça va? Ελληνικά 日本語 😀\r\n",
     .exitCode = 0},
    {.name = "NonAsciiOnTheConsole",
     .line = u"2E Grüße 07 ça",
     .text = u"Grüßeça\r\n",
     .exitCode = 0,
     .outputs = kRedirected | kToConsole,
     .cells = {{{0x2E, 5}, {0x07, 2}}},
     .attributeLeft = 0x07},
    {.name = "TrailingBackslash",
     .line = u"07 C:\\dir\\ 07 x",
     .text = u"C:\\dir\\x\r\n",
     .exitCode = 0},
    {.name = "BackslashBeforeClosingQuote",
     .line = u"07 \"C:\\my dir\\\" 07 x",
     .text = u"C:\\my dir\\x\r\n",
     .exitCode = 0},
    {.name = "LongString",
     .line = u"07 \001 1E y",
     .text = u"\001y\r\n",
     .exitCode = 0,
     .repeat = {u"x", u"x", 30000}},

    // Lines that only an exact command line can hold.
    {.name = "QuotedTab",
     .line = u"07 \"c\td\"",
     .text = u"c\td\r\n",
     .exitCode = 0,
     .exactOnly = "an argument list quotes no tab"},
    {.name = "QuotedCode",
     .line = u"\"1E\" x",
     .text = u"x\r\n",
     .exitCode = 0,
     .outputs = kRedirected | kToConsole,
     .exactOnly = "an argument list quotes no code",
     .cells = {{{0x1E, 1}}},
     .attributeLeft = 0x1E},
    {.name = "QuotesInsideAToken",
     .line = u"07 ab\"cd 07 ef\" 07 x",
     .text = u"ab\"cdef\"x\r\n",
     .exitCode = 0,
     .exactOnly = "an argument's quote becomes two apostrophes"},
    {.name = "QuotedThenPlain",
     .line = u"07 \"ab\"cd 07 x",
     .text = u"ab07\r\n",
     .exitCode = 0,
     .exactOnly = "an argument list never joins two tokens"},
    {.name = "FourQuotes",
     .line = u"07 \"\"\"\" 07 x",
     .text = u"07\r\n",
     .exitCode = 0,
     .exactOnly = "an argument list never joins two tokens"},
    {.name = "UnclosedQuote",
     .line = u"07 \"abc def",
     .text = u"abc def\r\n",
     .exitCode = 0,
     .exactOnly = "an argument list closes every quote"},
    {.name = "RunsOfSpaces",
     .line = u"07   a   07  b   ",
     .text = u"ab\r\n",
     .exitCode = 0,
     .exactOnly = "an argument list has single spaces"},
    {.name = "ProgramPathWithSpaces",
     .line = u"07 x",
     .text = u"x\r\n",
     .exitCode = 0,
     .exactOnly = "the native build runs from its build folder",
     .pathWithSpaces = true},
    {.name = "LongestCommandLine",
     .line = u"07 \001",
     .text = u"\001\r\n",
     .exitCode = 0,
     .outputs = kToPipe,
     .exactOnly = "the limit is CreateProcessW's",
     .repeat = {u"x", u"x", kFillLongestLine}},
    {.name = "OverlongCommandLine",
     .line = u"07 \001",
     .text = u"",
     .exitCode = kRefused,
     .outputs = kToPipe,
     .exactOnly = "the limit is CreateProcessW's",
     .repeat = {u"x", u"x", kFillOverlongLine}},
};

// Puts the repeated piece in place of the mark, count times.
inline std::u16string ExpandRepeat(const char16_t* text, const char16_t* piece, int count) {
  std::u16string expanded;
  for (; *text != 0; ++text) {
    if (*text != kRepeatMark) {
      expanded += *text;
      continue;
    }
    for (int i = 0; i < count; ++i) expanded += piece;
  }
  return expanded;
}

}  // namespace huecast

#endif  // HUECAST_TESTS_WINDOWS_WINDOWS_CASES_H_
