// The POSIX stand-ins for the platform operations. The console is the
// terminal: a standard handle whose descriptor is a terminal counts as a
// console, shows attributes as ANSI colours and takes text as UTF-8. Files
// and pipes receive the raw bytes they are given, as on Windows.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <new>

#include "platform/platform.h"
#include "platform/posix/code_page.h"
#include "platform/posix/command_line.h"
#include "platform/posix/control_events.h"
#include "platform/posix/heap.h"
#include "platform/posix/posix_startup.h"
#include "platform/posix/terminal.h"
#include "platform/posix/wide_string.h"

namespace huecast {

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION));
static_assert(alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION));

constexpr int kCommandLineTooLong = 206;

// Signals that would end the process where Windows has a write fail: a pipe
// whose reader has gone (EPIPE) and a file past the size limit (EFBIG).
constexpr int kIgnoredSignals[] = {SIGPIPE, SIGXFSZ};

char16_t EmptyCommandLine[1];
char16_t* CommandLine = EmptyCommandLine;

// Whether the terminal is sent escape sequences, decided once at start-up.
bool TerminalColours = true;

// Whether a standard handle's descriptor is a terminal, as far as known.
enum class TerminalAnswer : std::uint8_t { kUnasked, kTerminal, kOther };
constexpr int kRememberedDescriptors = 3;
TerminalAnswer TerminalAnswers[kRememberedDescriptors];

// Heaps that the control-signal handler destroyed: free() is not safe there,
// and the signal ends the process next. Held here, their memory stays
// reachable until then rather than lost.
std::atomic<HANDLE> HeapsLeftToTheEnd[4];
static_assert(std::atomic<HANDLE>::is_always_lock_free);

// A handle is its descriptor plus one, so that no valid handle is null.
HANDLE HandleOf(int descriptor) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(descriptor) + 1);
}

int DescriptorOf(HANDLE handle) {
  const auto value = reinterpret_cast<std::intptr_t>(handle);
  if (value <= 0 || value > INT32_MAX) return -1;
  return static_cast<int>(value - 1);
}

// Tells whether a handle is a terminal. The kernel is asked once per
// standard handle and run: every write and colour change asks, and the
// answer holds until the handle is closed.
bool IsTerminal(HANDLE handle) {
  const int descriptor = DescriptorOf(handle);
  if (descriptor < 0) return false;
  if (descriptor >= kRememberedDescriptors) return isatty(descriptor) == 1;
  TerminalAnswer& known = TerminalAnswers[descriptor];
  if (known == TerminalAnswer::kUnasked) {
    known = isatty(descriptor) == 1 ? TerminalAnswer::kTerminal : TerminalAnswer::kOther;
  }
  return known == TerminalAnswer::kTerminal;
}

// Forgets what is known of the standard handles' descriptors.
void ForgetTerminalAnswers() {
  for (TerminalAnswer& known : TerminalAnswers) known = TerminalAnswer::kUnasked;
}

// Writes every byte, resuming after partial writes and interruptions, as a
// blocking Windows handle does. A descriptor that its opener left
// non-blocking is waited on rather than given up.
bool WriteAll(int descriptor, const char* bytes, std::size_t count, std::size_t* written) {
  std::size_t done = 0;
  bool ok = true;
  do {
    const ssize_t result = write(descriptor, bytes + done, count - done);
    if (result < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd ready = {.fd = descriptor, .events = POLLOUT, .revents = 0};
        if (poll(&ready, 1, -1) >= 0 || errno == EINTR) continue;
      }
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(result);
  } while (done < count);
  *written = done;
  return ok;
}

// Converts units to UTF-8 slice by slice and writes them to a terminal.
bool WriteUtf8(int descriptor, const char16_t* units, std::size_t count) {
  constexpr std::size_t kSliceUnits = 1024;
  char bytes[kSliceUnits * 3];
  std::size_t at = 0;
  do {
    const std::size_t slice = count - at < kSliceUnits ? count - at : kSliceUnits;
    std::size_t consumed = 0;
    const std::size_t length = EncodeUtf8(units + at, slice, at + slice == count, bytes, &consumed);
    std::size_t written = 0;
    if (!WriteAll(descriptor, bytes, length, &written)) return false;
    at += consumed;
  } while (at < count);
  return true;
}

}  // namespace

void PosixStartup(int argc, const char* const* argv) {
  for (const int signalNumber : kIgnoredSignals) signal(signalNumber, SIG_IGN);
  TerminalColours = ShowsColours(getenv("NO_COLOR"), getenv("TERM"));
  const BuiltCommandLine line = BuildCommandLine(argc, argv);
  if (line.units == nullptr) return;  // the command line reads as empty
  if (line.parameterUnits > kCommandLineLimit) {
    // The scan of the parameters is quadratic by design; the Windows limit
    // keeps it bounded. The message spells the limit's own value, so that
    // the two cannot disagree.
    char message[96];
    const int length = std::snprintf(
        message, sizeof message,
        "huecast: the command line is too long (more than %zu UTF-16 units)\n", kCommandLineLimit);
    std::size_t written = 0;
    WriteAll(STDERR_FILENO, message, static_cast<std::size_t>(length), &written);
    _exit(kCommandLineTooLong);
  }
  CommandLine = line.units;
}

