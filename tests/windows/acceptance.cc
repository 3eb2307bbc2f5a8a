// HuecastTests.exe: checks Huecast.exe as Windows runs it. Every case of the
// Windows table is started with CreateProcessW and its exact command line,
// with standard output on a pipe, a file, NUL, a console screen buffer of its
// own or a handle that cannot be written; the bytes, the cells and the exit
// code are compared with the table. It needs nothing but KERNEL32 and msvcrt,
// and, like Huecast.exe, no C or C++ runtime start-up: it starts at its own
// entry, reads its own command line and formats its own lines.
//
// Usage: HuecastTests.exe <path of Huecast.exe> [report file]
// One line for each failed expectation, then "N passed, N failed"; exit 0
// only when nothing failed. Every run has a deadline, and a call of the
// harness that fails fails its run: nothing passes unchecked.
//
// Two variables of the environment serve the project's own tests of the
// harness: HUECAST_TESTS_ONLY names the one case to run, and
// HUECAST_TESTS_PLANT names a call of the harness that is to fail
// ("CreatePipe", or "reopen" for the read-back of the output file).
#include <windows.h>

#include <stdarg.h>

#include "windows/windows_cases.h"

namespace huecast {
namespace {

// A run that has not ended by then has hung; the slowest takes about 1 s.
constexpr DWORD kRunMilliseconds = 30000;
// How long a child that TerminateProcess ended may take to be gone.
constexpr DWORD kEndMilliseconds = 10000;
// How long a run blocked on its pipe gets to end after CTRL_BREAK_EVENT.
constexpr DWORD kBreakMilliseconds = 5000;
// Room for the bytes of a pipe: more than any case writes.
constexpr DWORD kPipeRoom = 256 * 1024;
// The pipe of the Ctrl+Break row holds far less than its case writes.
constexpr DWORD kSmallPipe = 4096;
// Each screen buffer's fixed settings: wide and tall enough that no case
// wraps or scrolls by accident, and the output mode of a plain console.
constexpr SHORT kColumns = 80;
constexpr SHORT kRows = 50;
constexpr DWORD kConsoleMode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
// The cells of the harness's own console, from its cursor on, that a run
// without a usable handle must leave alone.
constexpr DWORD kOwnCells = 64;

// Where one run's standard output goes, and how its bytes come back.
struct Sink {
  HANDLE output;
  HANDLE reader;  // the pipe's read end, or null
};

struct Place {
  CaseOutputs output;
  const char* name;
  bool (*open)(Sink* sink);
};

// What a run without a usable handle must not change in the harness's console.
struct ConsoleView {
  CONSOLE_SCREEN_BUFFER_INFO info;
  wchar_t characters[kOwnCells];
  WORD attributes[kOwnCells];
};

struct HarnessRecord {
  wchar_t exe[MAX_PATH];        // Huecast.exe as given, made absolute
  wchar_t spacedExe[MAX_PATH];  // a copy in a folder whose name has a space
  wchar_t spacedFolder[MAX_PATH];
  wchar_t folder[MAX_PATH];  // the harness's own folder of files
  wchar_t outputPath[MAX_PATH];
  HANDLE report;
  HANDLE console;  // the harness's own console: its active screen buffer
  char only[64];
  char plant[32];
  bool planted;  // the failure being reported was planted
  bool underWine;
  int passed;
  int failed;
  const WindowsCase* runCase;  // the run being checked, and its failed expectations
  const Place* runPlace;
  int runFailures;
};

// The run being checked: its command line, expected text and what came back.
struct RunRecord {
  char16_t line[kCaseUnits];
  char16_t text[kCaseUnits];
  int lineUnits;
  int textUnits;
  char bytes[kPipeRoom];
  DWORD byteCount;  // all bytes read, even those past the room
  char overflow[65536];
  wchar_t commandLine[kCaseUnits];  // the harness's own arguments, split
};

// Both records are made at start-up: in the image, their zeros would take
// their size in the file.
HarnessRecord* Harness;
RunRecord* Current;

// --- lines of the report -------------------------------------------------

// The room of one line. It is built as UTF-16: a console is given it as it
// is, the report file and a redirected output get it as UTF-8.
constexpr int kLineUnits = 1024;

struct LineBuffer {
  wchar_t* at;
  wchar_t* end;
};

void Put(LineBuffer* line, wchar_t c) {
  if (line->at < line->end) *line->at++ = c;
}

// Puts a text of the harness's own, which is ASCII.
void PutText(LineBuffer* line, const char* text) {
  while (*text != 0) Put(line, static_cast<unsigned char>(*text++));
}

void PutWide(LineBuffer* line, const wchar_t* text) {
  while (*text != 0) Put(line, *text++);
}

void PutUnsigned(LineBuffer* line, unsigned long long value, unsigned base, int width, char pad) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = "0123456789ABCDEF"[value % base];
    value /= base;
  } while (value != 0);
  for (; width > count; --width) Put(line, pad);
  while (count > 0) Put(line, digits[--count]);
}

