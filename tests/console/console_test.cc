#include "console/console.h"

#include <gtest/gtest.h>

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

// Null writes nothing; any other text leaves as it is, in one write, with
// no copy and no flush.
TEST_F(ConsoleTest, PrintTextWritesTheTextItselfOnce) {
  EXPECT_NE(PrintText(nullptr), 0);
  EXPECT_TRUE(Fake.calls.empty());
  for (const std::u16string text : {u"", u"Hi"}) {
    Fake.calls.clear();
    EXPECT_NE(PrintText(text.c_str()), 0);
    ASSERT_EQ(Fake.calls.size(), 1u);
    EXPECT_EQ(Fake.calls[0].kind, FakeCallKind::kWriteConsole);
    EXPECT_EQ(Fake.calls[0].value, text.size());
  }
  EXPECT_EQ(FakeWrittenText(), u"Hi");
}

TEST_F(ConsoleTest, PrintLineWritesTextAndLineEndInOneWriteThenFlushes) {
  struct {
    const char16_t* text;
    std::u16string delivered;
  } const cases[] = {{nullptr, u"\r\n"}, {u"", u"\r\n"}, {u"abc", u"abc\r\n"}};
  for (const auto& c : cases) {
    Start(true);
    EXPECT_NE(PrintLine(c.text), 0);
    EXPECT_EQ(FakeWrittenText(), c.delivered);
    EXPECT_EQ(FakeCount(FakeCallKind::kWriteConsole), 1);
    EXPECT_EQ(FakeCount(FakeCallKind::kFlush), 1);
    // One buffer of n + 3 units, given back after the flush.
    ASSERT_GE(Fake.calls.size(), 4u);
    EXPECT_EQ(Fake.calls[0].kind, FakeCallKind::kHeapAlloc);
    EXPECT_EQ(Fake.calls[0].value, (c.delivered.size() + 1) * 2);
    EXPECT_EQ(Fake.calls.back().kind, FakeCallKind::kHeapFree);
  }
}

TEST_F(ConsoleTest, PrintLineReportsAWriteThatFailedBothWays) {
  Start(false);
  Fake.failWrite = Fake.writes + 1;
  EXPECT_EQ(PrintLine(u"x"), 0);
  // The flush is made whatever the write's outcome.
  EXPECT_EQ(FakeCount(FakeCallKind::kFlush), 1);
}

TEST_F(ConsoleTest, RedirectedOutputGetsRawUtf16LittleEndianBytes) {
  Start(false);
  PrintText(u"Hi");
  PrintLine(u"");
  EXPECT_EQ(Fake.fileBytes, std::string("H\0i\0\r\0\n\0", 8));
  // The console way was tried first each time and refused.
  EXPECT_EQ(FakeCount(FakeCallKind::kWriteConsole), 2);
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
  const HANDLE memoryHeap = Fake.heapsCreated[2];
  std::int64_t destroyedMemoryHeap = 0;
  for (HANDLE heap : Fake.heapsDestroyed) destroyedMemoryHeap += heap == memoryHeap ? 1 : 0;
  EXPECT_EQ(destroyedMemoryHeap, 1);
  // Destroyed from the handler, before the program's own shutdown.
  EXPECT_EQ(Fake.heapsDestroyed.front(), memoryHeap);
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
