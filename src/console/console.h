// The console: standard handles, the control-event hook, UTF-16 output with
// a raw fallback for redirected output, whole lines, and the text attribute
// that holds the colours.
#ifndef HUECAST_CONSOLE_CONSOLE_H_
#define HUECAST_CONSOLE_CONSOLE_H_

#include <cstdint>

#include "platform/platform.h"

namespace huecast {

struct ConsoleStateRecord {
  HANDLE inputHandle;                     // standard input; stored only
  HANDLE outputHandle;                    // standard output: all writes, flushes, colours
  CONSOLE_SCREEN_BUFFER_INFO screenInfo;  // read at start-up; wAttributes holds the
                                          // attribute applied last
  HANDLE errorHandle;                     // standard error; stored only
  CRITICAL_SECTION firstLock;             // initialised at start-up, deleted at shutdown
  CRITICAL_SECTION secondLock;            // initialised at start-up, never deleted
};

extern ConsoleStateRecord ConsoleState;

// 1 for a console-subsystem build, where the system provides the console;
// 0 would make start-up create one and shutdown release it.
constexpr std::int32_t ConsoleProgram = 1;

// Takes the standard handles, reads the screen-buffer information and hooks
// the control events; sets the title when one is given. Returns 1.
std::int64_t ConsoleStartup(const char16_t* title);
std::int64_t ConsoleStartup();
// Deletes the first lock; everything else stays as it is.
void ConsoleShutdown();
// Runs the end routine for the close event; passes every event on.
BOOL OnConsoleControl(DWORD controlType);
// Writes count units through the console, or as raw UTF-16LE bytes when the
// output is not a console. Returns nonzero when either way succeeded.
BOOL WriteConsoleText(const char16_t* text, DWORD count);
// Writes a text without line end or flush. Returns nonzero on success;
// null writes nothing and counts as success.
std::int64_t PrintText(const char16_t* text);
// Writes a text and CR LF in one write, then flushes. Returns nonzero when
// the line was delivered, 0 when it was not (no buffer, or the write failed).
std::int64_t PrintLine(const char16_t* text);
// Applies background * 16 + foreground as the text attribute; colours of 16
// or more change nothing.
void SetConsoleColors(std::int32_t foreground, std::int32_t background);

using OutputRoutine = std::int64_t (*)(const char16_t* text);

// The routines through which the driver prints, by entry.
constexpr std::int32_t kPrintLine = 0;  // the help screen; the line end after the strings
constexpr std::int32_t kPrintText = 1;  // each string of a code/string pair

constexpr OutputRoutine OutputRoutines[2] = {PrintLine, PrintText};

}  // namespace huecast

#endif  // HUECAST_CONSOLE_CONSOLE_H_
