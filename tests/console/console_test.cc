#include "console/console.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "fake/fake_platform.h"
#include "memory/memory_heap.h"

namespace huecast {
namespace {

// Starts the console over the fake, with MainHeap for line buffers.
class ConsoleTest : public ::testing::Test {
 protected:
  void Start(bool console) {
    FakeReset(u"huecast.exe");
    Fake.outputIsConsole = console;
    ConsoleState = ConsoleStateRecord{};
    if (MainHeap != nullptr) HeapDestroy(MainHeap);
    MainHeap = HeapCreate(0, 4096, 0);
    ConsoleStartup();
    Fake.calls.clear();
  }
  void SetUp() override { Start(true); }
  void TearDown() override {
    ConsoleShutdown();
    HeapDestroy(MainHeap);
    MainHeap = nullptr;
  }
};

// The tool's own start-up sets none (the driver's start-up order shows it).
TEST_F(ConsoleTest, StartupWithATitleSetsIt) {
  ConsoleShutdown();
  FakeReset(u"huecast.exe");
  ConsoleStartup(u"Title");
  EXPECT_EQ(FakeCount(FakeCallKind::kSetTitle), 1);
}

// PrintText writes the text itself in one write, with no copy and no flush,
// and null not at all. PrintLine copies text and line end into one buffer
// of n + 3 units, writes it once, flushes whatever the write's outcome and
// gives the buffer back. Where the console refuses, the same units go out
// as raw UTF-16LE bytes; a write that fails both ways is reported.
TEST_F(ConsoleTest, PrintTextAndPrintLineWriteOnceAndOnlyPrintLineFlushes) {
  using K = FakeCallKind;
  const std::vector<K> kText = {K::kWriteConsole};
  const std::vector<K> kLine = {K::kHeapAlloc, K::kWriteConsole, K::kFlush, K::kHeapFree};
  const std::vector<K> kRedirectedLine = {K::kHeapAlloc, K::kWriteConsole, K::kWriteFile, K::kFlush,
                                          K::kHeapFree};
  const struct {
    std::int32_t entry;
    const char16_t* text;
    bool console, fails;
    std::u16string written;
    std::vector<K> calls;
  } cases[] = {{kPrintText, nullptr, true, false, u"", {}},
               {kPrintText, u"", true, false, u"", kText},
               {kPrintText, u"Hi", true, false, u"Hi", kText},
               {kPrintText, u"Hi", false, false, u"Hi", {K::kWriteConsole, K::kWriteFile}},
               {kPrintLine, nullptr, true, false, u"\r\n", kLine},
               {kPrintLine, u"", true, false, u"\r\n", kLine},
               {kPrintLine, u"abc", true, false, u"abc\r\n", kLine},
               {kPrintLine, u"", false, false, u"\r\n", kRedirectedLine},
               {kPrintLine, u"x", false, true, u"", kRedirectedLine}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    Start(c.console);
    if (c.fails) Fake.failWrite = Fake.writes + 1;
    EXPECT_EQ(OutputRoutines[c.entry](c.text) != 0, !c.fails);
    EXPECT_EQ(FakeWrittenText(), c.written);
    EXPECT_EQ(Fake.fileBytes.size(), c.console || c.fails ? 0 : 2 * c.written.size());
    std::vector<K> calls;
    for (const FakeCall& call : Fake.calls) calls.push_back(call.kind);
    EXPECT_EQ(calls, c.calls);
    const std::size_t units = c.text == nullptr ? 0 : std::u16string(c.text).size();
    EXPECT_TRUE(c.entry != kPrintLine || Fake.calls[0].value == (units + 3) * 2);
  }
}

TEST_F(ConsoleTest, ColoursOfSixteenOrMoreChangeNothingAndCallNothing) {
  SetConsoleColors(14, 1);
  Fake.calls.clear();
  SetConsoleColors(16, 0);
  SetConsoleColors(0, 16);
  EXPECT_TRUE(Fake.calls.empty());
  EXPECT_EQ(ConsoleState.screenInfo.wAttributes, 0x1E);
}

// Every run starts from a zero record: a redirected run after a console run
// keeps nothing of the console's screen information but its own attribute.
TEST(ConsoleRecord, IsZeroAgainForEachRunInAProcess) {
  FakeReset(u"huecast.exe 1E x");
  FakeRunProgram();
  FakeReset(u"huecast.exe 0A x");
  Fake.outputIsConsole = false;
  FakeRunProgram();
  CONSOLE_SCREEN_BUFFER_INFO expected{};
  expected.wAttributes = 0x0A;
  EXPECT_EQ(std::memcmp(&ConsoleState.screenInfo, &expected, sizeof expected), 0);
}

// The end routine destroys MemoryHeap, which the control tests watch.
TEST(ControlEvent, CloseEventRunsTheEndRoutineOnceAndPassesItOn) {
  FakeReset(u"huecast.exe 1E a 2F b");
  Fake.closeAtWrite = 2;  // the window is closed while the second string goes out
  EXPECT_EQ(FakeRunProgram(), 0);
  ASSERT_EQ(Fake.heapsCreated.size(), 3u);
  // MemoryHeap goes once, from the handler: after the first string's write,
  // before the second's. StringHeap and MainHeap go with the program's shutdown.
  const std::vector<HANDLE> destroyed(Fake.heapsCreated.rbegin(), Fake.heapsCreated.rend());
  EXPECT_EQ(Fake.heapsDestroyed, destroyed);
  std::vector<FakeCallKind> kinds;
  for (const FakeCall& call : Fake.calls) kinds.push_back(call.kind);
  const auto ended = std::find(kinds.begin(), kinds.end(), FakeCallKind::kHeapDestroy);
  EXPECT_EQ(std::count(kinds.begin(), ended, FakeCallKind::kWriteConsole), 1);
  const std::vector<FakeUnit> written = {{u'a', 0x1E}, {u'b', 0x2F}, {u'\r', 0x2F}, {u'\n', 0x2F}};
  EXPECT_EQ(Fake.written, written);
}

// Only the close event runs the end routine, and only once in a run (a
// second close, as after shutdown, finds a new MemoryHeap alone); every event
// is passed on.
TEST(ControlEvent, OnlyTheFirstCloseRunsTheEndRoutine) {
  FakeReset(u"huecast.exe");
  ZeroProcessRecords();
  for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT,
                      CTRL_CLOSE_EVENT, CTRL_CLOSE_EVENT}) {
    SCOPED_TRACE(event);
    if (MemoryHeap == nullptr) MemoryHeapStartup();
    const bool ends = event == CTRL_CLOSE_EVENT && FakeCount(FakeCallKind::kHeapDestroy) == 0;
    EXPECT_EQ(OnConsoleControl(event), FALSE);
    EXPECT_EQ(MemoryHeap == nullptr, ends);
  }
  EXPECT_EQ(FakeCount(FakeCallKind::kHeapDestroy), 1);
  MemoryHeapShutdown();
}

}  // namespace
}  // namespace huecast