// Formats printf's %s, %ls, %d, %u and %X, with l or z and a width padded
// with spaces or zeros, and %%; the harness hands no argument list to the
// C runtime.
void Format(LineBuffer* line, const char* format, va_list arguments) {
  for (; *format != 0; ++format) {
    if (*format != '%') {
      Put(line, *format);
      continue;
    }
    ++format;
    const char pad = *format == '0' ? '0' : ' ';
    int width = 0;
    for (; *format >= '0' && *format <= '9'; ++format) width = width * 10 + (*format - '0');
    const char size = *format == 'l' || *format == 'z' ? *format++ : 0;
    switch (*format) {
      case 's':
        if (size == 'l') {
          PutWide(line, va_arg(arguments, const wchar_t*));
        } else {
          PutText(line, va_arg(arguments, const char*));
        }
        break;
      case 'd': {
        const long long value = size == 'l'   ? va_arg(arguments, long)
                                : size == 'z' ? va_arg(arguments, long long)
                                              : va_arg(arguments, int);
        if (value < 0) Put(line, '-');
        PutUnsigned(line, value < 0 ? 0ull - value : value, 10, width, pad);
        break;
      }
      case 'u':
      case 'X': {
        const unsigned long long value = size == 'l'   ? va_arg(arguments, unsigned long)
                                         : size == 'z' ? va_arg(arguments, unsigned long long)
                                                       : va_arg(arguments, unsigned);
        PutUnsigned(line, value, *format == 'u' ? 10 : 16, width, pad);
        break;
      }
      case 0:
        return;
      default:
        Put(line, *format);
    }
  }
}

// Writes one line to standard output and to the report file, each at once,
// so that a reader sees the lines as they come. A console is given the
// units themselves: it would read bytes in its own code page, which is not
// UTF-8. A lone surrogate becomes U+FFFD in the UTF-8.
void WriteLine(LineBuffer* line, wchar_t* start) {
  line->end += 2;  // the room kept for the line end
  Put(line, L'\r');
  Put(line, L'\n');
  const int units = static_cast<int>(line->at - start);
  char bytes[3 * kLineUnits];
  const DWORD count = static_cast<DWORD>(
      WideCharToMultiByte(CP_UTF8, 0, start, units, bytes, sizeof bytes, nullptr, nullptr));
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(output, &mode)) {
    WriteConsoleW(output, start, static_cast<DWORD>(units), &written, nullptr);
  } else {
    WriteFile(output, bytes, count, &written, nullptr);
  }
  if (Harness->report != INVALID_HANDLE_VALUE && Harness->report != nullptr) {
    WriteFile(Harness->report, bytes, count, &written, nullptr);
  }
}

[[gnu::format(printf, 1, 2)]] void Say(const char* format, ...) {
  wchar_t text[kLineUnits];
  LineBuffer line = {text, text + kLineUnits - 2};
  va_list arguments;
  va_start(arguments, format);
  Format(&line, format, arguments);
  va_end(arguments);
  WriteLine(&line, text);
}

// Records a failed expectation of the run being checked, naming its case
// and place.
[[gnu::format(printf, 2, 3)]] void Expect(bool met, const char* format, ...) {
  if (met) return;
  wchar_t text[kLineUnits];
  LineBuffer line = {text, text + kLineUnits - 2};
  PutText(&line, "FAIL ");
  PutText(&line, Harness->runCase->name);
  PutText(&line, ", ");
  PutText(&line, Harness->runPlace->name);
  PutText(&line, ": ");
  va_list arguments;
  va_start(arguments, format);
  Format(&line, format, arguments);
  va_end(arguments);
  WriteLine(&line, text);
  ++Harness->runFailures;
}

// --- calls of the harness, each checked --------------------------------------

bool SameText(const char* a, const char* b) {
  while (*a != 0 && *a == *b) ++a, ++b;
  return *a == *b;
}

// Tells whether this call is to fail, as HUECAST_TESTS_PLANT asks; it then
// fails as the system would, with an error of its own.
bool Planted(const char* call) {
  if (!SameText(Harness->plant, call)) return false;
  Harness->planted = true;
  SetLastError(ERROR_GEN_FAILURE);
  return true;
}