HANDLE GetStdHandle(DWORD standardHandle) {
  int descriptor;
  switch (standardHandle) {
    case STD_INPUT_HANDLE:
      descriptor = STDIN_FILENO;
      break;
    case STD_OUTPUT_HANDLE:
      descriptor = STDOUT_FILENO;
      break;
    case STD_ERROR_HANDLE:
      descriptor = STDERR_FILENO;
      break;
    default:
      return INVALID_HANDLE_VALUE;
  }
  if (fcntl(descriptor, F_GETFD) == -1) return INVALID_HANDLE_VALUE;
  return HandleOf(descriptor);
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
  if (!IsTerminal(console) || info == nullptr) return FALSE;
  winsize size{};
  std::int16_t columns = 80;
  std::int16_t rows = 25;
  if (ioctl(DescriptorOf(console), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
    columns = static_cast<std::int16_t>(size.ws_col > INT16_MAX ? INT16_MAX : size.ws_col);
    rows = static_cast<std::int16_t>(size.ws_row > INT16_MAX ? INT16_MAX : size.ws_row);
  }
  *info = CONSOLE_SCREEN_BUFFER_INFO{
      .dwSize = {columns, rows},
      .dwCursorPosition = {0, 0},
      .wAttributes = kDefaultAttribute,
      .srWindow = {0, 0, static_cast<std::int16_t>(columns - 1),
                   static_cast<std::int16_t>(rows - 1)},
      .dwMaximumWindowSize = {columns, rows},
  };
  return TRUE;
}

BOOL SetConsoleTextAttribute(HANDLE console, WORD attributes) {
  if (!IsTerminal(console)) return FALSE;
  if (!TerminalColours) return TRUE;  // set, as far as the caller can tell, but not shown
  char sequence[kSgrBufferSize];
  const std::size_t length = AttributeToSgr(attributes, sequence);
  std::size_t written = 0;
  return WriteAll(DescriptorOf(console), sequence, length, &written) ? TRUE : FALSE;
}

BOOL WriteConsoleW(HANDLE console, const void* buffer, DWORD count, DWORD* written,
                   void* /*reserved*/) {
  if (!IsTerminal(console)) return FALSE;
  const bool ok = WriteUtf8(DescriptorOf(console), static_cast<const char16_t*>(buffer), count);
  if (written != nullptr) *written = ok ? count : 0;
  return ok ? TRUE : FALSE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written, void* /*overlapped*/) {
  const int descriptor = DescriptorOf(file);
  std::size_t done = 0;
  const bool ok =
      descriptor >= 0 && WriteAll(descriptor, static_cast<const char*>(buffer), bytes, &done);
  if (written != nullptr) *written = static_cast<DWORD>(done);
  return ok ? TRUE : FALSE;
}

// Every write has reached the system already, so there is nothing to push
// out; what is left is to tell whether the handle is usable.
BOOL FlushFileBuffers(HANDLE file) {
  const int descriptor = DescriptorOf(file);
  return descriptor >= 0 && fcntl(descriptor, F_GETFD) != -1 ? TRUE : FALSE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add) {
  return RegisterControlRoutine(routine, add);
}

BOOL SetConsoleTitleW(const char16_t* title) {
  const HANDLE output = HandleOf(STDOUT_FILENO);
  if (title == nullptr || !IsTerminal(output)) return FALSE;
  if (!TerminalColours) return TRUE;  // no escape sequence at all
  const int descriptor = DescriptorOf(output);
  std::size_t written = 0;
  return WriteAll(descriptor, "\x1b]0;", 4, &written) &&
                 WriteUtf8(descriptor, title, crt::wcslen(title)) &&
                 WriteAll(descriptor, "\x07", 1, &written)
             ? TRUE
             : FALSE;
}

BOOL AllocConsole() {
  return TRUE;
}

BOOL FreeConsole() {
  return TRUE;
}

char16_t* GetCommandLineW() {
  return CommandLine;
}

void ExitProcess(UINT exitCode) {
  _exit(static_cast<int>(exitCode & 0xFF));
}

HANDLE HeapCreate(DWORD /*options*/, SIZE_T /*initialSize*/, SIZE_T /*maximumSize*/) {
  return PosixHeapCreate();
}

void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  return PosixHeapAlloc(heap, flags, bytes);
}

void* HeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes) {
  return PosixHeapReAlloc(heap, flags, block, bytes);
}

BOOL HeapFree(HANDLE heap, DWORD /*flags*/, void* block) {
  return PosixHeapFree(heap, block);
}

BOOL HeapDestroy(HANDLE heap) {
  if (heap == nullptr || !HandlingControlSignal()) return PosixHeapDestroy(heap);
  // free() could break into the allocator that the signal interrupted.
  for (std::atomic<HANDLE>& slot : HeapsLeftToTheEnd) {
    HANDLE empty = nullptr;
    if (slot.compare_exchange_strong(empty, heap)) break;
  }
  return TRUE;
}

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, const char* bytes, int byteCount,
                        char16_t* units, int unitCount) {
  return PosixMultiByteToWideChar(codePage, bytes, byteCount, units, unitCount);
}

void InitializeCriticalSection(CRITICAL_SECTION* lock) {
  pthread_mutex_init(new (lock->opaque) pthread_mutex_t, nullptr);
}

void DeleteCriticalSection(CRITICAL_SECTION* lock) {
  pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(lock->opaque));
}

BOOL CloseHandle(HANDLE object) {
  const int descriptor = DescriptorOf(object);
  // The descriptor's number may name another file after this.
  if (descriptor >= 0 && descriptor < kRememberedDescriptors) {
    TerminalAnswers[descriptor] = TerminalAnswer::kUnasked;
  }
  return descriptor >= 0 && close(descriptor) == 0 ? TRUE : FALSE;
}

// The command line and the terminal's colour choice are PosixStartup's,
// made before the program's entry; they stay for every run. The control
// routines start again from none, and the terminals are asked again.
void ZeroPlatformRecords() {
  ZeroControlRecord();
  ForgetTerminalAnswers();
}

char16_t* crt::_wcsdup(const char16_t* text) {
  return PosixDuplicateText(text);
}

}  // namespace huecast
