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

  // The program never reads the attribute it starts with; the table's
  // stands for it.
  FakeReset(line);
  Fake.attribute = kStart;
  EXPECT_EQ(FakeRunProgram(), c.exitCode);
  EXPECT_EQ(FakeWrittenText(), text);
  // Each unit but the line ends fills the next cell, in that cell's attribute.
  int cell = 0;
  for (const FakeUnit& unit : Fake.written) {
    if (unit.unit == u'\r' || unit.unit == u'\n') continue;
    EXPECT_EQ(unit.attribute, CellAttribute(c, cell)) << "cell " << cell;
    ++cell;
  }
  EXPECT_EQ(Fake.attribute, c.attributeLeft);
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
  outcome.text = FakeWrittenText();
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
      // Help, or, when parameters were given but no text can be had to tell
      // that they ask for it, nothing at all and lost text. Without any,
      // counting them tells, which needs no memory.
      const bool textless = fault != Fault::kWrite && c.line[0] != u'\0' && faulted.text.empty();
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

// Each allocation, heap creation or write failing in turn, on each faulted
// row. Start-up alone makes three heaps and four blocks, and some allocation,
// at the least the line buffer, carries text. A heap that could not be made
// is never handed to a heap call (the fake aborts if it is); MainHeap holds
// the line buffer and StringHeap every text, while nothing is allocated from
// MemoryHeap. A refused console write is delivered as raw bytes instead;
// redirected output has no second way, so every failed write loses text.
TEST(FaultInjectionTest, EachFailingInTurn) {
  constexpr std::int64_t kAll = -1;
  const struct {
    Fault fault;
    bool console;
    std::int64_t fewestPoints, mostPoints;
    std::int64_t fewestLost, mostLost;  // kAll: every point
  } kinds[] = {{Fault::kAllocation, true, 7, 1000, 1, 1000},
               {Fault::kHeapCreate, true, 3, 3, 2, 2},
               {Fault::kWrite, true, 1, 1000, 0, 0},
               {Fault::kWrite, false, 1, 1000, kAll, kAll}};
  for (const auto& k : kinds) {
    for (const char* row : kFaultedRows) {
      SCOPED_TRACE(testing::Message() << row << " fault " << static_cast<int>(k.fault)
                                      << (k.console ? " on a console" : " redirected"));
      const Tally tally = FailEachInTurn(Row(row), k.console, k.fault);
      EXPECT_GE(tally.points, k.fewestPoints);
      EXPECT_LE(tally.points, k.mostPoints);
      EXPECT_GE(tally.lost, k.fewestLost == kAll ? tally.points : k.fewestLost);
      EXPECT_LE(tally.lost, k.mostLost == kAll ? tally.points : k.mostLost);
    }
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
  EXPECT_EQ(FakeWrittenText(), u"Hello\r\n");
  EXPECT_EQ(Fake.attribute, 0x1E);
}

}  // namespace
}  // namespace huecast
