#include "driver/driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/expected_help.h"
#include "fake/fake_platform.h"

namespace huecast {
namespace {

struct RunCase {
  const char* name;
  std::u16string commandTail;  // after the program path and one space
  std::u16string transcript;   // text delivered, attributes applied as [XY]
  std::int64_t exitCode;
};

class DriverTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(DriverTest, DeliversTextColoursAndExitCode) {
  const RunCase& c = GetParam();
  FakeReset(u"huecast.exe " + c.commandTail);
  EXPECT_EQ(FakeRunProgram(), c.exitCode);
  EXPECT_EQ(Fake.transcript, c.transcript);
}

const RunCase kRunCases[] = {
    {"NoParameters", u"", kHelpScreen, 255},
    {"HelpRequest", u"/? 1E x", kHelpScreen, 255},
    {"EmptyFirstParameter", u"\"\" 1E x", kHelpScreen, 255},
    {"TypicalCall", u"1E Hello 07 ''ok''", u"[1E]Hello[07]\"ok\"\r\n", 0},
    {"LowerCaseDigits", u"1e x", u"[1E]x\r\n", 0},
    {"OnlyTwoCharactersCount", u"1E7 x", u"[1E]x\r\n", 0},
    {"SingleDigit", u"7 x", u"[07]x\r\n", 0},
    {"DigitsEndAtNonHex", u"1G x", u"[01]x\r\n", 0},
    {"BackgroundOnly", u"A0 x", u"[A0]x\r\n", 0},
    {"EqualColoursRejected", u"77 x", u"x\r\n", 1},
    {"SeveralRejectionsStillOne", u"77 a FF b 1E c", u"ab[1E]c\r\n", 1},
    {"CodeWithoutString", u"1E", u"[1E]", 0},
    {"ZeroCodeEmptyStringEndsLoop", u"00 \"\" 1E x", u"", 0},
    {"ZeroCodeStringPrintsInCurrentColours", u"00 x 1E y", u"x[1E]y\r\n", 0},
    {"NotHelpOptions", u"/h x -? y", u"xy\r\n", 0},
    {"SpaceCodeReadsAsZero", u"\" 1\" x", u"x\r\n", 0},
    {"NegativeCodeReadsAsZero", u"-1 x", u"x\r\n", 0},
    {"TwoStringsInARow", u"1E a q c", u"[1E]ac\r\n", 0},
    {"HexLetterStringBecomesCode", u"1E a b c", u"[1E]a[0B]c\r\n", 0},
    {"ThreeApostrophes", u"0 '''", u"\"'\r\n", 0},
    {"FourApostrophes", u"0 ''''", u"\"\"\r\n", 0},
    {"QuotedStringWithSpaces", u"1E \" Hello, \" 0A world", u"[1E] Hello, [0A]world\r\n", 0},
    {"SurrogatesPassUnchanged", u"0 \xD83D\xDE00", u"\xD83D\xDE00\r\n", 0},
};

INSTANTIATE_TEST_SUITE_P(Runs, DriverTest, ::testing::ValuesIn(kRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DriverOutput, RedirectedOutputIsRawUtf16WithoutColours) {
  FakeReset(u"huecast.exe 1E Hi");
  Fake.outputIsConsole = false;
  EXPECT_EQ(FakeRunProgram(), 0);
  EXPECT_EQ(Fake.fileBytes, std::string("H\0i\0\r\0\n\0", 8));
  EXPECT_TRUE(Fake.attributes.empty());
}

TEST(DriverOutput, HelpScreenIsOneLineWriteAndFlush) {
  FakeReset(u"huecast.exe");
  FakeRunProgram();
  EXPECT_EQ(FakeCount(FakeCallKind::kWriteConsole), 1);
  EXPECT_EQ(FakeCount(FakeCallKind::kFlush), 1);
  EXPECT_EQ(FakeCount(FakeCallKind::kSetAttribute), 0);
}

TEST(DriverOutput, StringsAreWrittenWithoutFlushUntilTheLineEnd) {
  FakeReset(u"huecast.exe 1E a 2F b");
  FakeRunProgram();
  EXPECT_EQ(FakeCount(FakeCallKind::kWriteConsole), 3);
  EXPECT_EQ(FakeCount(FakeCallKind::kFlush), 1);
  EXPECT_EQ(Fake.calls.back().kind, FakeCallKind::kExitProcess);
}

struct FailureCase {
  const char* name;
  std::u16string commandTail;
  bool console;
  std::int64_t failWrite;
  std::int64_t exitCode;
};

class DriverWriteFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DriverWriteFailureTest, LostTextSetsBitOne) {
  const FailureCase& c = GetParam();
  FakeReset(u"huecast.exe " + c.commandTail);
  Fake.outputIsConsole = c.console;
  Fake.failWrite = c.failWrite;
  EXPECT_EQ(FakeRunProgram(), c.exitCode);
}

const FailureCase kFailureCases[] = {
    // On a console a failed console write falls back to WriteFile, which
    // then delivers the text: nothing is lost.
    {"ConsoleFallbackDelivers", u"1E x", true, 1, 0},
    {"StringLost", u"1E x", false, 1, 2},
    {"LineEndLost", u"1E x", false, 2, 2},
    {"LostTogetherWithRejectedCode", u"77 x", false, 1, 3},
    {"HelpStays255", u"", false, 1, 255},
};

INSTANTIATE_TEST_SUITE_P(Failures, DriverWriteFailureTest, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DriverWriteFailure, InvalidOutputHandleLosesTextButKeepsGoing) {
  FakeReset(u"huecast.exe 1E a 2F b");
  Fake.outputIsValid = false;
  EXPECT_EQ(FakeRunProgram(), 2);
  // Both strings and the line end were still attempted.
  EXPECT_EQ(FakeCount(FakeCallKind::kWriteFile), 3);
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
  std::vector<FakeCallKind> lifecycle;
  for (const FakeCall& call : Fake.calls) {
    switch (call.kind) {
      case FakeCallKind::kHeapCreate:
      case FakeCallKind::kHeapDestroy:
      case FakeCallKind::kGetStdHandle:
      case FakeCallKind::kGetScreenInfo:
      case FakeCallKind::kSetCtrlHandler:
      case FakeCallKind::kInitializeLock:
      case FakeCallKind::kDeleteLock:
      case FakeCallKind::kExitProcess:
        lifecycle.push_back(call.kind);
        break;
      default:
        break;
    }
  }
  using K = FakeCallKind;
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

TEST(DriverLifecycle, ParameterSupportAllocatesCursorThenRegistry) {
  FakeReset(u"huecast.exe");
  FakeRunProgram();
  const HANDLE mainHeap = Fake.heapsCreated[0];
  std::vector<std::uint64_t> sizes;
  for (const FakeCall& call : Fake.calls) {
    if (call.kind == FakeCallKind::kInitializeLock) break;
    if (call.kind == FakeCallKind::kHeapAlloc && call.handle == mainHeap) {
      sizes.push_back(call.value);
    }
  }
  // The 24-byte cursor, the registry record, then its four 8-byte slots.
  ASSERT_EQ(sizes.size(), 3u);
  EXPECT_EQ(sizes[0], 24u);
  EXPECT_EQ(sizes[2], 4u * sizeof(void*));
}

// Start-up takes seven allocations; the eighth stores the first parameter.
constexpr std::int64_t kFirstParameterAllocation = 8;

TEST(DriverMemory, FirstParameterLostToMemoryIsReadAgainNotTakenForHelp) {
  FakeReset(u"huecast.exe 1E Hello");
  Fake.failAllocation = kFirstParameterAllocation;
  EXPECT_EQ(FakeRunProgram(), 0);
  EXPECT_EQ(Fake.transcript, u"[1E]Hello\r\n");
}

TEST(DriverMemory, NoParametersShowTheHelpWhateverMemoryAllows) {
  FakeReset(u"huecast.exe");
  Fake.failAllocation = 2;  // StringHeap: no text can be built at all
  EXPECT_EQ(FakeRunProgram(), 255);
}

TEST(DriverWorkArea, PositionReturnsToZeroAfterEveryStatement) {
  FakeReset(u"huecast.exe 1E a''b 2F c");
  FakeRunProgram();
  EXPECT_EQ(Fake.transcript, u"[1E]a\"b[2F]c\r\n");
  EXPECT_EQ(StringWorkArea.position, 0);
}

TEST(DriverWorkArea, LongParametersGrowTheWorkAreaAndPrintWhole) {
  const std::u16string longText(40000, u'x');
  FakeReset(u"huecast.exe 1E " + longText);
  EXPECT_EQ(FakeRunProgram(), 0);
  EXPECT_EQ(Fake.transcript, u"[1E]" + longText + u"\r\n");
}

}  // namespace
}  // namespace huecast
