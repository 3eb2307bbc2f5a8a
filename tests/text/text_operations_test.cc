#include "text/text_operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "text/work_area_fixture.h"

namespace huecast {
namespace {

class TextOperationsTest : public WorkAreaTest {
 protected:
  // Results are written behind a one-unit prefix, so that a result landing
  // at 0 instead of pos, or overwriting what lies before pos, shows.
  static constexpr std::int32_t kPos = 2;
  void SetUp() override {
    WorkAreaTest::SetUp();
    PushText(u"<");
  }
  static void Restart() { StringWorkArea.position = kPos; }
  static void ExpectResult(const std::u16string& expected, std::int32_t pos = kPos) {
    ASSERT_EQ(Position(), pos + 2 * static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(std::u16string(TextAt(pos), expected.size()), expected);
    EXPECT_EQ(TextAt(pos)[expected.size()], 0);
    EXPECT_EQ(StringWorkArea.base[0], u'<');
  }
};

TEST(ParseNumberTest, ReadsBlanksSignRadixAndDigits) {
  // clang-format off
  const struct {
    const char16_t* text;
    std::int64_t value;
  } cases[] = {
      {u"$1E", 30}, {u"$1e", 30}, {u"$7", 7}, {u"$", 0}, {u"$G1", 0}, {u"$1G", 1},
      {u"-$10", -16}, {u"+12", 12}, {u"  \t42abc", 42}, {u"%101", 5}, {u"%2", 0}, {u"- 5", 0},
      {u"+-5", 0}, {u"0x1F", 0}, {u"-%11", -3}, {u"$-1", 0}, {u"\n5", 0}, {u"12 34", 12},
      {u"%1012", 5}, {u"1a", 1}, {u"+$fF", 255}, {u"", 0}, {nullptr, 0}, {u"\u0661", 0},
      {u"$FFFFFFFFFFFFFFFF", -1}, {u"$1FFFFFFFFFFFFFFFF", -1}, {u"18446744073709551617", 1},
      {u"9223372036854775808", INT64_MIN}, {u"-9223372036854775808", INT64_MIN}};
  // clang-format on
  for (const auto& c : cases) {
    EXPECT_EQ(ParseNumber(c.text), c.value) << "case " << &c - cases;
  }
}

TEST(TextEqualsTest, ComparesUnitsWithNullAsEmpty) {
  EXPECT_EQ(TextEquals(nullptr, u""), 1);
  EXPECT_EQ(TextEquals(u"", nullptr), 1);
  EXPECT_EQ(TextEquals(nullptr, nullptr), 1);
  EXPECT_EQ(TextEquals(u"a", u"A"), 0);
  EXPECT_EQ(TextEquals(u"ab", u"abc"), 0);
  EXPECT_EQ(TextEquals(u"abc", u"ab"), 0);
  EXPECT_EQ(TextEquals(u"/?", u"/?"), 1);
  EXPECT_EQ(TextLength(nullptr), 0);
  EXPECT_EQ(TextLength(u"a\u00E9\U0001F600"), 4);
}

TEST_F(TextOperationsTest, LeftTextOfATextAtTheResultPositionReplacesIt) {
  // The colour code: "$", then the parameter at Q, cut to two units at Q.
  // Reserving room here grows the buffer, which may move it.
  PushText(u"$");
  const std::int32_t q = Position();
  PushText(u"1E7");
  LeftText(TextAt(q), 2, q);
  EXPECT_EQ(FakeCount(FakeCallKind::kHeapReAlloc), 1);
  EXPECT_EQ(Position(), q + 4);
  EXPECT_EQ(TextFrom(kPos), u"$1E");
  EXPECT_EQ(ParseNumber(TextAt(kPos)), 0x1E);
}

TEST_F(TextOperationsTest, ReplaceTextHonoursModeStartAndCount) {
  // clang-format off
  const struct {
    const char16_t* find;
    const char16_t* replacement;
    std::int32_t mode, start, count;
    const char16_t* expected;
    const char16_t* source = u"aXbX";
  } cases[] = {
      {u"X", u"Y", 0, 3, -1, u"aXbY"},  {u"X", u"Y", 0, 5, -1, u"aXbX"},
      {u"X", u"Y", 0, -7, -1, u"aYbY"}, {u"X", u"Y", 0, 1, 1, u"aYbX"},
      {u"X", u"Y", 0, 1, 0, u"aXbX"},   {u"X", u"Y", 0, 1, -2, u"aYbX"},
      {u"X", u"Y", 0, 3, 1, u"aXbY"},   {u"X", u"Y", 0, 1, -1, u"aYbx", u"aXbx"},
      {u"X", u"Y", 1, 1, -1, u"aYbY", u"aXbx"}, {u"x", u"Y", 5, 1, -1, u"aYbY", u"aXbx"},
      {u"X", u"Y", 4, 1, -1, u"aYbx", u"aXbx"},
      // Only A-Z and a-z compare without regard to case.
      {u"\u00E9", u"e", 1, 1, -1, u"\u00C9e", u"\u00C9\u00E9"},
      {u"{", u"(", 1, 1, -1, u"a[b(", u"a[b{"},
      {u"X", u"", 0, 1, -1, u"ab"},     {u"X", nullptr, 0, 1, -1, u"ab"},
      {u"", u"Y", 0, 1, -1, u"aXbX"},   {nullptr, u"Y", 0, 1, -1, u"aXbX"},
      {u"aXbXa", u"Y", 0, 1, -1, u"aXbX"}, {u"bXc", u"Y", 0, 1, -1, u"aXbX"},
      {u"X", u"YYY", 0, 1, -1, u"aYYYbYYY"}, {u"XX", u"Y", 0, 1, -1, u"YX", u"XXX"},
      {u"abab", u"", 0, 1, -1, u"", u"abab"}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    Restart();
    ReplaceText(c.source, c.find, c.replacement, c.mode, c.start, c.count, kPos);
    ExpectResult(c.expected);
  }
}

// LeftText keeps at most count leading units. The shorter forms of
// ReplaceText replace every occurrence, case counting, from the first unit;
// the driver's form turns apostrophe pairs into double quotes.
TEST_F(TextOperationsTest, LeftTextAndTheShorterReplaceForms) {
  const struct {
    void (*operation)();
    const char16_t* expected;
  } cases[] = {{[] { LeftText(u"Hello", 2, kPos); }, u"He"},
               {[] { LeftText(u"Hello", 10, kPos); }, u"Hello"},
               {[] { LeftText(u"Hello", 5, kPos); }, u"Hello"},
               {[] { LeftText(u"Hello", 0, kPos); }, u""},
               {[] { LeftText(u"Hello", -3, kPos); }, u""},
               {[] { LeftText(nullptr, 3, kPos); }, u""},
               {[] { LeftText(u"", 2, kPos); }, u""},
               {[] { ReplaceText(u"''Hi''", u"''", u"\"", kPos); }, u"\"Hi\""},
               {[] { ReplaceText(u"'''", u"''", u"\"", kPos); }, u"\"'"},
               {[] { ReplaceText(u"''''", u"''", u"\"", kPos); }, u"\"\""},
               {[] { ReplaceText(u"Hello", u"''", u"\"", kPos); }, u"Hello"},
               {[] { ReplaceText(u"", u"''", u"\"", kPos); }, u""},
               {[] { ReplaceText(nullptr, u"''", u"\"", kPos); }, u""},
               {[] { ReplaceText(u"aXbx", u"X", u"YYY", kPos); }, u"aYYYbx"},
               {[] { ReplaceText(u"aXbX", u"X", u"YYY", 0, kPos); }, u"aYYYbYYY"},
               {[] { ReplaceText(u"aXbx", u"X", u"Y", kReplaceIgnoreCase, kPos); }, u"aYbY"},
               {[] { ReplaceText(u"aXbXaX", u"X", u"Y", 0, 3, kPos); }, u"aXbYaY"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    Restart();
    c.operation();
    ExpectResult(c.expected);
  }
}

TEST_F(TextOperationsTest, ReplaceTextOfASourceAtTheResultPosition) {
  PushText(u"x''y");
  ReplaceText(TextAt(kPos), u"''", u"\"", kPos);
  ExpectResult(u"x\"y");
  // Every argument in the work area, and a result that grows the buffer.
  Restart();
  const char16_t texts[] = u"aXbX\0X\0YYYYYYYYYY";
  char16_t* room = ReserveText(sizeof texts / 2 - 1, kPos);
  std::copy(std::begin(texts), std::end(texts), room);
  ReplaceText(TextAt(kPos), TextAt(kPos + 10), TextAt(kPos + 14), kPos);
  ExpectResult(u"aYYYYYYYYYYbYYYYYYYYYY");
  EXPECT_EQ(FakeCount(FakeCallKind::kDuplicate), 4);
}

TEST_F(TextOperationsTest, ReplaceTextInPlaceChangesTheVariableOnly) {
  StringVariable variable = nullptr;
  PushText(u"a-b-c");
  AssignString(&variable, kPos);
  char16_t* const buffer = variable;
  const std::size_t calls = Fake.calls.size();
  constexpr std::int32_t kIn = kReplaceInPlace;
  // clang-format off
  const struct {
    std::int32_t mode, start, count;
    const char16_t* find;
    const char16_t* replacement;
    const char16_t* expected;
  } cases[] = {
      {kIn, 1, -1, u"-", u"+", u"a+b+c"}, {kIn, 1, -2, u"-", u"+", u"a-b-c"},
      {kIn, 1, 1, u"-", u"+", u"a+b-c"},  {kIn, 3, -1, u"-", u"+", u"a-b+c"},
      {kIn, 6, -1, u"c", u"+", u"a-b-c"}, {kIn, 1, 0, u"-", u"+", u"a-b-c"},
      {kIn, 1, -1, u"", u"", u"a-b-c"},   {kIn, 1, -1, u"B", u"x", u"a-b-c"},
      {kIn | 1, 1, -1, u"B", u"x", u"a-x-c"}, {kIn, 1, -1, u"-b", u"+B", u"a+B-c"},
      // A replacement of another length than find changes nothing.
      {kIn, 1, -1, u"-", u"++", u"a-b-c"}, {kIn, 1, -1, u"-b", u"+", u"a-b-c"}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "start " << c.start << " count " << c.count);
    crt::wcscpy(variable, u"a-b-c");
    ReplaceText(variable, c.find, c.replacement, c.mode, c.start, c.count, 0);
    EXPECT_EQ(Str(variable), c.expected);
  }
  ReplaceText(variable, u"-", u"+", kReplaceInPlace, 0);
  ReplaceText(nullptr, u"-", u"+", kReplaceInPlace, 0);
  EXPECT_EQ(Str(variable), u"a+b+c");
  EXPECT_EQ(variable, buffer);
  EXPECT_EQ(Position(), kPos);
  EXPECT_EQ(Fake.calls.size(), calls);
}

TEST_F(TextOperationsTest, ConvertTextFromEachFormat) {
  const char16_t units[] = u"abc";
  enum Place { kOutside, kInPlace, kBehind };  // the memory: where, and the result
  // clang-format off
  const struct {
    const void* memory;
    std::int64_t length;
    std::int32_t format;
    std::u16string expected;
    Place place = kOutside;
  } cases[] = {
      {"AB", -1, kConvertAnsi, u"AB"}, {"AB", 1, kConvertAnsi, u"A"}, {"AB", -5, kConvertAnsi, u""},
      {"A\0B", 3, kConvertAnsi, std::u16string(u"A\0B", 3)},
      {"A\x80\x81\x8A\x9F\xA0\xE9\xFF", -1, 0, u"A\u20AC\u0081\u0160\u0178\u00A0\u00E9\u00FF"},
      {units, 5, kConvertUtf16, u"abc"}, {units, 2, kConvertUtf16, u"ab"},
      {units, -1, kConvertUtf16, u"abc"}, {units, -2, kConvertUtf16, u""},
      {"\xC3\xA9", 2, kConvertUtf8, u"\u00E9"}, {"\xC3\xA9", 1, kConvertUtf8, u"\uFFFD"},
      {"a\xF0\x9F\x98\x80z", -1, kConvertUtf8, u"a\U0001F600z"},
      {"a\xFF", -1, kConvertUtf8, u"a\uFFFD"},
      {nullptr, -1, kConvertUtf8, u""}, {nullptr, 5, kConvertUtf16, u""},
      // 8 bytes of memory in the work area, read before the result
      // overwrites them or the growth (beyond 10 bytes) moves them.
      {"a\0b\0c\0d\0", -1, kConvertUtf16, u"abcd", kBehind},
      {"a\0b\0c\0d\0", 3, kConvertUtf16, u"abc", kInPlace},
      {"ABCDEFG", -1, kConvertAnsi, u"ABCDEFG", kInPlace},
      {"\xC3\xA9z\xC3\xA9zyx", 8, kConvertUtf8, u"\u00E9z\u00E9zyx", kBehind}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "format " << c.format << " length " << c.length);
    Restart();
    const void* memory = c.memory;
    if (c.place != kOutside) {
      StringWorkAreaShutdown();
      StringWorkAreaStartup();
      PushText(u"<");
      char* room = reinterpret_cast<char*>(ReserveText(4, kPos));
      std::copy_n(static_cast<const char*>(c.memory), 8, room);
      room[8] = room[9] = 0;
      memory = room;
    }
    const std::int32_t pos = c.place == kBehind ? Position() : kPos;
    ConvertText(memory, c.length, c.format, pos);
    ExpectResult(c.expected, pos);
  }
}

TEST_F(TextOperationsTest, ResultsAreTheEmptyTextWhenMemoryRunsOut) {
  FailNextAllocation();
  ReplaceText(u"aXbX", u"X", u"YYYYYY", kPos);
  ExpectResult(u"");
  FailNextAllocation();
  ConvertText("long enough to grow", -1, kConvertAnsi, kPos);
  ExpectResult(u"");
  PushText(u"aXbX");
  FailNextAllocation();
  ReplaceText(TextAt(kPos), u"X", u"Y", kPos);
  ExpectResult(u"");
  EXPECT_EQ(StringWorkArea.failures, 3);
  ReplaceText(u"aXbX", u"X", u"YYYYYY", kPos);
  ExpectResult(u"aYYYYYYbYYYYYY");
}

}  // namespace
}  // namespace huecast
