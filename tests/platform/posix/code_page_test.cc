#include "platform/posix/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace huecast {
namespace {

std::u16string Decode(const std::string& bytes) {
  std::u16string units(DecodeUtf8(bytes.data(), bytes.size(), nullptr), u'#');
  EXPECT_EQ(DecodeUtf8(bytes.data(), bytes.size(), units.data()), units.size());
  return units;
}

std::string Encode(const std::u16string& units, bool final, std::size_t* consumed) {
  std::string bytes(3 * units.size(), '#');
  bytes.resize(EncodeUtf8(units.data(), units.size(), final, bytes.data(), consumed));
  return bytes;
}

constexpr char16_t R = kReplacementCharacter;

TEST(CodePageTest, DecodesUtf8ReplacingEachMaximalInvalidSubpart) {
  // clang-format off
  const struct {
    std::string bytes;
    std::u16string units;
  } cases[] = {
      {"", u""}, {std::string("A\0B", 3), std::u16string(u"A\0B", 3)}, {"\x7F", u"\x7F"},
      {"\xC2\x80\xC3\xA9\xDF\xBF", u"\u0080\u00E9\u07FF"},
      {"\xE0\xA0\x80\xE2\x82\xAC\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF",
       u"\u0800\u20AC\uD7FF\uE000\uFFFF"},
      {"\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", u"\U00010000\U0001F600\U0010FFFF"},
      // Overlong forms, surrogate code points and values beyond U+10FFFF.
      {"\xC0\x80", {R, R}}, {"\xC1\xBF", {R, R}}, {"\xE0\x80\x80", {R, R, R}},
      {"\xF0\x80\x80\x80", {R, R, R, R}}, {"\xED\xA0\x80", {R, R, R}}, {"\xED\xBF\xBF", {R, R, R}},
      {"\xF4\x90\x80\x80", {R, R, R, R}},
      // Truncated sequences: one U+FFFD, and the breaking byte starts anew.
      {"\xE2\x82", {R}}, {"\xE2\x82" "A", {R, u'A'}}, {"\xF0\x9F\x98", {R}},
      {"\xF0\x9F\x98" "A", {R, u'A'}}, {"\xE1\x80\xC3\xA9", {R, u'\u00E9'}}, {"\xC2", {R}},
      // Stray continuation bytes and bytes that never lead.
      {"\x80", {R}}, {"A\x80\xBF" "B", {u'A', R, R, u'B'}}, {"\xF5\x80", {R, R}},
      {"\xF8\xFE\xFF", {R, R, R}}};
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(Decode(c.bytes), c.units) << "case " << &c - cases;
}

TEST(CodePageTest, EncodesUtf8WithPairsAndLoneSurrogates) {
  // clang-format off
  const struct {
    std::u16string units;
    bool final;
    std::string bytes;
    std::size_t consumed;
  } cases[] = {
      {u"", true, "", 0}, {std::u16string(1, u'\0'), true, std::string(1, '\0'), 1},
      {u"A\u007F\u0080\u07FF", true, "A\x7F\xC2\x80\xDF\xBF", 4},
      {u"\u0800\u20AC\uFFFF", true, "\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF", 3},
      {u"\U0001F600\U0010FFFF", true, "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", 4},
      {{0xD83D, u'A'}, true, "\xEF\xBF\xBD" "A", 2},
      {{0xDE00, 0xD83D}, true, "\xEF\xBF\xBD\xEF\xBF\xBD", 2},
      {{u'A', 0xDE00}, false, "A\xEF\xBF\xBD", 2}, {{u'A', 0xD83D}, true, "A\xEF\xBF\xBD", 2},
      // A high surrogate that ends a slice waits for its partner.
      {{u'A', 0xD83D}, false, "A", 1}, {{0xD83D}, false, "", 0},
      {{0xD83D, 0xD83D}, false, "\xEF\xBF\xBD", 1}};
  // clang-format on
  for (const auto& c : cases) {
    std::size_t consumed = 99;
    EXPECT_EQ(Encode(c.units, c.final, &consumed), c.bytes) << "case " << &c - cases;
    EXPECT_EQ(consumed, c.consumed) << "case " << &c - cases;
  }
}

TEST(CodePageTest, MultiByteToWideCharCountsFirstThenConverts) {
  const char utf8[] = "h\xC3\xA9\xF0\x9F\x98\x80";
  const int needed = PosixMultiByteToWideChar(CP_UTF8, utf8, 7, nullptr, 0);
  ASSERT_EQ(needed, 4);
  char16_t units[6] = u"#####";
  EXPECT_EQ(PosixMultiByteToWideChar(CP_UTF8, utf8, 7, units, needed), 4);
  EXPECT_EQ(std::u16string(units, 5), u"h\u00E9\U0001F600#");
  // Too small a buffer converts nothing; a larger one is fine.
  EXPECT_EQ(PosixMultiByteToWideChar(CP_UTF8, utf8, 7, units, 3), 0);
  EXPECT_EQ(PosixMultiByteToWideChar(CP_UTF8, utf8, 7, units, 6), 4);
  // A count of -1 includes the terminator.
  EXPECT_EQ(PosixMultiByteToWideChar(CP_ACP, "a\x80", -1, nullptr, 0), 3);
  EXPECT_EQ(PosixMultiByteToWideChar(CP_ACP, "a\x80", -1, units, 3), 3);
  EXPECT_EQ(std::u16string(units, 3), std::u16string(u"a\u20AC\0", 3));
  EXPECT_EQ(PosixMultiByteToWideChar(CP_UTF8, "", -1, nullptr, 0), 1);
  // Nothing to convert, or nothing it can convert, gives 0.
  EXPECT_EQ(PosixMultiByteToWideChar(CP_UTF8, utf8, 0, nullptr, 0), 0);
  EXPECT_EQ(PosixMultiByteToWideChar(CP_UTF8, utf8, 0, units, 6), 0);
  EXPECT_EQ(PosixMultiByteToWideChar(CP_UTF8, nullptr, 3, nullptr, 0), 0);
  EXPECT_EQ(PosixMultiByteToWideChar(CP_UTF8, utf8, -2, nullptr, 0), 0);
  EXPECT_EQ(PosixMultiByteToWideChar(CP_UTF8, utf8, 7, nullptr, 4), 0);
  EXPECT_EQ(PosixMultiByteToWideChar(437, utf8, 7, nullptr, 0), 0);
}

}  // namespace
}  // namespace huecast
