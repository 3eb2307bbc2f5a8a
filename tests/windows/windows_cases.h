// The calls of Huecast.exe that a Windows caller makes, with what each must
// give: one table for the acceptance program (HuecastTests.exe, which starts
// each case with its exact command line) and for the native build, which is
// held to every case that an argument list can express.
#ifndef HUECAST_TESTS_WINDOWS_WINDOWS_CASES_H_
#define HUECAST_TESTS_WINDOWS_WINDOWS_CASES_H_

#include <cstdint>

#include "driver/expected_help.h"

namespace huecast {

// Where a case's standard output goes; a case names every place it runs in.
enum CaseOutputs : std::uint32_t {
  kToPipe = 1,          // a pipe read to its end: bytes and exit code
  kToFile = 2,          // a new file: bytes and exit code
  kToNul = 4,           // the NUL device: exit code
  kToConsole = 8,       // a screen buffer of its own: cells, cursor, attribute left
  kToBrokenPipe = 16,   // a pipe whose reader is closed: failureExit
  kToReadOnly = 32,     // a file handle without write access: failureExit
  kToInvalid = 64,      // an invalid standard output handle: failureExit
  kToNoHandle = 128,    // no standard output handle at all: failureExit
  kToFullDevice = 256,  // a device whose every write fails (only under Wine): failureExit
  kToUnreadPipe = 512,  // a pipe nobody reads, then CTRL_BREAK_EVENT (only on Windows)
};
constexpr std::uint32_t kRedirected = kToPipe | kToFile | kToNul;
constexpr std::uint32_t kWriteFailures =
    kToBrokenPipe | kToReadOnly | kToInvalid | kToNoHandle | kToFullDevice;
constexpr std::uint32_t kShown = kRedirected | kToConsole;
constexpr std::uint32_t kEverywhere = kShown | kWriteFailures;

// The attribute a case's screen buffer starts with: no code of the table
// sets it, so both a change and its absence show.
constexpr std::uint16_t kStart = 0x5E;

// Marks, in a line and in a text, where the case's repeated piece goes.
constexpr char16_t kRepeatMark = 0x0001;
// Repeat counts that fill the whole command line, program path included, to
// the longest one CreateProcessW accepts (32767 units with the terminating
// zero), or to one unit more, which it refuses.
constexpr int kFillLongestLine = -1;
constexpr int kFillOverlongLine = -2;
constexpr int kLongestLine = 32766;
// Room for the longest command line, or the longest expected text, and its zero.
constexpr int kCaseUnits = kLongestLine + 64;
// The exit code a case expects when CreateProcessW must refuse to start it.
constexpr int kRefused = -1;
// The exit code of a process that the system's own handler ends for a
// console control event (STATUS_CONTROL_C_EXIT).
constexpr int kControlExit = static_cast<int>(0xC000013Au);

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
  // The written units' attributes in order (CR and LF are no cells; those
  // past the runs named are in the attribute left), and the attribute left
  // in force.
  CellRun cells[4] = {};
  std::uint16_t attributeLeft = kStart;
  std::uint32_t outputs = kRedirected;
  int failureExit = 0;  // the exit code when the output cannot be written
  // Why the case needs the exact command line; empty when an argument list
  // gives the same line, so that the native build runs it too.
  const char* exactOnly = "";
  Repeat repeat = {};
  bool pathWithSpaces = false;  // started from a folder whose name has a space
};

