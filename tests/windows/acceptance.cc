// HuecastTests.exe: checks Huecast.exe as Windows runs it. Every case of the
// Windows table is started with CreateProcessW and its exact command line,
// with standard output on a pipe, a file, NUL, a console screen buffer of its
// own or a handle that cannot be written; the bytes, the cells and the exit
// code are compared with the table. It needs nothing but KERNEL32 and msvcrt.
//
// Usage: HuecastTests.exe <path of Huecast.exe> [report file]
// One line for each failed expectation, then "N passed, N failed"; exit 0
// only when nothing failed.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "windows/windows_cases.h"

namespace huecast {
namespace {

struct HarnessRecord {
  std::u16string exe;        // Huecast.exe as given, made absolute
  std::u16string spacedExe;  // a copy in a folder whose name has a space
  std::u16string folder;     // the harness's own folder of files
  HANDLE report = INVALID_HANDLE_VALUE;
  bool underWine;
  int passed;
  int failed;
  int runFailures;  // failed expectations of the run being checked
};

HarnessRecord Harness;

// Where one run's standard output goes, and how its bytes come back.
struct Sink {
  HANDLE output;
  HANDLE reader;  // the pipe's read end, or null
};

struct Place {
  CaseOutputs output;
  const char* name;
  Sink (*open)();
};

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// Writes one line to standard output and to the report file.
void Say(const char* format, ...) {
  char line[1024];
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(line, sizeof line - 2, format, arguments);
  va_end(arguments);
  length = length < 0 ? 0 : length > 1021 ? 1021 : length;  // cut, room for the line end
  line[length++] = '\r';
  line[length++] = '\n';
  const DWORD bytes = length;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, bytes, &written, nullptr);
  if (Harness.report != INVALID_HANDLE_VALUE)
    WriteFile(Harness.report, line, bytes, &written, nullptr);
}

// Records one expectation of the run being checked; a failed one is named.
template <typename... Values>
void Expect(bool met, const WindowsCase& c, const Place& place, const char* what,
            Values... values) {
  if (met) return;
  char detail[512];
  std::snprintf(detail, sizeof detail, what, values...);
  Say("FAIL %s, %s: %s", c.name, place.name, detail);
  ++Harness.runFailures;
}

// Returns an inheritable handle to a file of the harness, or to a device.
HANDLE OpenFile(const std::u16string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(Wide(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Reads a whole file, or a pipe to its end.
std::string ReadAll(HANDLE from) {
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

std::u16string OutputPath() {
  return Harness.folder + u"\\output";
}

// The places a case's output goes, each made afresh for one run.
Sink PipeSink() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  Sink sink = {};
  CreatePipe(&sink.reader, &sink.output, &inherit, 0);
  SetHandleInformation(sink.reader, HANDLE_FLAG_INHERIT, 0);
  return sink;
}
Sink FileSink() {
  return {OpenFile(OutputPath(), GENERIC_WRITE, CREATE_ALWAYS), nullptr};
}
Sink NulSink() {
  return {OpenFile(u"NUL", GENERIC_WRITE, OPEN_EXISTING), nullptr};
}
Sink BrokenPipeSink() {
  Sink sink = PipeSink();
  CloseHandle(sink.reader);
  return {sink.output, nullptr};
}
Sink ReadOnlySink() {
  return {OpenFile(OutputPath(), GENERIC_READ, CREATE_ALWAYS), nullptr};
}
Sink InvalidSink() {
  return {INVALID_HANDLE_VALUE, nullptr};
}
Sink NoHandleSink() {
  return {nullptr, nullptr};
}
// Wine maps drive Z: onto the Unix root, where /dev/full refuses every write
// as a full disk would; Windows has no such device.
Sink FullDeviceSink() {
  return {OpenFile(u"Z:\\dev\\full", GENERIC_WRITE, OPEN_EXISTING), nullptr};
}
// A screen buffer filled with spaces in the start attribute, cursor home.
Sink ConsoleSink() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE buffer =
      CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CONSOLE_TEXTMODE_BUFFER, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  GetConsoleScreenBufferInfo(buffer, &info);
  DWORD done = 0;
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) * info.dwSize.Y;
  FillConsoleOutputCharacterW(buffer, L' ', cells, COORD{0, 0}, &done);
  FillConsoleOutputAttribute(buffer, kStart, cells, COORD{0, 0}, &done);
  SetConsoleTextAttribute(buffer, kStart);
  SetConsoleCursorPosition(buffer, COORD{0, 0});
  return {buffer, nullptr};
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
};

// Builds the whole command line, the quoted program path first, and the
// output expected of it; fills the line to a length when the case asks.
void Prepare(const WindowsCase& c, std::u16string* line, std::u16string* text) {
  *line = u"\"" + (c.pathWithSpaces ? Harness.spacedExe : Harness.exe) + u"\"";
  if (c.line[0] != 0) *line += u" ";
  int count = c.repeat.count;
  if (count < 0) {
    const std::size_t fixed = line->size() + ExpandRepeat(c.line, u"", 0).size();
    count = static_cast<int>(kLongestLine + (count == kFillOverlongLine) - fixed);
  }
  *line += ExpandRepeat(c.line, c.repeat.line, count);
  *text = ExpandRepeat(c.text, c.repeat.text, count);
}

// Starts Huecast.exe on the sink and waits for it; returns whether it
// started, with its exit code or CreateProcessW's error. A start that fails
// with error 1359 (an internal error) is the harness's fault, not the
// program's: it is named and tried once more.
bool Run(const WindowsCase& c, std::u16string line, const Sink& sink, DWORD* result,
         std::string* bytes) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = sink.output;
  PROCESS_INFORMATION process = {};
  bool started = false;
  for (int attempt = 0; attempt < 2 && !started; ++attempt) {
    started = CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr,
                             TRUE, 0, nullptr, nullptr, &startup, &process);
    *result = started ? 0 : GetLastError();
    if (*result != ERROR_INTERNAL_ERROR) break;
    Say("harness: CreateProcessW failed with 1359 for %s; trying once more", c.name);
  }
  // Our copy of the pipe's write end goes, so that the reader sees its end.
  if (sink.reader != nullptr) CloseHandle(sink.output);
  if (!started) return false;
  if (sink.reader != nullptr) *bytes = ReadAll(sink.reader);
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 9999);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  GetExitCodeProcess(process.hProcess, result);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Compares the bytes a run wrote with the expected text as UTF-16LE.
void ExpectBytes(const WindowsCase& c, const Place& place, const std::string& got,
                 const std::u16string& text) {
  const std::string expected(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  std::size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  Expect(got == expected, c, place, "%zu bytes, expected %zu; they differ from byte %zu",
         got.size(), expected.size(), at);
}

// Returns the attribute the table gives to the written unit of this number.
std::uint16_t CellAttribute(const WindowsCase& c, int unit) {
  for (const CellRun& run : c.cells) {
    if (run.units < 0 || unit < run.units) return run.attribute;
    unit -= run.units;
  }
  return 0xFFFF;  // more units written than the table names: none matches
}

// Reads the screen buffer back: every written cell's character and
// attribute, the cell after the text untouched, the cursor after the line
// end, and the attribute left in force.
void ExpectCells(const WindowsCase& c, const Place& place, HANDLE buffer,
                 const std::u16string& text) {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  GetConsoleScreenBufferInfo(buffer, &info);
  COORD at = {0, 0};
  int unit = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char16_t expected = i < text.size() ? text[i] : u' ';
    if (expected == u'\r' || expected == u'\n') {
      at = expected == u'\r' ? COORD{0, at.Y} : COORD{at.X, static_cast<SHORT>(at.Y + 1)};
      continue;
    }
    const WORD attribute = i < text.size() ? CellAttribute(c, unit++) : kStart;
    wchar_t gotCharacter = 0;
    WORD gotAttribute = 0;
    DWORD got = 0;
    ReadConsoleOutputCharacterW(buffer, &gotCharacter, 1, at, &got);
    ReadConsoleOutputAttribute(buffer, &gotAttribute, 1, at, &got);
    Expect(gotCharacter == expected && gotAttribute == attribute, c, place,
           "cell %d,%d holds U+%04X in %02X, expected U+%04X in %02X", at.X, at.Y, gotCharacter,
           gotAttribute, expected, attribute);
    if (i == text.size()) break;
    if (++at.X == info.dwSize.X) at = COORD{0, static_cast<SHORT>(at.Y + 1)};
  }
  Expect(info.dwCursorPosition.X == at.X && info.dwCursorPosition.Y == at.Y, c, place,
         "cursor at %d,%d, expected %d,%d", info.dwCursorPosition.X, info.dwCursorPosition.Y, at.X,
         at.Y);
  Expect(info.wAttributes == c.attributeLeft, c, place, "attribute %02X left, expected %02X",
         info.wAttributes, c.attributeLeft);
}

