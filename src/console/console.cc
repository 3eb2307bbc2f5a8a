#include "console/console.h"

#include "driver/driver.h"
#include "memory/heap_calls.h"

namespace huecast {

ConsoleStateRecord ConsoleState;

std::int64_t ConsoleStartup(const char16_t* title) {
  ConsoleStateRecord& console = ConsoleState;
  if (ConsoleProgram == 0) AllocConsole();
  console.inputHandle = GetStdHandle(STD_INPUT_HANDLE);
  console.outputHandle = GetStdHandle(STD_OUTPUT_HANDLE);
  console.errorHandle = GetStdHandle(STD_ERROR_HANDLE);
  // Fails, leaving the record zero, when the output is not a console.
  GetConsoleScreenBufferInfo(console.outputHandle, &console.screenInfo);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  if (title != nullptr) SetConsoleTitleW(title);
  InitializeCriticalSection(&console.firstLock);
  InitializeCriticalSection(&console.secondLock);
  return 1;
}

std::int64_t ConsoleStartup() {
  return ConsoleStartup(nullptr);
}

void ConsoleShutdown() {
  if (ConsoleProgram == 0) FreeConsole();
  DeleteCriticalSection(&ConsoleState.firstLock);
}

BOOL OnConsoleControl(DWORD controlType) {
  if (controlType == CTRL_CLOSE_EVENT) RunEndRoutines();
  // Every event goes on to the next handler; the system's own, last in the
  // list, ends the process.
  return FALSE;
}

BOOL WriteConsoleText(const char16_t* text, DWORD count) {
  DWORD written = 0;
  const BOOL result = WriteConsoleW(ConsoleState.outputHandle, text, count, &written, nullptr);
  if (result != 0) return result;
  // Not a console (a file or a pipe): the same units as raw UTF-16LE bytes.
  return WriteFile(ConsoleState.outputHandle, text, 2 * count, &written, nullptr);
}

std::int64_t PrintText(const char16_t* text) {
  if (text == nullptr) return 1;
  return WriteConsoleText(text, static_cast<DWORD>(crt::wcslen(text)));
}

std::int64_t PrintLine(const char16_t* text) {
  const std::size_t length = text == nullptr ? 0 : crt::wcslen(text);
  auto* buffer =
      static_cast<char16_t*>(AllocateFromHeap(MainHeap, 0, (length + 3) * sizeof(char16_t)));
  if (buffer == nullptr) return 0;
  if (text != nullptr) crt::wcscpy(buffer, text);
  buffer[length] = u'\r';
  buffer[length + 1] = u'\n';
  buffer[length + 2] = 0;
  // Text and line end leave in one write.
  const BOOL written = WriteConsoleText(buffer, static_cast<DWORD>(length + 2));
  FlushFileBuffers(ConsoleState.outputHandle);
  const BOOL freed = FreeToHeap(MainHeap, 0, buffer);
  return written != 0 ? freed : 0;
}

void SetConsoleColors(std::int32_t foreground, std::int32_t background) {
  if (foreground >= 16 || background >= 16) return;
  const auto attribute = static_cast<WORD>(background * 16 + foreground);
  // Recorded also when the output is not a console.
  ConsoleState.screenInfo.wAttributes = attribute;
  SetConsoleTextAttribute(ConsoleState.outputHandle, attribute);
}

}  // namespace huecast
