// The driver on the recording fake: every case of the Windows table that a
// started process ends by itself, with its exact command line, then the
// start-up and shutdown order and the runs that memory fails.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include <string>
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
  std::vector<char16_t> lineUnits(kCaseUnits);
  std::vector<char16_t> textUnits(kCaseUnits);
  int lineCount = 0;
  int textCount = 0;
  ASSERT_TRUE(ExpandCase(c, c.pathWithSpaces ? u"C:\\Program Files\\Huecast.exe" : u"Huecast.exe",
                         lineUnits.data(), &lineCount, textUnits.data(), &textCount));
  const std::u16string line(lineUnits.data(), lineCount);
  const std::u16string text(textUnits.data(), textCount);
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

}  // namespace
}  // namespace huecast