// Checks a call that makes a place or reads one back: a failure fails the
// run, naming the call and its error.
bool Made(bool succeeded, const char* call) {
  const DWORD error = GetLastError();
  Expect(succeeded, "the harness's %s failed with error %lu%s", call, error,
         Harness->planted ? " (planted)" : "");
  Harness->planted = false;
  return succeeded;
}

// Appends a wide text to a path; false when it does not fit.
bool Append(wchar_t* path, const wchar_t* text) {
  int at = 0;
  while (path[at] != 0) ++at;
  for (; *text != 0; ++text) {
    if (at == MAX_PATH - 1) return false;
    path[at++] = *text;
  }
  path[at] = 0;
  return true;
}

// Returns an inheritable handle to a file of the harness, or to a device.
HANDLE OpenFile(const wchar_t* path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Makes a file sink, or fails the run naming CreateFileW.
bool OpenSink(Sink* sink, const wchar_t* path, DWORD access, DWORD disposition) {
  sink->output = OpenFile(path, access, disposition);
  return Made(sink->output != INVALID_HANDLE_VALUE, "CreateFileW");
}

// A pipe whose write end the child inherits and whose read end it does not.
bool MakePipe(Sink* sink, DWORD size) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  if (!Made(!Planted("CreatePipe") && CreatePipe(&sink->reader, &sink->output, &inherit, size),
            "CreatePipe")) {
    return false;
  }
  return Made(SetHandleInformation(sink->reader, HANDLE_FLAG_INHERIT, 0), "SetHandleInformation");
}

// The places a case's output goes, each made afresh for one run.
bool PipeSink(Sink* sink) {
  return MakePipe(sink, 0);
}
bool FileSink(Sink* sink) {
  return OpenSink(sink, Harness->outputPath, GENERIC_WRITE, CREATE_ALWAYS);
}
bool NulSink(Sink* sink) {
  return OpenSink(sink, L"NUL", GENERIC_WRITE, OPEN_EXISTING);
}
bool BrokenPipeSink(Sink* sink) {
  if (!MakePipe(sink, 0)) return false;
  const bool closed = CloseHandle(sink->reader);
  sink->reader = nullptr;
  return Made(closed, "CloseHandle");
}
bool ReadOnlySink(Sink* sink) {
  return OpenSink(sink, Harness->outputPath, GENERIC_READ, CREATE_ALWAYS);
}
bool InvalidSink(Sink* sink) {
  sink->output = INVALID_HANDLE_VALUE;
  return true;
}
bool NoHandleSink(Sink*) {
  return true;
}
// Wine maps drive Z: onto the Unix root, where /dev/full refuses every write
// as a full disk would; Windows has no such device.
bool FullDeviceSink(Sink* sink) {
  return OpenSink(sink, L"Z:\\dev\\full", GENERIC_WRITE, OPEN_EXISTING);
}
bool UnreadPipeSink(Sink* sink) {
  return MakePipe(sink, kSmallPipe);
}

// A screen buffer of a fixed size and output mode, filled with spaces in the
// start attribute, cursor home. The window shrinks first: a buffer may not
// be smaller than its window, whatever the host's defaults.
bool ConsoleSink(Sink* sink) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  sink->output =
      CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CONSOLE_TEXTMODE_BUFFER, nullptr);
  if (!Made(sink->output != INVALID_HANDLE_VALUE, "CreateConsoleScreenBuffer")) return false;
  const HANDLE buffer = sink->output;
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (!Made(GetConsoleScreenBufferInfo(buffer, &info), "GetConsoleScreenBufferInfo")) return false;
  const SHORT width = info.srWindow.Right - info.srWindow.Left + 1;
  const SHORT height = info.srWindow.Bottom - info.srWindow.Top + 1;
  const SMALL_RECT window = {0, 0, static_cast<SHORT>((width < kColumns ? width : kColumns) - 1),
                             static_cast<SHORT>((height < kRows ? height : kRows) - 1)};
  const DWORD cells = static_cast<DWORD>(kColumns) * kRows;
  DWORD characters = 0;
  DWORD attributes = 0;
  return Made(SetConsoleWindowInfo(buffer, TRUE, &window), "SetConsoleWindowInfo") &&
         Made(SetConsoleScreenBufferSize(buffer, COORD{kColumns, kRows}),
              "SetConsoleScreenBufferSize") &&
         Made(SetConsoleMode(buffer, kConsoleMode), "SetConsoleMode") &&
         Made(FillConsoleOutputCharacterW(buffer, L' ', cells, COORD{0, 0}, &characters) &&
                  characters == cells,
              "FillConsoleOutputCharacterW") &&
         Made(FillConsoleOutputAttribute(buffer, kStart, cells, COORD{0, 0}, &attributes) &&
                  attributes == cells,
              "FillConsoleOutputAttribute") &&
         Made(SetConsoleTextAttribute(buffer, kStart), "SetConsoleTextAttribute") &&
         Made(SetConsoleCursorPosition(buffer, COORD{0, 0}), "SetConsoleCursorPosition");
}

