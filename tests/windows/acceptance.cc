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

// One run of Huecast.exe.
struct Outcome {
  bool started;
  DWORD error;  // why CreateProcessW refused, when it did
  DWORD exitCode;
  std::string bytes;  // what arrived on a pipe or in a file
};

struct HarnessRecord {
  std::u16string exe;                    // Huecast.exe as given, made absolute
  std::u16string spacedExe;              // a copy in a folder whose name has a space
  std::u16string folder;                 // the harness's own folder of files
  HANDLE report = INVALID_HANDLE_VALUE;  // the report file, when one is named
  bool underWine;
  int passed;
  int failed;
  int runFailures;  // failed expectations of the run being checked
};

HarnessRecord Harness;

constexpr DWORD kRunMilliseconds = 60000;
constexpr DWORD kInternalError = 1359;  // ERROR_INTERNAL_ERROR

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
  if (length < 0) return;
  if (length > static_cast<int>(sizeof line) - 3) length = sizeof line - 3;
  line[length++] = '\r';
  line[length++] = '\n';
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, length, &written, nullptr);
  if (Harness.report != INVALID_HANDLE_VALUE)
    WriteFile(Harness.report, line, length, &written, nullptr);
}

// Records one expectation of the run being checked; a failed one is named.
void Expect(bool met, const WindowsCase& c, const char* output, const char* what, ...) {
  if (met) return;
  char detail[512];
  va_list arguments;
  va_start(arguments, what);
  std::vsnprintf(detail, sizeof detail, what, arguments);
  va_end(arguments);
  Say("FAIL %s, %s: %s", c.name, output, detail);
  ++Harness.runFailures;
}

// Counts the run that was checked as passed or failed.
void EndRun() {
  ++(Harness.runFailures == 0 ? Harness.passed : Harness.failed);
  Harness.runFailures = 0;
}

// Returns how often the repeated piece goes into the line: the table's
// count, or as many units as fill the line to the length asked for.
int RepeatCount(const WindowsCase& c, std::size_t lineWithout) {
  if (c.repeat.count >= 0) return c.repeat.count;
  const std::size_t target = kLongestLine + (c.repeat.count == kFillOverlongLine ? 1 : 0);
  return static_cast<int>((target - lineWithout) /
                          std::char_traits<char16_t>::length(c.repeat.line));
}

// Builds the whole command line: the quoted program path, then the case's.
std::u16string CommandLine(const WindowsCase& c, int* count) {
  std::u16string line = u"\"" + (c.pathWithSpaces ? Harness.spacedExe : Harness.exe) + u"\"";
  if (c.line[0] != 0) line += u" ";
  *count = RepeatCount(c, line.size() + ExpandRepeat(c.line, u"", 0).size());
  return line + ExpandRepeat(c.line, c.repeat.line, *count);
}

