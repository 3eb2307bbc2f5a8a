#include "platform/posix/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "fake/fake_platform.h"

namespace huecast {
namespace {

TEST(CommandLineTest, JoinsQuotesAndDecodesTheArguments) {
  const struct {
    std::vector<const char*> argv;
    std::u16string line;
    std::size_t parameterUnits;
    const char16_t* printed = nullptr;  // what the tool prints for the line
  } cases[] = {
      {{}, u"", 0},
      {{"prog"}, u"prog", 0},
      {{"prog", "a", "b"}, u"prog a b", 4},
      {{"prog", ""}, u"prog \"\"", 3},
      {{"my prog", "a b", "c"}, u"\"my prog\" \"a b\" c", 8},
      {{"p", " "}, u"p \" \"", 4},
      {{"p", "a\tb", "C:\\x\\"}, u"p a\tb C:\\x\\", 10},
      // A double quote stays where the scan reads it as a character; it
      // becomes two apostrophes where it would open a group, and everywhere
      // in an argument that is itself in double quotes.
      {{"p", "\"", "\"x", "y\"", "say \"hi there\"", "''\"", "x'\"y\"'", "\"' b'\""},
       u"p '' ''x y\" \"say ''hi there''\" ''\" x'\"y\"' \"''' b'''\"",
       51},
      // The program path loses its double quotes and is grouped by its spaces.
      {{"p\" 07 \"q", "a"}, u"\"p 07 q\" a", 2},
      {{"\"", "a"}, u"\"\" a", 2},
      {{"p", "\xE2\x82\"\xC3\xA9"}, u"p \uFFFD\"\u00E9", 4},
      {{"p", "\xC3\xA9", "\xF0\x9F\x98\x80"}, u"p \u00E9 \U0001F600", 5},
      {{"p\xFF",
        "a\xFF"
        "b",
        "\xE2\x82"},
       u"p\uFFFD a\uFFFDb \uFFFD",
       6},
      // Pairs of a code and a text, each text printed as given; but in double
      // quotes a double quote travels as '', so after an apostrophe it cannot
      // be told from ''' typed: the pair forms first.
      // clang-format off
      {{"p", "0A", "\"", "07", "\"\"", "0A", "say \"hi there\"", "07", "end", "0A", "''\"", "07",
        "\"'''"},
       u"p 0A '' 07 ''\" 0A \"say ''hi there''\" 07 end 0A ''\" 07 '''''", 58,
       u"\"\"\"say \"hi there\"end\"\"\"\"'\r\n"},
      {{"p", "0E", "\"'\"", "07", "'\"'", "0E", "a \"'b", "07", "\"' c", "0E", "the boys'\""},
       u"p 0E '''\" 07 '\"' 0E \"a '''b\" 07 \"''' c\" 0E \"the boys'''\"", 55,
       u"\"'\"'\"'a \"'b\"' cthe boys\"'\r\n"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    const BuiltCommandLine built = BuildCommandLine(static_cast<int>(c.argv.size()), c.argv.data());
    ASSERT_NE(built.units, nullptr);
    EXPECT_EQ(std::u16string(built.units), c.line);
    EXPECT_EQ(built.length, c.line.size());
    EXPECT_EQ(built.parameterUnits, c.parameterUnits);
    if (c.printed != nullptr) {
      FakeReset(built.units);
      FakeRunProgram();
      EXPECT_EQ(FakeWrittenText(), c.printed);
    }
    std::free(built.units);
  }
}

}  // namespace
}  // namespace huecast