// clang-format off
inline constexpr WindowsCase kWindowsCases[] = {
    // Help: exact bytes, exit 255 even when it cannot be written, colours kept.
    {"HelpWithoutParameters", u"", kHelpScreen, 255, {}, kStart, kEverywhere, 255},
    {"HelpRequest", u"/?", kHelpScreen, 255},
    {"HelpRequestBeforePairs", u"/? 1E x", kHelpScreen, 255},
    {"HelpForEmptyParameter", u"\"\"", kHelpScreen, 255},
    {"HelpForEmptyFirstParameter", u"\"\" 1E x", kHelpScreen, 255, {}, kStart, kShown},
    {"HelpForSpacesOnly", u"   ", kHelpScreen, 255, {}, kStart, kRedirected, 0,
     "an argument list gives no trailing spaces"},
    {"NotHelp", u"/h x -? y", u"xy\r\n", 0},

    // Codes and the colours they leave; a rejected code changes nothing.
    {"TypicalCall", u"1E Hello 07 \" world\"", u"Hello world\r\n", 0, {{0x1E, 5}, {0x07, 6}},
     0x07, kEverywhere, 2},
    {"QuickStart", u"1E \" Hello, \" 0A world", u" Hello, world\r\n", 0, {{0x1E, 8}, {0x0A, 5}},
     0x0A, kShown},
    {"CodeForms", u"1e a 1E7 b 1G c A0 d 7 e", u"abcde\r\n", 0,
     {{0x1E, 2}, {0x01, 1}, {0xA0, 1}, {0x07, 1}}, 0x07, kShown},
    {"RejectedCode", u"77 x", u"x\r\n", 1, {}, kStart, kEverywhere, 3},
    {"RejectedCodesAmongOthers", u"77 a FF b 1E c", u"abc\r\n", 1, {{kStart, 2}, {0x1E, 1}},
     0x1E, kShown},
    {"ZeroCodes", u"00 x 1E y G1 a -1 b \" 1\" c", u"xyabc\r\n", 0, {{kStart, 1}, {0x1E, 4}},
     0x1E, kShown},
    {"ZeroCodeAndEmptyStringEnd", u"00 \"\" 1E x", u"", 0, {}, kStart, kEverywhere},
    {"CodeWithoutString", u"1E", u"", 0, {}, 0x1E, kEverywhere},
    {"EmptyStringSkipped", u"1E \"\" 2F x", u"x\r\n", 0, {}, 0x2F, kShown},
    {"StringsInARow", u"x y z", u"y\r\n", 0},
    {"ManyPairs", u"\001" u"1E end", u"\001end\r\n", 1, {}, 0x1E, kRedirected, 0, "",
     {u"1E a 77 b ", u"ab", 150}},

    // Strings.
    {"Apostrophes", u"07 ''Hi'' 07 ''' 07 ''''", u"\"Hi\"\"'\"\"\r\n", 0, {}, 0x07},
    // A double quote inside a token is an ordinary character, so an
    // apostrophe before it stays before it.
    {"QuotesInsideAToken", u"07 ab\"cd 07 ef\" 07 x", u"ab\"cdef\"x\r\n", 0, {}, 0x07},
    {"ApostropheBeforeQuote", u"07 x'\"y 07 b'\"", u"x'\"yb'\"\r\n", 0, {}, 0x07},
    {"SpacesKept", u"07 \"a b  c\" 07 \" \"", u"a b  c \r\n", 0, {}, 0x07},
    {"TabsInsideAParameter", u"07 a\tb 07 c", u"a\tbc\r\n", 0, {}, 0x07},
    {"SpacesAndTabsInQuotes", u"07 \" a\tb \"", u" a\tb \r\n", 0, {}, 0x07},
    {"NonAscii", u"07 \"Grüße, ça va? Ελληνικά 日本語 😀\"",
     u"Grüße, ça va? Ελληνικά 日本語 😀\r\n", 0, {}, 0x07},
    {"NonAsciiOnTheConsole", u"2E Grüße 07 ça", u"Grüßeça\r\n", 0, {{0x2E, 5}, {0x07, 2}},
     0x07, kShown},
    {"TrailingBackslash", u"07 C:\\dir\\ 07 x", u"C:\\dir\\x\r\n", 0, {}, 0x07},
    {"BackslashBeforeClosingQuote", u"07 \"C:\\my dir\\\" 07 x", u"C:\\my dir\\x\r\n", 0, {}, 0x07},
    {"LongString", u"07 \001 1E y", u"\001y\r\n", 0, {{0x07, 30000}}, 0x1E, kRedirected, 0, "",
     {u"x", u"x", 30000}},

    // Lines that only an exact command line can hold.
    {"QuotedTab", u"07 \"c\td\"", u"c\td\r\n", 0, {}, 0x07, kRedirected, 0,
     "an argument list quotes no tab"},
    {"QuotedCode", u"\"1E\" x", u"x\r\n", 0, {}, 0x1E, kShown, 0,
     "an argument list quotes no code"},
    {"QuotedThenPlain", u"07 \"ab\"cd 07 x", u"ab07\r\n", 0, {{0x07, 2}}, 0xCD, kRedirected, 0,
     "an argument list never joins two tokens"},
    {"FourQuotes", u"07 \"\"\"\" 07 x", u"07\r\n", 0, {}, 0x07, kRedirected, 0,
     "an argument list never joins two tokens"},
    {"UnclosedQuote", u"07 \"abc def", u"abc def\r\n", 0, {}, 0x07, kRedirected, 0,
     "an argument list closes every quote"},
    {"RunsOfSpaces", u"07   a   07  b   ", u"ab\r\n", 0, {}, 0x07, kRedirected, 0,
     "an argument list has single spaces"},
    {"ProgramPathWithSpaces", u"07 x", u"x\r\n", 0, {}, 0x07, kRedirected, 0,
     "the native build runs from its build folder", {}, true},
    {"LongestCommandLine", u"07 \001", u"\001\r\n", 0, {}, 0x07, kToPipe, 0,
     "the limit is CreateProcessW's", {u"x", u"x", kFillLongestLine}},
    {"OverlongCommandLine", u"07 \001", u"", kRefused, {}, kStart, kToPipe, 0,
     "the limit is CreateProcessW's", {u"x", u"x", kFillOverlongLine}},

    // Ctrl+Break, while a write blocks: the system's own handler ends the run.
    {"CtrlBreakWhileWriting", u"07 \001", u"", kControlExit, {}, kStart, kToUnreadPipe, 0,
     "console control events are Windows's", {u"x", u"x", 30000}},
};
// clang-format on

