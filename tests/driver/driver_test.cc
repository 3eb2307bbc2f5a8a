// The driver on the recording fake: every case of the Windows table that a
// started process ends by itself, with its exact command line; then some of
// them with one allocation, heap or write failing, each in turn, until a run
// needs no more; last, the start-up and shutdown order. Every faulted run
// must end, destroy every heap it created, and give an exit status that tells
// whether the delivered text is complete: bit 1 (value 2) exactly when text
// was lost, 255 for the help screen whatever happened.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "fake/fake_platform.h"
#include "text/string_work_area.h"
#include "windows/windows_cases.h"

namespace huecast {
namespace {

// What the fake's console shows: the text delivered, the attribute of each
// of its units but CR and LF, and the attribute left. The attribute in force
// before any code stands for the table's start attribute, which the program
// never reads.
struct Screen {
  std::u16string text;
  std::vector<std::uint16_t> cells;
  std::uint16_t attributeLeft = kStart;
};

// Reads the screen from the recorded calls; each attribute set takes four
// units of the transcript.
Screen ReadScreen() {
  Screen screen;
  std::size_t at = 0;
  for (const FakeCall& call : Fake.calls) {
    if (!call.succeeded) continue;
    if (call.kind == FakeCallKind::kSetAttribute) {
      screen.attributeLeft = static_cast<std::uint16_t>(call.value);
      at += 4;
    }
    std::size_t units = call.kind == FakeCallKind::kWriteConsole ? call.value
                        : call.kind == FakeCallKind::kWriteFile  ? call.value / 2
                                                                 : 0;
    for (; units > 0; --units, ++at) {
      screen.text += Fake.transcript[at];
      if (Fake.transcript[at] != u'\r' && Fake.transcript[at] != u'\n') {
        screen.cells.push_back(screen.attributeLeft);
      }
    }
  }
  return screen;
}

// A case's exact command line and the text it delivers.
struct CaseRun {
  std::u16string line;
  std::u16string text;
};

CaseRun Expand(const WindowsCase& c) {
  std::vector<char16_t> line(kCaseUnits);
  std::vector<char16_t> text(kCaseUnits);
  int lineCount = 0;
  int textCount = 0;
  EXPECT_TRUE(ExpandCase(c, c.pathWithSpaces ? u"C:\\Program Files\\Huecast.exe" : u"Huecast.exe",
                         line.data(), &lineCount, text.data(), &textCount));
  return {std::u16string(line.data(), lineCount), std::u16string(text.data(), textCount)};
}

std::vector<WindowsCase> FakeCases() {
  std::vector<WindowsCase> cases;
  for (const WindowsCase& c : kWindowsCases) {
    if (c.exitCode >= 0) cases.push_back(c);  // neither refused nor ended by an event
  }
  return cases;
}

class WindowsTable : public ::testing::TestWithParam<WindowsCase> {};

TEST_P(WindowsTable, OnTheFake) {
  const WindowsCase& c = GetParam();
  const auto [line, text] = Expand(c);
  std::vector<std::uint16_t> cells;
  for (const char16_t unit : text) {
    if (unit != u'\r' && unit != u'\n') {
      cells.push_back(CellAttribute(c, static_cast<int>(cells.size())));
    }
  }

  FakeReset(line);
  EXPECT_EQ(FakeRunProgram(), c.exitCode);
  const Screen screen = ReadScreen();
  EXPECT_EQ(screen.text, text);
  EXPECT_EQ(screen.cells, cells);
  EXPECT_EQ(screen.attributeLeft, c.attributeLeft);
  EXPECT_EQ(StringWorkArea.position, 0) << "a statement kept its room in the work area";
  // A line leaves in one write, then one flush.
  if (c.text == kHelpScreen) {
    EXPECT_EQ(FakeCount(FakeCallKind::kWriteConsole), 1);
  }
  EXPECT_EQ(FakeCount(FakeCallKind::kFlush), text.empty() ? 0 : 1);

  // With nothing writable every text is lost, which bit 1 tells, unless the
  // help screen's 255 does.
  FakeReset(line);
  Fake.outputIsValid = false;
  const int lostExit = c.exitCode == 255 || text.empty() ? c.exitCode : c.exitCode | 2;
  EXPECT_EQ(FakeRunProgram(), (c.outputs & kToInvalid) != 0 ? c.failureExit : lostExit);
  EXPECT_EQ(StringWorkArea.position, 0);
}

INSTANTIATE_TEST_SUITE_P(Driver, WindowsTable, ::testing::ValuesIn(FakeCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The rows whose runs are faulted: the help screen, codes among rejected
// ones, a string that grows the work area, apostrophes.
const char* const kFaultedRows[] = {"HelpWithoutParameters",
                                    "HelpRequestBeforePairs",
                                    "HelpForEmptyFirstParameter",
                                    "RejectedCodesAmongOthers",
                                    "LongString",
                                    "Apostrophes"};

const WindowsCase& Row(std::string_view name) {
  for (const WindowsCase& c : kWindowsCases) {
    if (c.name == name) return c;
  }
  ADD_FAILURE() << name << " is no row of the table";
  return kWindowsCases[0];
}

enum class Fault { kAllocation, kHeapCreate, kWrite };

struct Outcome {
  std::int64_t exitCode;
  std::u16string text;
  bool reached;  // the fault happened
};

// Runs the program once, with the n-th allocation or write failing (0: none).
Outcome RunOnce(const std::u16string& line, bool console, Fault fault, std::int64_t n) {
  FakeReset(line);
  Fake.outputIsConsole = console;
  if (fault == Fault::kAllocation) Fake.failAllocation = n;
  if (fault == Fault::kHeapCreate) Fake.failHeapCreate = n;
  if (fault == Fault::kWrite) Fake.failWrite = n;
  Outcome outcome;
  outcome.exitCode = FakeRunProgram();
  outcome.text = ReadScreen().text;
  const std::int64_t counted = fault == Fault::kAllocation   ? Fake.allocations
                               : fault == Fault::kHeapCreate ? Fake.heapCreations
                                                             : Fake.writes;
  outcome.reached = n != 0 && counted >= n;
  EXPECT_EQ(Fake.heapsCreated.size(), Fake.heapsDestroyed.size()) << "heaps left behind";
  return outcome;
}

struct Tally {
  std::int64_t points = 0;  // faulted runs that reached their fault
  std::int64_t lost = 0;    // of those, runs that lost text
};

// Fails each allocation or write in turn and checks every outcome against
// the unfaulted run.
Tally FailEachInTurn(const WindowsCase& c, bool console, Fault fault) {
  SCOPED_TRACE(c.name);
  const CaseRun run = Expand(c);
  const Outcome clean = RunOnce(run.line, console, fault, 0);
  EXPECT_EQ(clean.text, run.text);
  EXPECT_EQ(clean.exitCode, c.exitCode);
  Tally tally;
  for (std::int64_t n = 1; n < 1000; ++n) {
    SCOPED_TRACE(testing::Message() << "failing number " << n);
    const Outcome faulted = RunOnce(run.line, console, fault, n);
    if (!faulted.reached) {
      EXPECT_EQ(faulted.text, clean.text);
      EXPECT_EQ(faulted.exitCode, clean.exitCode);
      return tally;
    }
    ++tally.points;
    const bool complete = faulted.text == clean.text;
    tally.lost += complete ? 0 : 1;
    if (clean.exitCode == 255) {
      // Help, or, when no text can be had to tell that it was asked for,
      // nothing at all and lost text.
      const bool textless = fault != Fault::kWrite && faulted.text.empty();
      EXPECT_TRUE(faulted.exitCode == 255 || (textless && faulted.exitCode == 2))
          << faulted.exitCode;
    } else if (complete) {
      EXPECT_EQ(faulted.exitCode, clean.exitCode) << "complete text, yet an error status";
    } else {
      EXPECT_NE(faulted.exitCode & 2, 0) << "text lost without bit 1";
      // A code that could not be read is not known to be rejected, but no
      // code is ever rejected wrongly.
      if ((faulted.exitCode & 1) != 0) {
        EXPECT_NE(clean.exitCode & 1, 0) << "a code rejected wrongly";
      }
    }
  }
  ADD_FAILURE() << "the runs never stopped needing allocations or writes";
  return tally;
}

TEST(FaultInjectionTest, EachAllocationFailingInTurn) {
  for (const char* row : kFaultedRows) {
    const Tally tally = FailEachInTurn(Row(row), true, Fault::kAllocation);
    // Start-up alone makes three heaps and four blocks.
    EXPECT_GE(tally.points, 7) << row;
    // Some allocation, at the least the line buffer, carries text.
    EXPECT_GT(tally.lost, 0) << row;
  }
}

// MainHeap, StringHeap and MemoryHeap in turn: a heap that could not be
// made is never handed to a heap call (the fake aborts if it is), and only
// the heaps that carry text lose any.
TEST(FaultInjectionTest, EachHeapCreationFailingInTurn) {
  for (const char* row : kFaultedRows) {
    const Tally tally = FailEachInTurn(Row(row), true, Fault::kHeapCreate);
    EXPECT_EQ(tally.points, 3) << row;
    // MainHeap holds the line buffer and StringHeap every text; nothing
    // is allocated from MemoryHeap.
    EXPECT_EQ(tally.lost, 2) << row;
  }
}

// A string lost to memory reads as empty; with a code of 0 it must not pass
// for the end of the parameters and drop the pairs after it.
TEST(FaultInjectionTest, StringLostToMemoryDoesNotEndThePairs) {
  std::int64_t stringsLost = 0;
  for (std::int64_t n = 1; n < 1000; ++n) {
    const Outcome outcome = RunOnce(u"Huecast 00 x 1E y", true, Fault::kAllocation, n);
    if (!outcome.reached) break;
    // A heap that could not be made at all loses every text; here one
    // block is refused.
    if (Fake.heapsCreated.size() != 3 || outcome.text.find(u'x') != std::u16string::npos) {
      continue;
    }
    ++stringsLost;
    EXPECT_EQ(outcome.text, u"y\r\n") << "failing number " << n;
    EXPECT_EQ(outcome.exitCode, 2) << "failing number " << n;
  }
  EXPECT_GT(stringsLost, 0);
}

// A refused console write is delivered as raw bytes instead; redirected
// output has no second way, so every failed write loses text.
TEST(FaultInjectionTest, EachWriteFailingInTurn) {
  for (const bool console : {true, false}) {
    for (const char* row : kFaultedRows) {
      const Tally tally = FailEachInTurn(Row(row), console, Fault::kWrite);
      EXPECT_GT(tally.points, 0) << row;
      EXPECT_EQ(tally.lost, console ? 0 : tally.points) << row << (console ? " on a console" : "");
    }
  }
}

// The writes of a pair run: one per string and the line end; a failed one
// leaves exactly its own text out and the rest arrives.
TEST(FaultInjectionTest, FailedFileWriteLeavesOnlyItsOwnTextOut) {
  const std::u16string line = Expand(Row("RejectedCodesAmongOthers")).line;
  const std::u16string expected[] = {u"bc\r\n", u"ac\r\n", u"ab\r\n", u"abc"};
  for (std::int64_t n = 1; n <= 4; ++n) {
    const Outcome outcome = RunOnce(line, false, Fault::kWrite, n);
    EXPECT_EQ(outcome.text, expected[n - 1]) << n;
    EXPECT_EQ(outcome.exitCode, 3) << n;
  }
}

TEST(DriverLifecycle, StartupAndShutdownRunInOrder) {
  FakeReset(u"huecast.exe 1E x");
  FakeRunProgram();
  ASSERT_EQ(Fake.heapsCreated.size(), 3u);
  const HANDLE mainHeap = Fake.heapsCreated[0];
  const HANDLE stringHeap = Fake.heapsCreated[1];
  const HANDLE memoryHeap = Fake.heapsCreated[2];
  // Heaps are destroyed in the order: MemoryHeap (end routine), StringHeap, MainHeap.
  EXPECT_EQ(Fake.heapsDestroyed, (std::vector<HANDLE>{memoryHeap, stringHeap, mainHeap}));

  // The sequence of life-cycle calls, writes and allocations left out.
  using K = FakeCallKind;
  const K watched[] = {K::kHeapCreate,     K::kHeapDestroy, K::kGetStdHandle, K::kGetScreenInfo,
                       K::kSetCtrlHandler, K::kSetTitle,    K::kAllocConsole, K::kFreeConsole,
                       K::kInitializeLock, K::kDeleteLock,  K::kExitProcess};
  std::vector<FakeCallKind> lifecycle;
  for (const FakeCall& call : Fake.calls) {
    if (std::find(std::begin(watched), std::end(watched), call.kind) != std::end(watched)) {
      lifecycle.push_back(call.kind);
    }
  }
  const std::vector<FakeCallKind> expected = {
      K::kHeapCreate,      // MainHeap
      K::kHeapCreate,      // StringHeap
      K::kHeapCreate,      // MemoryHeap
      K::kInitializeLock,  // the process lock
      K::kGetStdHandle,   K::kGetStdHandle,   K::kGetStdHandle,   K::kGetScreenInfo,
      K::kSetCtrlHandler, K::kInitializeLock, K::kInitializeLock,
      K::kDeleteLock,   // console shutdown: the first lock only
      K::kHeapDestroy,  // MemoryHeap
      K::kHeapDestroy,  // StringHeap
      K::kHeapDestroy,  // MainHeap
      K::kExitProcess,
  };
  EXPECT_EQ(lifecycle, expected);
}

TEST(DriverMemory, FirstParameterLostToMemoryIsReadAgainNotTakenForHelp) {
  FakeReset(u"huecast.exe 1E Hello");
  Fake.failAllocation = 8;  // start-up takes seven; the eighth stores the first parameter
  EXPECT_EQ(FakeRunProgram(), 0);
  EXPECT_EQ(Fake.transcript, u"[1E]Hello\r\n");
}

}  // namespace
}  // namespace huecast