// Runs a case with its output in one place and checks what the place got.
void CheckPlace(const WindowsCase& c, const Place& place) {
  std::u16string line, text;
  Prepare(c, &line, &text);
  const Sink sink = place.open();
  // A place that could not be made would pass every write-failure case.
  if (sink.output == INVALID_HANDLE_VALUE && place.output != kToInvalid) {
    Expect(false, c, place, "the harness cannot make this output: error %lu", GetLastError());
    ++Harness.failed;
    Harness.runFailures = 0;
    return;
  }
  DWORD result = 0;
  std::string bytes;
  const bool started = Run(c, line, sink, &result, &bytes);
  if (c.exitCode == kRefused && started && Harness.underWine) {
    Say("note: %s: Wine started a command line of %zu units with its zero, which Windows "
        "refuses; not counted here",
        c.name, line.size() + 1);
  } else if (c.exitCode == kRefused) {
    Expect(!started, c, place, "CreateProcessW started a line of %zu units with its zero",
           line.size() + 1);
  } else if (!started) {
    Expect(false, c, place, "CreateProcessW failed with error %lu", result);
  } else {
    const int expected = (place.output & kWriteFailures) ? c.failureExit : c.exitCode;
    Expect(static_cast<int>(result) == expected, c, place, "exit %lu, expected %d", result,
           expected);
    if (place.output == kToPipe) ExpectBytes(c, place, bytes, text);
    if (place.output == kToConsole) ExpectCells(c, place, sink.output, text);
  }
  if (sink.reader != nullptr) CloseHandle(sink.reader);
  if (sink.reader == nullptr && sink.output != INVALID_HANDLE_VALUE && sink.output != nullptr) {
    CloseHandle(sink.output);
  }
  if (place.output == kToFile || place.output == kToReadOnly) {
    HANDLE file = OpenFile(OutputPath(), GENERIC_READ, OPEN_EXISTING);
    ExpectBytes(c, place, ReadAll(file), place.output == kToFile ? text : u"");
    CloseHandle(file);
  }
  if (c.exitCode == kRefused && started && Harness.underWine) return;
  ++(Harness.runFailures == 0 ? Harness.passed : Harness.failed);
  Harness.runFailures = 0;
}

