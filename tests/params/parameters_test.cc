#include "params/parameters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/work_area_fixture.h"

namespace huecast {
namespace {

using Texts = std::vector<std::u16string>;

class ParametersTest : public WorkAreaTest {
 protected:
  void SetUp() override {
    WorkAreaTest::SetUp();
    ParameterSupportStartup();
  }
  static void UseCommandLine(const std::u16string& line) {
    Fake.commandLine = line;
    ParameterCursor->next = 0;
  }
  // Fetches count parameters in sequence, each at position 0.
  static Texts FetchInSequence(std::size_t count) {
    Texts texts;
    for (std::size_t i = 0; i < count; ++i) {
      texts.push_back(Str(NextParameter(0)));
      StringWorkArea.position = 0;
    }
    return texts;
  }
  static std::u16string Fetch(std::int32_t number) {
    const std::u16string text = Str(ParameterAt(number, 0));
    StringWorkArea.position = 0;
    return text;
  }
};

TEST_F(ParametersTest, SplitsAtSpacesAndGroupsByQuotes) {
  // clang-format off
  const struct {
    std::u16string line;
    Texts parameters;
  } cases[] = {
      {u"prog a b", {u"a", u"b"}},               {u"prog a   b", {u"a", u"b"}},
      {u"prog \"a b\" c", {u"a b", u"c"}},       {u"prog \"\" x", {u"", u"x"}},
      {u"prog \"ab\"cd", {u"ab", u"cd"}},        {u"prog ab\"cd ef\"", {u"ab\"cd", u"ef\""}},
      {u"prog \"abc", {u"abc"}},                 {u"prog a\tb", {u"a\tb"}},
      {u"prog \ta \t", {u"\ta", u"\t"}},         {u"prog a b  ", {u"a", u"b"}},
      {u"prog C:\\dir\\ x", {u"C:\\dir\\", u"x"}}, {u"prog \\\"a b\\\"", {u"\\\"a", u"b\\\""}},
      {u"prog \"a\"\"b\"", {u"a", u"b"}},        {u"prog a \"\"", {u"a", u""}},
      {u"prog \"", {u""}},                       {u"prog    a", {u"a"}},
      {u"prog ", {}},                            {u"prog", {}},
      // An entirely empty command line has no program path either.
      {u"", {}},                                 {u"   ", {}},
      {u"\"c:\\my dir\\prog.exe\" a", {u"a"}},   {u"\"prog\"a b", {u"a", u"b"}}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "command line of " << c.line.size() << " units, case " << &c - cases);
    UseCommandLine(c.line);
    const auto count = static_cast<std::int32_t>(c.parameters.size());
    const bool noPath = c.line.find_first_not_of(u' ') == std::u16string::npos;
    EXPECT_EQ(CountParameters(), noPath ? -1 : count);
    EXPECT_EQ(FetchInSequence(c.parameters.size()), c.parameters);
    EXPECT_EQ(ParameterCursor->next, count);
    EXPECT_EQ(Fetch(count), u"");
    EXPECT_EQ(Str(NextParameter(0)), u"");
    EXPECT_EQ(ParameterCursor->next, count);
  }
}

TEST_F(ParametersTest, ParameterAtSetsTheCursorAndFetchesMoveItOnePast) {
  UseCommandLine(u"prog a b c");
  EXPECT_EQ(Fetch(5), u"");
  EXPECT_EQ(ParameterCursor->next, 5);
  EXPECT_EQ(Str(NextParameter(0)), u"");
  EXPECT_EQ(ParameterCursor->next, 5);
  EXPECT_EQ(Fetch(2), u"c");
  EXPECT_EQ(ParameterCursor->next, 3);
  EXPECT_EQ(Fetch(-1), u"");
  EXPECT_EQ(ParameterCursor->next, 3);
  EXPECT_EQ(Fetch(0), u"a");
  EXPECT_EQ(Fetch(-1), u"b");
  EXPECT_EQ(ParameterCursor->next, 2);
}

TEST_F(ParametersTest, FetchedTextLandsAtThePositionGiven) {
  const std::u16string longer(40, u'z');
  UseCommandLine(u"prog 1E7 " + longer);
  PushText(u"$");
  char16_t* text = NextParameter(2);
  EXPECT_EQ(text, TextAt(2));
  EXPECT_EQ(TextFrom(0), u"$1E7");
  EXPECT_EQ(Position(), 2 + 6);
  // A parameter that grows the buffer is returned where the buffer now is.
  text = NextParameter(Position());
  EXPECT_EQ(text, TextAt(8));
  EXPECT_EQ(TextFrom(0), u"$1E7" + longer);
  EXPECT_EQ(Position(), 8 + 80);
  EXPECT_EQ(FakeCount(FakeCallKind::kHeapReAlloc), 1);
}

}  // namespace
}  // namespace huecast
