#include "text/string_work_area.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>

#include "text/text_operations.h"
#include "text/work_area_fixture.h"

namespace huecast {
namespace {

using StringWorkAreaTest = WorkAreaTest;

TEST_F(StringWorkAreaTest, GrowsOnlyWhenTheNeedReachesCapacityLessFour) {
  EXPECT_EQ(StringWorkArea.capacity, 16);
  EXPECT_EQ(ReserveText(5, 0), StringWorkArea.base);
  EXPECT_EQ(FakeCount(FakeCallKind::kHeapReAlloc), 0);
  EXPECT_EQ(StringWorkArea.position, 10);
  // The test counts from the current position (10 + 2), not from pos (0).
  EXPECT_EQ(ReserveText(1, 0), StringWorkArea.base);
  EXPECT_EQ(StringWorkArea.capacity, 12 + 16384);
  EXPECT_EQ(FakeCount(FakeCallKind::kHeapReAlloc), 1);
  EXPECT_EQ(LastBytes(FakeCallKind::kHeapReAlloc), 12 + 16384 + 10);
  EXPECT_EQ(StringWorkArea.position, 2);
}

#ifndef NDEBUG
// The growth counts from the position, so room beyond it is never made: a
// caller that reserves there would write past the buffer.
TEST_F(StringWorkAreaTest, ReservingBeyondThePositionIsCaughtInDebugBuilds) {
  EXPECT_DEATH(ReserveText(5, 8)[5] = 0, "pos beyond the position");
}
#endif

TEST_F(StringWorkAreaTest, WorkAreaOffsetCoversTheOccupiedPartWithBothEnds) {
  PushText(u"abc");
  const char* base = reinterpret_cast<const char*>(StringWorkArea.base);
  EXPECT_EQ(WorkAreaOffset(base), 1);
  EXPECT_EQ(WorkAreaOffset(base + 6), 7);
  EXPECT_EQ(WorkAreaOffset(base + 8), 0);
  EXPECT_EQ(
      WorkAreaOffset(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(base) - 2)), 0);
  EXPECT_EQ(WorkAreaOffset(nullptr), 0);
  EXPECT_EQ(WorkAreaOffset(u"abc"), 0);
  EXPECT_EQ(WorkAreaPointer(5), StringWorkArea.base + 2);
  // Giving back units returns the new position.
  ReserveText(5, 4);
  EXPECT_EQ(GiveBackText(3), 4 + 4);
  EXPECT_EQ(StringWorkArea.position, 8);
}

TEST_F(StringWorkAreaTest, PushTextConcatenatesAndNullOnlyTerminates) {
  PushText(u"ab");
  PushText(u"");
  PushText(u"cd");
  EXPECT_EQ(TextFrom(0), u"abcd");
  EXPECT_EQ(Position(), 8);
  StringWorkArea.base[4] = u'x';
  PushText(nullptr);
  EXPECT_EQ(StringWorkArea.base[4], 0);
  EXPECT_EQ(Position(), 8);
}

TEST_F(StringWorkAreaTest, CopyCharsCopiesExactlyCountUnitsAndTerminates) {
  for (int count : {0, 1, 2, 3, 5, -4}) {
    SCOPED_TRACE(count);
    // The source ends exactly after count units, so that reading unit count
    // would leave the block; ASan reports such a read.
    const int units = count > 0 ? count : 1;
    auto source = std::make_unique<char16_t[]>(units);
    for (int i = 0; i < units; ++i) source[i] = static_cast<char16_t>(u'a' + i);
    char16_t destination[8];
    std::fill(std::begin(destination), std::end(destination), u'#');
    CopyChars(destination, source.get(), count);
    const int copied = count > 0 ? count : 0;
    EXPECT_EQ(std::u16string(destination, copied), std::u16string(source.get(), copied));
    EXPECT_EQ(destination[copied], 0);
    for (int i = copied + 1; i < 8; ++i) EXPECT_EQ(destination[i], u'#') << i;
  }
  // A destination just before its source, as when a result replaces it.
  char16_t line[] = u"xabcde";
  CopyChars(line, line + 1, 5);
  EXPECT_EQ(std::u16string(line), u"abcde");
}

TEST_F(StringWorkAreaTest, AssignStringStoresEverythingFromStartAndResetsThePosition) {
  StringVariable variable = nullptr;
  PushText(u"ab");
  const std::int32_t start = Position();
  char16_t* room = ReserveText(3, start);
  room[0] = u'x', room[1] = 0, room[2] = u'y', room[3] = 0;
  AssignString(&variable, start);
  EXPECT_EQ(LastBytes(FakeCallKind::kHeapAlloc), 6 + 10);
  EXPECT_EQ(std::u16string(variable, 4), std::u16string(u"x\0y\0", 4));
  EXPECT_EQ(Position(), start);
  AssignString(&variable, start);
  EXPECT_EQ(Str(variable), u"");
  EXPECT_EQ(LastBytes(FakeCallKind::kHeapReAlloc), 10);
  // The empty text in a fresh variable still takes a 10-byte buffer.
  StringVariable fresh = nullptr;
  AssignString(&fresh, start);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh[0], 0);
  EXPECT_EQ(LastBytes(FakeCallKind::kHeapAlloc), 10);
}

TEST_F(StringWorkAreaTest, AVariableMayBeAssignedATextMadeFromItsOwnValue) {
  StringVariable variable = nullptr;
  PushText(u"x''y");
  AssignString(&variable, 0);
  // Each round doubles the apostrophe pairs, so the variable's buffer grows.
  for (int round = 0; round < 6; ++round) {
    ReplaceText(variable, u"''", u"''''", 0);
    AssignString(&variable, 0);
  }
  ReplaceText(variable, u"''", u"\"", 0);
  AssignString(&variable, 0);
  EXPECT_EQ(Str(variable), u"x" + std::u16string(64, u'"') + u"y");
  EXPECT_EQ(Position(), 0);
}

// A failed growth keeps the old buffer and gives the empty text; a failed
// assignment leaves the variable, used or fresh, reading as empty. Each
// counts as a failure, and a later growth tries again.
TEST_F(StringWorkAreaTest, FailedMemoryKeepsTheOldBufferAndGivesTheEmptyText) {
  StringVariable fresh = nullptr;
  StringVariable used = nullptr;
  PushText(u"abc");
  char16_t* const base = StringWorkArea.base;
  FailNextAllocation();
  PushText(u"0123456789");
  EXPECT_EQ(StringWorkArea.base, base);
  EXPECT_EQ(StringWorkArea.capacity, 16);
  EXPECT_EQ(TextFrom(0), u"abc");
  EXPECT_EQ(Position(), 6);
  PushText(u"0123456789");
  EXPECT_EQ(TextFrom(0), u"abc0123456789");
  AssignString(&used, 0);
  for (StringVariable* variable : {&used, &fresh}) {
    PushText(u"new");
    FailNextAllocation();
    AssignString(variable, 0);
    EXPECT_EQ(Str(*variable), u"");
  }
  EXPECT_EQ(StringWorkArea.failures, 3);
  EXPECT_EQ(Position(), 0);
}

}  // namespace
}  // namespace huecast
