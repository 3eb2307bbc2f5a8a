#include "driver/driver.h"

#include <atomic>

#include "console/console.h"
#include "memory/heap_calls.h"
#include "memory/memory_heap.h"
#include "memory/object_registry.h"
#include "params/parameters.h"
#include "text/text_operations.h"

namespace huecast {

HANDLE MainHeap;
std::int64_t Code;
std::int64_t Background;
std::int64_t Foreground;
std::int64_t ExitStatus;
std::int64_t PrintedCount;
std::int64_t ParamIndex;
StringVariable Argument;

namespace {

constexpr char16_t kBanner[] = u"Huecast 2.1 /x64 by Quillford:";

// The help text is 8-bit text; it follows the banner, whose line it ends.
constexpr char kHelpText[] =
    "\r\n"
    "Change console color & output \"string\"\r\n"
    "Syntax: \r\n"
    "    Huecast ColorCode [\"string\"] [ColorCode [\"string\"] ...]\r\n"
    "For color codes see: Color /?\r\n"
    "Strings in double quote marks; see Demo.cmd\r\n";

// Set by the first run of the end routines; later runs do nothing.
std::atomic<bool> EndRoutinesDone{false};

// Prints through an entry of the output table and notes lost text.
void Output(std::int32_t entry, const char16_t* text) {
  if (OutputRoutines[entry](text) == 0) ExitStatus |= kExitTextLost;
}

void ShowHelp() {
  const std::int32_t p = Position();
  PushText(kBanner);
  ConvertText(kHelpText, -1, kConvertAnsi, Position());
  Output(kPrintLine, TextAt(p));
  SetPosition(p);
  ExitStatus = kExitHelp;
}

// Decodes the code at ParamIndex: "$" and at most its first two characters,
// read as a hexadecimal number.
std::int64_t DecodeCode() {
  const std::int32_t p = Position();
  PushText(u"$");
  const std::int32_t q = Position();
  ParameterAt(static_cast<std::int32_t>(ParamIndex), q);
  LeftText(TextAt(q), 2, q);
  const std::int64_t code = ParseNumber(TextAt(p));
  SetPosition(p);
  return code;
}

void ApplyCode() {
  if (Code == 0) return;
  Background = Code >> 4;
  Foreground = Code & 15;
  if (Foreground == Background) {
    ExitStatus |= kExitSameColours;
    return;
  }
  SetConsoleColors(static_cast<std::int32_t>(Foreground), static_cast<std::int32_t>(Background));
}

// Fetches the string at ParamIndex into Argument.
void FetchString() {
  const std::int32_t p = Position();
  ParameterAt(static_cast<std::int32_t>(ParamIndex), p);
  AssignString(&Argument, p);
}

// Turns every two apostrophes in Argument into one double quote.
void ReplaceApostrophes() {
  const std::int32_t p = Position();
  ReplaceText(Argument, u"''", u"\"", p);
  AssignString(&Argument, p);
}

// Tells whether the pair just read ends the loop: a code of 0 with an empty
// string. A pair whose texts were cut short for want of memory may only read
// so; it ends the loop only when no parameter follows it.
bool PairEndsLoop(std::int64_t failuresBefore) {
  if (Code != 0 || TextEquals(Argument, u"") == 0) return false;
  if (StringWorkArea.failures == failuresBefore) return true;
  return ParamIndex >= CountParameters();
}

void RunPairs() {
  ParamIndex = 0;
  std::int64_t failuresBefore = 0;
  do {
    failuresBefore = StringWorkArea.failures;
    Code = DecodeCode();
    ++ParamIndex;
    ApplyCode();
    FetchString();
    ++ParamIndex;
    if (TextEquals(Argument, u"") == 0) {
      ReplaceApostrophes();
      Output(kPrintText, Argument);
      ++PrintedCount;
    }
  } while (!PairEndsLoop(failuresBefore));
  if (PrintedCount != 0) Output(kPrintLine, u"");
}

// Reads the first parameter into Argument: where the cursor stands, or, on
// a second try, from the first parameter, since a failed try has already
// moved the cursor on.
void ReadFirstParameter(bool again) {
  const std::int32_t p = Position();
  if (again) {
    ParameterAt(0, p);
  } else {
    NextParameter(p);
  }
  AssignString(&Argument, p);
}

void RunCommand() {
  const std::int64_t failuresBefore = StringWorkArea.failures;
  ReadFirstParameter(false);
  if (StringWorkArea.failures != failuresBefore) {
    // A first parameter that could not be read for want of memory must not
    // pass for an empty one, which would show the help screen instead of the
    // colours asked for. It is read once more; the failed try lost nothing.
    StringWorkArea.failures = failuresBefore;
    ReadFirstParameter(true);
  }
  // Without its text, a command line asks for help only when it has no
  // parameters at all, which counting them tells without memory.
  const bool helpRequested =
      StringWorkArea.failures == failuresBefore
          ? TextEquals(Argument, u"") != 0 || TextEquals(Argument, u"/?") != 0
          : CountParameters() <= 0;
  if (helpRequested) {
    ShowHelp();
    return;
  }
  RunPairs();
  // A text that could not be built in full was lost as surely as a failed write.
  if (StringWorkArea.failures != 0) ExitStatus |= kExitTextLost;
}

}  // namespace

void RunEndRoutines() {
  if (EndRoutinesDone.exchange(true)) return;
  MemoryHeapShutdown();
}

void ZeroProcessRecords() {
  MainHeap = nullptr;
  Code = 0;
  Background = 0;
  Foreground = 0;
  ExitStatus = 0;
  PrintedCount = 0;
  ParamIndex = 0;
  Argument = nullptr;
  EndRoutinesDone.store(false);
  StringWorkArea = StringWorkAreaRecord{};
  MemoryHeap = nullptr;
  ParameterCursor = nullptr;
  FallbackCursor = ParameterCursorBlock{};
  ProcessLock = CRITICAL_SECTION{};
  ProcessObjects = nullptr;
  ConsoleState = ConsoleStateRecord{};
  ZeroPlatformRecords();
}

void ProgramEntry() {
  ZeroProcessRecords();

  MainHeap = HeapCreate(0, 4096, 0);
  StringWorkAreaStartup();
  MemoryHeapStartup();
  ParameterSupportStartup();
  ConsoleStartup();

  RunCommand();

  ConsoleShutdown();
  const auto exitCode = static_cast<UINT>(ExitStatus);
  RunEndRoutines();
  StringWorkAreaShutdown();
  DestroyHeap(MainHeap);
  ExitProcess(exitCode);
}

}  // namespace huecast