// Appends a text to the units at *count, the piece in place of the repeat
// mark repeat times, and ends them with a zero; false when they do not fit.
inline bool AppendExpanded(char16_t* units, int* count, const char16_t* text, const char16_t* piece,
                           int repeat) {
  for (; *text != 0; ++text) {
    for (int i = 0; i < (*text == kRepeatMark ? repeat : 1); ++i) {
      for (const char16_t* from = *text == kRepeatMark ? piece : text; *from != 0; ++from) {
        if (*count == kCaseUnits - 1) return false;
        units[(*count)++] = *from;
        if (*text != kRepeatMark) break;
      }
    }
  }
  units[*count] = 0;
  return true;
}

// Builds a case's command line, after its program's path in double quotes
// when one is given, and the text expected of it, in kCaseUnits each; fills
// the line to its length when the case asks. It allocates nothing, for the
// acceptance program has no C runtime.
inline bool ExpandCase(const WindowsCase& c, const char16_t* program, char16_t* line,
                       int* lineUnits, char16_t* text, int* textUnits) {
  *lineUnits = 0;
  *textUnits = 0;
  if (program != nullptr) {
    AppendExpanded(line, lineUnits, u"\"", u"", 0);
    AppendExpanded(line, lineUnits, program, u"", 0);
    AppendExpanded(line, lineUnits, c.line[0] != 0 ? u"\" " : u"\"", u"", 0);
  }
  int count = c.repeat.count;
  if (count < 0) {
    // The filling piece is one unit.
    count = kLongestLine + (count == kFillOverlongLine) - *lineUnits;
    for (const char16_t* unit = c.line; *unit != 0; ++unit) count -= *unit != kRepeatMark;
  }
  return AppendExpanded(line, lineUnits, c.line, c.repeat.line, count) &&
         AppendExpanded(text, textUnits, c.text, c.repeat.text, count);
}

// Returns the attribute of a case's written unit (CR and LF not counted).
inline std::uint16_t CellAttribute(const WindowsCase& c, int unit) {
  for (const CellRun& run : c.cells) {
    if (run.units < 0 || unit < run.units) return run.attribute;
    unit -= run.units;
  }
  return c.attributeLeft;
}

}  // namespace huecast

#endif  // HUECAST_TESTS_WINDOWS_WINDOWS_CASES_H_
