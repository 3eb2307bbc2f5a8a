// Full driver runs with the recording fake in which one allocation or one
// write fails, each in turn, until a run needs no more. Every faulted run
// must end, destroy every heap it created, and give an exit status that
// tells whether the delivered text is complete: bit 1 (value 2) exactly when
// text was lost, 255 for the help screen whatever happened.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/expected_help.h"
#include "fake/fake_platform.h"

namespace huecast {
namespace {

struct Scenario {
  const char* name;
  std::u16string commandLine;
  std::u16string text;  // the text an unfaulted run delivers
  std::int64_t exitCode;
};

const std::u16string kLong(20000, u'y');

const Scenario kScenarios[] = {
    {"help", u"Huecast", kHelpScreen, 255},
    {"pairs", u"Huecast 1E Hello 07 \" world\" 77 !", u"Hello world!\r\n", 1},
    {"long string", u"Huecast 2F " + kLong + u" 1E x", kLong + u"x\r\n", 0},
    {"apostrophes", u"Huecast 1E ''Hi'' 07 '''", u"\"Hi\"\"'\r\n", 0},
};

enum class Fault { kAllocation, kHeapCreate, kWrite };

struct Outcome {
  std::int64_t exitCode;
  std::u16string text;  // delivered text without attribute marks
  bool reached;         // the fault happened
};

// Runs the program once, with the n-th allocation or write failing (0: none).
Outcome RunOnce(const Scenario& scenario, bool console, Fault fault, std::int64_t n) {
  FakeReset(scenario.commandLine);
  Fake.outputIsConsole = console;
  if (fault == Fault::kAllocation) Fake.failAllocation = n;
  if (fault == Fault::kHeapCreate) Fake.failHeapCreate = n;
  if (fault == Fault::kWrite) Fake.failWrite = n;
  Outcome outcome;
  outcome.exitCode = FakeRunProgram();
  std::u16string text = Fake.transcript;
  // Attribute marks look like "[1E]"; the help text has brackets of its own.
  for (std::size_t mark = text.find(u'['); mark != std::u16string::npos;
       mark = text.find(u'[', mark)) {
    if (mark + 3 < text.size() && text[mark + 3] == u']') {
      text.erase(mark, 4);
    } else {
      ++mark;
    }
  }
  outcome.text = text;
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
Tally FailEachInTurn(const Scenario& scenario, bool console, Fault fault) {
  const Outcome clean = RunOnce(scenario, console, fault, 0);
  EXPECT_EQ(clean.text, scenario.text);
  EXPECT_EQ(clean.exitCode, scenario.exitCode);
  Tally tally;
  for (std::int64_t n = 1; n < 1000; ++n) {
    SCOPED_TRACE(testing::Message() << "failing number " << n);
    const Outcome faulted = RunOnce(scenario, console, fault, n);
    if (!faulted.reached) {
      EXPECT_EQ(faulted.text, clean.text);
      EXPECT_EQ(faulted.exitCode, clean.exitCode);
      return tally;
    }
    ++tally.points;
    const bool complete = faulted.text == clean.text;
    tally.lost += complete ? 0 : 1;
    if (clean.exitCode == 255) {
      EXPECT_EQ(faulted.exitCode, 255);
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
  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    const Tally tally = FailEachInTurn(scenario, true, Fault::kAllocation);
    // Start-up alone makes three heaps and four blocks.
    EXPECT_GE(tally.points, 7);
    // Some allocation, at the least the line buffer, carries text.
    EXPECT_GT(tally.lost, 0);
    std::printf("[ allocations ] %-12s %3ld points, %3ld lost text\n", scenario.name,
                static_cast<long>(tally.points), static_cast<long>(tally.lost));
  }
}

// MainHeap, StringHeap and MemoryHeap in turn: a heap that could not be
// made is never handed to a heap call (the fake aborts if it is), and only
// the heaps that carry text lose any.
TEST(FaultInjectionTest, EachHeapCreationFailingInTurn) {
  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    const Tally tally = FailEachInTurn(scenario, true, Fault::kHeapCreate);
    EXPECT_EQ(tally.points, 3);
    // MainHeap holds the line buffer and StringHeap every text; nothing
    // is allocated from MemoryHeap.
    EXPECT_EQ(tally.lost, 2);
  }
}

// A string lost to memory reads as empty; with a code of 0 it must not pass
// for the end of the parameters and drop the pairs after it.
TEST(FaultInjectionTest, StringLostToMemoryDoesNotEndThePairs) {
  const Scenario scenario{"code 0", u"Huecast 00 x 1E y", u"xy\r\n", 0};
  std::int64_t stringsLost = 0;
  for (std::int64_t n = 1; n < 1000; ++n) {
    const Outcome outcome = RunOnce(scenario, true, Fault::kAllocation, n);
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

TEST(FaultInjectionTest, EachConsoleWriteFailingFallsBackToTheFile) {
  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    const Tally tally = FailEachInTurn(scenario, true, Fault::kWrite);
    EXPECT_GT(tally.points, 0);
    // A refused console write is delivered as raw bytes instead.
    EXPECT_EQ(tally.lost, 0);
  }
}

TEST(FaultInjectionTest, EachFileWriteFailingLosesItsText) {
  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    const Tally tally = FailEachInTurn(scenario, false, Fault::kWrite);
    EXPECT_GT(tally.points, 0);
    // Redirected output has no second way: every failed write loses text.
    EXPECT_EQ(tally.lost, tally.points);
    std::printf("[ file writes ] %-12s %3ld points\n", scenario.name,
                static_cast<long>(tally.points));
  }
}

// The writes of a pair run: one per string and the line end; a failed one
// leaves exactly its own text out and the rest arrives.
TEST(FaultInjectionTest, FailedFileWriteLeavesOnlyItsOwnTextOut) {
  const Scenario& pairs = kScenarios[1];
  const std::u16string expected[] = {u" world!\r\n", u"Hello!\r\n", u"Hello world\r\n",
                                     u"Hello world!"};
  for (std::int64_t n = 1; n <= 4; ++n) {
    const Outcome outcome = RunOnce(pairs, false, Fault::kWrite, n);
    EXPECT_EQ(outcome.text, expected[n - 1]) << n;
    EXPECT_EQ(outcome.exitCode, 3) << n;
  }
}

}  // namespace
}  // namespace huecast