constexpr Place kPlaces[] = {
    {kToPipe, "pipe", PipeSink},
    {kToFile, "file", FileSink},
    {kToNul, "NUL", NulSink},
    {kToConsole, "console", ConsoleSink},
    {kToBrokenPipe, "pipe without reader", BrokenPipeSink},
    {kToReadOnly, "handle without write access", ReadOnlySink},
    {kToInvalid, "invalid handle", InvalidSink},
    {kToNoHandle, "no handle", NoHandleSink},
    {kToFullDevice, "full device", FullDeviceSink},
    {kToUnreadPipe, "pipe nobody reads", UnreadPipeSink},
};

// Tells whether the table runs a case in a place on Windows or under Wine.
bool Runs(const WindowsCase& c, const Place& place, bool underWine) {
  if ((c.outputs & place.output) == 0) return false;
  if (place.output == kToFullDevice) return underWine;
  return true;
}

// Counts the runs that the table makes and counts: on Windows every one,
// under Wine all but the overlong line and Ctrl+Break, which Wine cannot give.
int CountedRuns(bool underWine) {
  int runs = 0;
  for (const WindowsCase& c : kWindowsCases) {
    for (const Place& place : kPlaces) {
      const bool uncounted = c.exitCode == kRefused || place.output == kToUnreadPipe;
      runs += Runs(c, place, underWine) && !(underWine && uncounted);
    }
  }
  return runs;
}

// --- one run -----------------------------------------------------------------

// Builds the whole command line, the quoted program path first, and the
// output expected of it.
bool Prepare(const WindowsCase& c) {
  const wchar_t* exe = c.pathWithSpaces ? Harness->spacedExe : Harness->exe;
  return ExpandCase(c, reinterpret_cast<const char16_t*>(exe), Current->line, &Current->lineUnits,
                    Current->text, &Current->textUnits);
}

// Reads the harness's own console: its cursor, its attribute and the cells
// from a place on, by default its cursor.
bool ViewConsole(ConsoleView* view, const COORD* from) {
  DWORD got = 0;
  if (!Made(GetConsoleScreenBufferInfo(Harness->console, &view->info),
            "GetConsoleScreenBufferInfo")) {
    return false;
  }
  const COORD at = from != nullptr ? *from : view->info.dwCursorPosition;
  return Made(ReadConsoleOutputCharacterW(Harness->console, view->characters, kOwnCells, at, &got),
              "ReadConsoleOutputCharacterW") &&
         Made(ReadConsoleOutputAttribute(Harness->console, view->attributes, kOwnCells, at, &got),
              "ReadConsoleOutputAttribute");
}

// Fails the run if the harness's console changed: the child was given its
// handle in place of the missing one.
void ExpectConsoleKept(const ConsoleView& before) {
  ConsoleView after = {};
  if (!ViewConsole(&after, &before.info.dwCursorPosition)) return;
  bool cellsKept = true;
  for (DWORD i = 0; i < kOwnCells; ++i) {
    cellsKept = cellsKept && after.characters[i] == before.characters[i] &&
                after.attributes[i] == before.attributes[i];
  }
  Expect(after.info.dwCursorPosition.X == before.info.dwCursorPosition.X &&
             after.info.dwCursorPosition.Y == before.info.dwCursorPosition.Y &&
             after.info.wAttributes == before.info.wAttributes && cellsKept,
         "the harness's own console changed: cursor %d,%d to %d,%d, attribute %02X to %02X, "
         "cells %s",
         before.info.dwCursorPosition.X, before.info.dwCursorPosition.Y,
         after.info.dwCursorPosition.X, after.info.dwCursorPosition.Y, before.info.wAttributes,
         after.info.wAttributes, cellsKept ? "kept" : "changed");
}