// Makes the harness's folder, with a copy of Huecast.exe in "my dir".
bool Start(const wchar_t* exe, const wchar_t* report) {
  wchar_t full[MAX_PATH];
  wchar_t temporary[MAX_PATH];
  if (GetFullPathNameW(exe, MAX_PATH, full, nullptr) == 0 ||
      GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) {
    Say("cannot find %ls", exe);
    return false;
  }
  GetTempPathW(MAX_PATH, temporary);
  Harness.exe = reinterpret_cast<const char16_t*>(full);
  Harness.folder = reinterpret_cast<const char16_t*>(temporary);
  Harness.folder += u"HuecastTests-";
  for (DWORD id = GetCurrentProcessId(); id != 0; id /= 10) Harness.folder += u'0' + id % 10;
  Harness.spacedExe = Harness.folder + u"\\my dir\\Huecast.exe";
  CreateDirectoryW(Wide(Harness.folder), nullptr);
  CreateDirectoryW(Wide(Harness.folder + u"\\my dir"), nullptr);
  if (!CopyFileW(full, Wide(Harness.spacedExe), FALSE)) {
    Say("cannot copy %ls to %ls: error %lu", full, Wide(Harness.spacedExe), GetLastError());
    return false;
  }
  if (report != nullptr) {
    Harness.report = CreateFileW(report, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  Harness.underWine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  return true;
}

}  // namespace
}  // namespace huecast

// Runs the whole table against the Huecast.exe named first.
int wmain(int count, wchar_t** arguments) {
  using namespace huecast;
  // A program started without a console (a service or a CI step) makes its
  // own, for the screen buffers; with one already there this does nothing.
  AllocConsole();
  if (count < 2 || count > 3) {
    Say("usage: HuecastTests.exe <path of Huecast.exe> [report file]");
    return 2;
  }
  if (!Start(arguments[1], count == 3 ? arguments[2] : nullptr)) return 2;
  for (const WindowsCase& c : kWindowsCases) {
    for (const Place& place : kPlaces) {
      if ((c.outputs & place.output) == 0) continue;
      if (place.output == kToFullDevice && !Harness.underWine) continue;
      CheckPlace(c, place);
    }
  }
  for (const std::u16string& name : {Harness.spacedExe, OutputPath()}) DeleteFileW(Wide(name));
  RemoveDirectoryW(Wide(Harness.folder + u"\\my dir"));
  RemoveDirectoryW(Wide(Harness.folder));
  Say("%d passed, %d failed", Harness.passed, Harness.failed);
  return Harness.failed == 0 ? 0 : 1;
}