// Starts Huecast.exe with standard output on the handle and waits for it;
// reads the pipe to its end meanwhile when one is given. A start that fails
// with Wine's internal error is the harness's fault and is tried once more.
Outcome Run(std::u16string line, const char* name, HANDLE output, HANDLE pipe) {
  Outcome outcome = {};
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  PROCESS_INFORMATION process = {};
  for (int attempt = 0; attempt < 2 && !outcome.started; ++attempt) {
    outcome.started = CreateProcessW(nullptr, const_cast<wchar_t*>(Wide(line)), nullptr, nullptr,
                                     TRUE, 0, nullptr, nullptr, &startup, &process) != 0;
    outcome.error = outcome.started ? 0 : GetLastError();
    if (outcome.error != kInternalError) break;
    Say("harness: CreateProcessW failed with %lu for %s, not Huecast.exe; trying once more",
        outcome.error, name);
  }
  // Our copy of the pipe's write end goes, so that the reader sees its end.
  if (pipe != nullptr) CloseHandle(output);
  if (!outcome.started) return outcome;
  char buffer[65536];
  DWORD got = 0;
  while (pipe != nullptr && ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
    outcome.bytes.append(buffer, got);
  if (WaitForSingleObject(process.hProcess, kRunMilliseconds) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 9999);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  GetExitCodeProcess(process.hProcess, &outcome.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return outcome;
}

// Returns the attributes that make a new handle inheritable.
SECURITY_ATTRIBUTES Inheritable() {
  return {.nLength = sizeof(SECURITY_ATTRIBUTES),
          .lpSecurityDescriptor = nullptr,
          .bInheritHandle = TRUE};
}

// Returns the UTF-16LE bytes of a text.
std::string Bytes(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// Compares the bytes a run wrote with the expected ones.
void ExpectBytes(const WindowsCase& c, const char* output, const std::string& got,
                 const std::u16string& text) {
  const std::string expected = Bytes(text);
  std::size_t at = 0;
  while (at < got.size() && at < expected.size() && got[at] == expected[at]) ++at;
  Expect(got == expected, c, output, "%zu bytes, expected %zu; they differ from byte %zu",
         got.size(), expected.size(), at);
}

// Returns an inheritable handle to a new file of the harness, or to NUL.
HANDLE OpenFile(const std::u16string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit = Inheritable();
  return CreateFileW(Wide(path), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Reads a whole file of the harness.
std::string ReadWholeFile(const std::u16string& path) {
  std::string bytes;
  HANDLE file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

// Checks a case with output to a pipe, a file or NUL: bytes and exit code.
void CheckRedirected(const WindowsCase& c, CaseOutputs output, const std::u16string& line,
                     const std::u16string& text) {
  const char* name = output == kToPipe ? "pipe" : output == kToFile ? "file" : "NUL";
  const std::u16string path = Harness.folder + u"\\output";
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE reader = nullptr;
  if (output == kToPipe) {
    SECURITY_ATTRIBUTES inherit = Inheritable();
    CreatePipe(&reader, &handle, &inherit, 0);
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
  } else {
    handle = OpenFile(output == kToFile ? path : u"NUL", GENERIC_WRITE,
                      output == kToFile ? CREATE_ALWAYS : OPEN_EXISTING);
  }
  const Outcome outcome = Run(line, c.name, handle, reader);
  if (reader != nullptr) {
    CloseHandle(reader);
  } else {
    CloseHandle(handle);
  }
  if (c.exitCode == kRefused) {
    if (outcome.started && Harness.underWine) {
      Say("note: %s: Wine started a command line of %zu units, which Windows refuses; "
          "not counted here",
          c.name, line.size() + 1);
      return;
    }
    Expect(!outcome.started, c, name, "CreateProcessW started a line of %zu units with its zero",
           line.size() + 1);
    return EndRun();
  }
  Expect(outcome.started, c, name, "CreateProcessW failed with error %lu", outcome.error);
  if (outcome.started) {
    Expect(static_cast<int>(outcome.exitCode) == c.exitCode, c, name, "exit %lu, expected %d",
           outcome.exitCode, c.exitCode);
    if (output == kToPipe) ExpectBytes(c, name, outcome.bytes, text);
    if (output == kToFile) ExpectBytes(c, name, ReadWholeFile(path), text);
  }
  EndRun();
}

// Checks a case whose output cannot be written: the exit code alone.
void CheckWriteFailure(const WindowsCase& c, CaseOutputs output, const std::u16string& line) {
  const char* name = output == kToBrokenPipe ? "pipe without reader"
                     : output == kToReadOnly ? "handle without write access"
                                             : "invalid handle";
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (output == kToBrokenPipe) {
    SECURITY_ATTRIBUTES inherit = Inheritable();
    HANDLE reader = nullptr;
    CreatePipe(&reader, &handle, &inherit, 0);
    CloseHandle(reader);
  } else if (output == kToReadOnly) {
    handle = OpenFile(Harness.folder + u"\\read-only", GENERIC_READ, CREATE_ALWAYS);
  }
  const Outcome outcome = Run(line, c.name, handle, nullptr);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  Expect(outcome.started, c, name, "CreateProcessW failed with error %lu", outcome.error);
  Expect(!outcome.started || static_cast<int>(outcome.exitCode) == c.failureExit, c, name,
         "exit %lu, expected %d", outcome.exitCode, c.failureExit);
  if (output == kToReadOnly)
    Expect(ReadWholeFile(Harness.folder + u"\\read-only").empty(), c, name, "the file was written");
  EndRun();
}

// Returns the attribute the table gives to the written unit of this number.
std::uint16_t CellAttribute(const WindowsCase& c, int unit) {
  for (const CellRun& run : c.cells) {
    if (run.units < 0 || unit < run.units) return run.attribute;
    unit -= run.units;
  }
  return 0xFFFF;  // more units written than the table names: none matches
}

// Reads one cell of a screen buffer: its character and attribute.
void ReadCell(HANDLE buffer, COORD at, wchar_t* character, WORD* attribute) {
  DWORD got = 0;
  ReadConsoleOutputCharacterW(buffer, character, 1, at, &got);
  ReadConsoleOutputAttribute(buffer, attribute, 1, at, &got);
}

// Checks a case on a console screen buffer of its own: every written cell's
// character and attribute, the cursor after the line end, the cell after the
// text untouched, and the attribute left in force.
void CheckConsole(const WindowsCase& c, const std::u16string& line, const std::u16string& text) {
  const char* name = "console";
  SECURITY_ATTRIBUTES inherit = Inheritable();
  HANDLE buffer =
      CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CONSOLE_TEXTMODE_BUFFER, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (buffer == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(buffer, &info)) {
    Expect(false, c, name, "no screen buffer: error %lu", GetLastError());
    return EndRun();
  }
  DWORD done = 0;
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) * info.dwSize.Y;
  FillConsoleOutputCharacterW(buffer, L' ', cells, COORD{0, 0}, &done);
  FillConsoleOutputAttribute(buffer, kStartAttribute, cells, COORD{0, 0}, &done);
  SetConsoleTextAttribute(buffer, kStartAttribute);
  SetConsoleCursorPosition(buffer, COORD{0, 0});
  const Outcome outcome = Run(line, c.name, buffer, nullptr);
  Expect(outcome.started, c, name, "CreateProcessW failed with error %lu", outcome.error);
  Expect(!outcome.started || static_cast<int>(outcome.exitCode) == c.exitCode, c, name,
         "exit %lu, expected %d", outcome.exitCode, c.exitCode);
  COORD at = {0, 0};
  int unit = 0;
  for (char16_t expected : text) {
    if (expected == u'\r' || expected == u'\n') {
      at = expected == u'\r' ? COORD{0, at.Y} : COORD{at.X, static_cast<SHORT>(at.Y + 1)};
      continue;
    }
    wchar_t character = 0;
    WORD attribute = 0;
    ReadCell(buffer, at, &character, &attribute);
    Expect(character == expected && attribute == CellAttribute(c, unit), c, name,
           "cell %d,%d holds U+%04X in %02X, expected U+%04X in %02X", at.X, at.Y, character,
           attribute, expected, CellAttribute(c, unit));
    ++unit;
    if (++at.X == info.dwSize.X) at = COORD{0, static_cast<SHORT>(at.Y + 1)};
  }
  wchar_t character = 0;
  WORD attribute = 0;
  ReadCell(buffer, at, &character, &attribute);
  Expect(character == L' ' && attribute == kStartAttribute, c, name,
         "cell %d,%d after the text holds U+%04X in %02X", at.X, at.Y, character, attribute);
  GetConsoleScreenBufferInfo(buffer, &info);
  Expect(info.dwCursorPosition.X == at.X && info.dwCursorPosition.Y == at.Y, c, name,
         "cursor at %d,%d, expected %d,%d", info.dwCursorPosition.X, info.dwCursorPosition.Y, at.X,
         at.Y);
  Expect(info.wAttributes == c.attributeLeft, c, name, "attribute %02X left, expected %02X",
         info.wAttributes, c.attributeLeft);
  CloseHandle(buffer);
  EndRun();
}

// Runs one case in every place its outputs name.
void CheckCase(const WindowsCase& c) {
  int count = 0;
  const std::u16string line = CommandLine(c, &count);
  const std::u16string text = ExpandRepeat(c.text, c.repeat.text, count);
  for (CaseOutputs output : {kToPipe, kToFile, kToNul}) {
    if (c.outputs & output) CheckRedirected(c, output, line, text);
  }
  if (c.outputs & kToConsole) CheckConsole(c, line, text);
  for (CaseOutputs output : {kToBrokenPipe, kToReadOnly, kToInvalid}) {
    if (c.outputs & output) CheckWriteFailure(c, output, line);
  }
}

// Makes the harness's folder, with a copy of Huecast.exe in "my dir".
bool Prepare(const wchar_t* exe, const wchar_t* report) {
  wchar_t full[MAX_PATH];
  wchar_t temporary[MAX_PATH];
  if (GetFullPathNameW(exe, MAX_PATH, full, nullptr) == 0 ||
      GetFileAttributesW(full) == INVALID_FILE_ATTRIBUTES) {
    Say("cannot find %ls", exe);
    return false;
  }
  Harness.exe = reinterpret_cast<const char16_t*>(full);
  GetTempPathW(MAX_PATH, temporary);
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

// Removes the harness's folder and what it holds.
void CleanUp() {
  DeleteFileW(Wide(Harness.spacedExe));
  DeleteFileW(Wide(Harness.folder + u"\\output"));
  DeleteFileW(Wide(Harness.folder + u"\\read-only"));
  RemoveDirectoryW(Wide(Harness.folder + u"\\my dir"));
  RemoveDirectoryW(Wide(Harness.folder));
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
  if (!Prepare(arguments[1], count == 3 ? arguments[2] : nullptr)) return 2;
  for (const WindowsCase& c : kWindowsCases) CheckCase(c);
  CleanUp();
  Say("%d passed, %d failed", Harness.passed, Harness.failed);
  if (Harness.report != INVALID_HANDLE_VALUE) CloseHandle(Harness.report);
  return Harness.failed == 0 ? 0 : 1;
}