// Takes what the pipe holds without waiting for more, and never past the
// deadline: a writer that never stops must not keep the harness here.
// False once the pipe has ended: its writer gone and nothing left, or a read
// failed.
bool Drain(HANDLE reader, ULONGLONG deadline) {
  RunRecord& run = *Current;
  while (GetTickCount64() < deadline) {
    DWORD available = 0;
    if (!PeekNamedPipe(reader, nullptr, 0, nullptr, &available, nullptr)) {
      return GetLastError() == ERROR_BROKEN_PIPE ? false : Made(false, "PeekNamedPipe");
    }
    if (available == 0) return true;
    const bool room = run.byteCount < kPipeRoom;
    char* into = room ? run.bytes + run.byteCount : run.overflow;
    DWORD size = room ? kPipeRoom - run.byteCount : sizeof run.overflow;
    size = available < size ? available : size;
    DWORD got = 0;
    if (!Made(ReadFile(reader, into, size, &got, nullptr), "ReadFile")) return false;
    run.byteCount += got;
  }
  return true;
}

// Ends a child that overstayed, and waits a few seconds until it is gone. A
// child that cannot be ended fails its run and is left behind, so that the
// rest of the table still runs.
void EndChild(HANDLE process) {
  if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return;
  if (!TerminateProcess(process, ERROR_TIMEOUT)) {
    Expect(false, "the harness's TerminateProcess failed with error %lu", GetLastError());
    return;
  }
  Expect(WaitForSingleObject(process, kEndMilliseconds) == WAIT_OBJECT_0,
         "did not end within %lu s of TerminateProcess", kEndMilliseconds / 1000);
}

// Waits for the child to end, reading its pipe as it goes: a line on a pipe
// is flushed, and the flush waits until the line has been read.
bool Await(HANDLE process, HANDLE reader) {
  const ULONGLONG deadline = GetTickCount64() + kRunMilliseconds;
  bool open = reader != nullptr;
  for (;;) {
    const bool ended = WaitForSingleObject(process, open ? 5 : 100) == WAIT_OBJECT_0;
    if (open) open = Drain(reader, deadline);
    if (ended && !open) return true;
    if (GetTickCount64() >= deadline) {
      EndChild(process);
      Expect(false, "did not end within %lu s", kRunMilliseconds / 1000);
      return false;
    }
  }
}

// Waits until the child is blocked writing into the pipe that nobody reads,
// sends it CTRL_BREAK_EVENT and waits for it to end. Wine cannot send the
// event (error 6); the run is then named and not counted.
bool BreakChild(HANDLE process, DWORD id, HANDLE reader, bool* counted) {
  const ULONGLONG deadline = GetTickCount64() + kRunMilliseconds;
  DWORD available = 0;
  while (available == 0 && GetTickCount64() < deadline &&
         WaitForSingleObject(process, 5) == WAIT_TIMEOUT) {
    if (!Made(PeekNamedPipe(reader, nullptr, 0, nullptr, &available, nullptr), "PeekNamedPipe")) {
      EndChild(process);
      return false;
    }
  }
  if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, id)) {
    const DWORD error = GetLastError();
    if (Harness->underWine && error == ERROR_INVALID_HANDLE) {
      Say("note: %s: Wine cannot send CTRL_BREAK_EVENT (error 6), which Windows sends; not "
          "counted here",
          Harness->runCase->name);
      *counted = false;
    } else {
      Expect(false, "the harness's GenerateConsoleCtrlEvent failed with error %lu", error);
    }
    EndChild(process);
    return false;
  }
  if (WaitForSingleObject(process, kBreakMilliseconds) == WAIT_OBJECT_0) return true;
  EndChild(process);
  Expect(false, "did not end within %lu s of CTRL_BREAK_EVENT", kBreakMilliseconds / 1000);
  return false;
}

// Starts Huecast.exe on the sink and waits for it, never past the run's
// deadline; returns whether it started and ended, with its exit code or
// CreateProcessW's error. A start that fails with error 1359 (an internal
// error) is the harness's fault, not the program's: it is named and tried
// once more.
bool Run(const Place& place, Sink* sink, DWORD* result, bool* started, bool* counted) {
  const bool watched = place.output == kToInvalid || place.output == kToNoHandle;
  const bool breaking = place.output == kToUnreadPipe;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = sink->output;
  PROCESS_INFORMATION process = {};
  ConsoleView before = {};
  for (int attempt = 0; attempt < 2 && !*started; ++attempt) {
    if (watched && !ViewConsole(&before, nullptr)) return false;
    *started = CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(Current->line), nullptr, nullptr,
                              TRUE, breaking ? CREATE_NEW_PROCESS_GROUP : 0, nullptr, nullptr,
                              &startup, &process);
    *result = *started ? 0 : GetLastError();
    if (*result != ERROR_INTERNAL_ERROR) break;
    Say("harness: CreateProcessW failed with 1359 for %s; trying once more",
        Harness->runCase->name);
  }
  // Our copy of the pipe's write end goes, so that the reader sees its end.
  if (sink->reader != nullptr) {
    const bool closed = CloseHandle(sink->output);
    sink->output = nullptr;
    if (!Made(closed, "CloseHandle") && *started) {
      EndChild(process.hProcess);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      *started = false;
    }
  }
  if (!*started) return false;
  bool ended = breaking ? BreakChild(process.hProcess, process.dwProcessId, sink->reader, counted)
                        : Await(process.hProcess, sink->reader);
  if (ended) ended = Made(GetExitCodeProcess(process.hProcess, result), "GetExitCodeProcess");
  if (ended && watched) ExpectConsoleKept(before);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ended;
}

// Compares the bytes a run wrote with the expected text as UTF-16LE.
void ExpectBytes(const char* got, DWORD count) {
  const char* expected = reinterpret_cast<const char*>(Current->text);
  const DWORD expectedCount = Current->textUnits * 2;
  DWORD at = 0;
  while (at < count && at < expectedCount && at < kPipeRoom && got[at] == expected[at]) ++at;
  Expect(count == expectedCount && at == count,
         "%lu bytes, expected %lu; they differ from byte %lu", count, expectedCount, at);
}

// Reads the output file back: it must hold the text, or nothing.
void ExpectFile(bool written) {
  const HANDLE file = Planted("reopen")
                          ? INVALID_HANDLE_VALUE
                          : OpenFile(Harness->outputPath, GENERIC_READ, OPEN_EXISTING);
  if (!Made(file != INVALID_HANDLE_VALUE, "CreateFileW (the re-open)")) return;
  RunRecord& run = *Current;
  DWORD got = 0;
  run.byteCount = 0;
  while (Made(ReadFile(file, run.bytes + run.byteCount, kPipeRoom - run.byteCount, &got, nullptr),
              "ReadFile") &&
         got > 0 && run.byteCount < kPipeRoom) {
    run.byteCount += got;
  }
  CloseHandle(file);
  if (!written) run.textUnits = 0;
  ExpectBytes(run.bytes, run.byteCount);
}

// Reads the screen buffer back: its size and mode, every written cell's
// character and attribute, the cell after the text untouched, the cursor
// after the line end, and the attribute left in force.
void ExpectCells(const WindowsCase& c, HANDLE buffer) {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  DWORD mode = 0;
  if (!Made(GetConsoleScreenBufferInfo(buffer, &info), "GetConsoleScreenBufferInfo") ||
      !Made(GetConsoleMode(buffer, &mode), "GetConsoleMode")) {
    return;
  }
  Expect(info.dwSize.X == kColumns && info.dwSize.Y == kRows && mode == kConsoleMode,
         "the buffer is %dx%d in mode %lX, expected %dx%d in mode %lX", info.dwSize.X,
         info.dwSize.Y, mode, kColumns, kRows, kConsoleMode);
  const char16_t* text = Current->text;
  COORD at = {0, 0};
  int unit = 0;
  for (int i = 0; i <= Current->textUnits; ++i) {
    const char16_t expected = i < Current->textUnits ? text[i] : u' ';
    if (expected == u'\r' || expected == u'\n') {
      at = expected == u'\r' ? COORD{0, at.Y} : COORD{at.X, static_cast<SHORT>(at.Y + 1)};
      continue;
    }
    const WORD attribute = i < Current->textUnits ? CellAttribute(c, unit++) : kStart;
    wchar_t gotCharacter = 0;
    WORD gotAttribute = 0;
    DWORD got = 0;
    if (!Made(ReadConsoleOutputCharacterW(buffer, &gotCharacter, 1, at, &got) && got == 1,
              "ReadConsoleOutputCharacterW") ||
        !Made(ReadConsoleOutputAttribute(buffer, &gotAttribute, 1, at, &got) && got == 1,
              "ReadConsoleOutputAttribute")) {
      return;
    }
    Expect(gotCharacter == expected && gotAttribute == attribute,
           "cell %d,%d holds U+%04X in %02X, expected U+%04X in %02X", at.X, at.Y, gotCharacter,
           gotAttribute, expected, attribute);
    if (i == Current->textUnits) break;
    if (++at.X == kColumns) at = COORD{0, static_cast<SHORT>(at.Y + 1)};
  }
  Expect(info.dwCursorPosition.X == at.X && info.dwCursorPosition.Y == at.Y,
         "cursor at %d,%d, expected %d,%d", info.dwCursorPosition.X, info.dwCursorPosition.Y, at.X,
         at.Y);
  Expect(info.wAttributes == c.attributeLeft, "attribute %02X left, expected %02X",
         info.wAttributes, c.attributeLeft);
}

// Tells whether an exit code is an NTSTATUS error: a crash, or the end that
// the system's handler gives a control event.
bool IsStatus(DWORD code) {
  return (code & 0xF0000000) == 0xC0000000;
}

// Checks the exit code; an NTSTATUS is named in hex, as Windows names it.
void ExpectExit(DWORD result, int expected) {
  const DWORD want = static_cast<DWORD>(expected);
  if (result == want) return;
  Expect(false,
         IsStatus(result)
             ? (IsStatus(want) ? "ended by exception %08lX, expected %08lX"
                               : "ended by exception %08lX, expected exit %lu")
             : (IsStatus(want) ? "exit %lu, expected %08lX" : "exit %lu, expected %lu"),
         result, want);
}

void CloseOwn(HANDLE handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

// Runs a case with its output in one place and checks what the place got.
// A place the harness cannot make, or cannot read back, fails the run.
void CheckPlace(const WindowsCase& c, const Place& place) {
  Harness->runCase = &c;
  Harness->runPlace = &place;
  Harness->runFailures = 0;
  Current->byteCount = 0;
  bool counted = true;
  Sink sink = {nullptr, nullptr};
  bool started = false;
  if (Made(Prepare(c), "Prepare (the line is too long)") && place.open(&sink)) {
    DWORD result = 0;
    const bool ended = Run(place, &sink, &result, &started, &counted);
    if (c.exitCode == kRefused && started && Harness->underWine) {
      Say("note: %s: Wine started a command line of %d units with its zero, which Windows "
          "refuses; not counted here",
          c.name, Current->lineUnits + 1);
      counted = false;
    } else if (c.exitCode == kRefused) {
      Expect(!started && result == ERROR_FILENAME_EXCED_RANGE,
             "CreateProcessW %s a line of %d units with its zero (error %lu), expected error 206",
             started ? "started" : "refused", Current->lineUnits + 1, started ? 0 : result);
    } else if (!started) {
      Expect(Harness->runFailures > 0, "CreateProcessW failed with error %lu", result);
    } else if (ended) {
      ExpectExit(result, (place.output & kWriteFailures) ? c.failureExit : c.exitCode);
      if (place.output == kToPipe) ExpectBytes(Current->bytes, Current->byteCount);
      if (place.output == kToConsole) ExpectCells(c, sink.output);
    }
  }
  // A place that was only half made is closed too: its handles are
  // inheritable, and every later run would get them.
  CloseOwn(sink.output);
  CloseOwn(sink.reader);
  if (started && (place.output == kToFile || place.output == kToReadOnly)) {
    ExpectFile(place.output == kToFile);
  }
  if (!counted && Harness->runFailures == 0) return;
  ++(Harness->runFailures == 0 ? Harness->passed : Harness->failed);
}

// --- the harness's folder ----------------------------------------------------

// Makes the harness's folder, with a copy of Huecast.exe in "my dir", and
// opens the report file and the harness's own console.
bool Start(const wchar_t* exe, const wchar_t* report) {
  HarnessRecord& h = *Harness;
  const DWORD full = GetFullPathNameW(exe, MAX_PATH, h.exe, nullptr);
  if (full == 0 || full >= MAX_PATH || GetFileAttributesW(h.exe) == INVALID_FILE_ATTRIBUTES) {
    Say("cannot find %ls", exe);
    return false;
  }
  wchar_t id[16] = {};
  int digits = 0;
  for (DWORD left = GetCurrentProcessId(); left != 0 || digits == 0; left /= 10) ++digits;
  for (DWORD left = GetCurrentProcessId(), at = digits; at > 0; left /= 10) {
    id[--at] = static_cast<wchar_t>(L'0' + left % 10);
  }
  const DWORD temporary = GetTempPathW(MAX_PATH, h.folder);
  if (temporary == 0 || temporary >= MAX_PATH || !Append(h.folder, L"HuecastTests-") ||
      !Append(h.folder, id) || !Append(h.spacedFolder, h.folder) ||
      !Append(h.spacedFolder, L"\\my dir") || !Append(h.spacedExe, h.spacedFolder) ||
      !Append(h.spacedExe, L"\\Huecast.exe") || !Append(h.outputPath, h.folder) ||
      !Append(h.outputPath, L"\\output")) {
    Say("the temporary folder's name is too long");
    return false;
  }
  CreateDirectoryW(h.folder, nullptr);
  CreateDirectoryW(h.spacedFolder, nullptr);
  if (!CopyFileW(h.exe, h.spacedExe, FALSE)) {
    Say("cannot copy %ls to %ls: error %lu", h.exe, h.spacedExe, GetLastError());
    return false;
  }
  if (report != nullptr) {
    h.report = CreateFileW(report, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h.report == INVALID_HANDLE_VALUE) {
      Say("cannot create %ls: error %lu", report, GetLastError());
      return false;
    }
  }
  h.console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h.console == INVALID_HANDLE_VALUE) {
    Say("cannot open the console (CONOUT$): error %lu", GetLastError());
    return false;
  }
  GetEnvironmentVariableA("HUECAST_TESTS_ONLY", h.only, sizeof h.only);
  GetEnvironmentVariableA("HUECAST_TESTS_PLANT", h.plant, sizeof h.plant);
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  h.underWine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  return true;
}

// Removes the harness's folder.
void Finish() {
  DeleteFileW(Harness->spacedExe);
  DeleteFileW(Harness->outputPath);
  RemoveDirectoryW(Harness->spacedFolder);
  RemoveDirectoryW(Harness->folder);
}

}  // namespace

// Splits the command line as the C runtime would: blanks separate, double
// quotes group, and backslashes count only before a double quote (2n give n
// and the quote groups, 2n+1 give n and a quote). Returns the count.
int SplitCommandLine(const wchar_t* line, wchar_t* units, wchar_t** arguments, int most) {
  int count = 0;
  for (;;) {
    while (*line == L' ' || *line == L'\t') ++line;
    if (*line == 0 || count == most) return count;
    arguments[count++] = units;
    bool quoted = false;
    while (*line != 0 && (quoted || (*line != L' ' && *line != L'\t'))) {
      int backslashes = 0;
      for (; *line == L'\\'; ++line) ++backslashes;
      if (*line == L'"') {
        for (int i = 0; i < backslashes / 2; ++i) *units++ = L'\\';
        if (backslashes % 2 == 1) *units++ = L'"';
        quoted = backslashes % 2 == 1 ? quoted : !quoted;
        ++line;
      } else if (backslashes > 0) {
        for (int i = 0; i < backslashes; ++i) *units++ = L'\\';
      } else {
        *units++ = *line++;
      }
    }
    *units++ = 0;
  }
}

// Runs the whole table against the Huecast.exe named first; returns the
// process's exit code.
int RunAcceptance(int count, const wchar_t* const* arguments) {
  // A crash of a child ends it at once, with no dialog that would keep it
  // and its pipe alive; children inherit the mode.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  // A program started without a console (a service) makes its own, for the
  // screen buffers; with one already there this does nothing.
  AllocConsole();
  if (count < 2 || count > 3) {
    Say("usage: HuecastTests.exe <path of Huecast.exe> [report file]");
    return 2;
  }
  if (!Start(arguments[1], count == 3 ? arguments[2] : nullptr)) return 2;
  Say("HuecastTests.exe: %ls; the table makes %d runs on Windows, %d counted under Wine%s",
      Harness->exe, CountedRuns(false), CountedRuns(true), Harness->underWine ? " (here)" : "");
  for (const WindowsCase& c : kWindowsCases) {
    if (Harness->only[0] != 0 && !SameText(Harness->only, c.name)) continue;
    for (const Place& place : kPlaces) {
      if (Runs(c, place, Harness->underWine)) CheckPlace(c, place);
    }
  }
  Finish();
  Say("%d passed, %d failed", Harness->passed, Harness->failed);
  return Harness->failed == 0 ? 0 : 1;
}

}  // namespace huecast

// The process entry: the loader calls it directly (the link names it), so
// nothing of a C runtime runs before it. It ends the process itself.
extern "C" [[noreturn]] void HuecastTestsStart() {
  using namespace huecast;
  struct Records {
    HarnessRecord harness;
    RunRecord run;
  };
  Records* records = static_cast<Records*>(
      VirtualAlloc(nullptr, sizeof(Records), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  if (records == nullptr) ExitProcess(2);
  Harness = &records->harness;
  Current = &records->run;
  wchar_t* arguments[4] = {};
  const int count = SplitCommandLine(GetCommandLineW(), Current->commandLine, arguments, 4);
  ExitProcess(static_cast<UINT>(RunAcceptance(count, arguments)));
}
