// UTF-8 and UTF-16 both ways, with the text users hand in: every length of sequence, surrogate
// pairs, and what is refused or replaced.
#include "common/io/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UtfTest, WellFormedTextRoundTripsAndStraySurrogatesBecomeReplacements) {
  const struct {
    std::u16string utf16;
    std::string utf8;
  } both[] = {
      {u"", ""},
      {u"Label 48", "Label 48"},
      {u"\u00e9t\u00e9", "\xC3\xA9t\xC3\xA9"},
      {u"\u20ac\uFFFD", "\xE2\x82\xAC\xEF\xBF\xBD"},
      {u"\U0001F5A8 \U0010FFFF", "\xF0\x9F\x96\xA8 \xF4\x8F\xBF\xBF"},
  };
  for (const auto& c : both) {
    EXPECT_EQ(qxvn::Utf16ToUtf8(c.utf16), c.utf8);
    std::u16string back;
    EXPECT_TRUE(qxvn::Utf8ToUtf16(c.utf8, &back));
    EXPECT_EQ(back, c.utf16);
  }
  // A high surrogate at the end, a low one alone, two highs: each one U+FFFD.
  EXPECT_EQ(qxvn::Utf16ToUtf8(std::u16string{u'a', char16_t(0xD83D)}), "a\xEF\xBF\xBD");
  EXPECT_EQ(qxvn::Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'b'}),
            "\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(qxvn::Utf16ToUtf8(std::u16string{char16_t(0xD800), char16_t(0xD800), char16_t(0xDC00)}),
            "\xEF\xBF\xBD\xF0\x90\x80\x80");
}

TEST(UtfTest, MalformedUtf8IsRefusedAtItsFirstBadByte) {
  const struct {
    std::string text;
    size_t badAt;
  } bad[] = {
      {"ab\x80", 2},            // a continuation byte alone
      {"\xC0\xAF", 0},          // an overlong '/'
      {"x\xE2\x82", 1},         // cut short
      {"\xED\xA0\x80", 0},      // an encoded surrogate
      {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
      {"ok\xE2\x28\xA1", 2},    // a bad continuation
  };
  for (const auto& c : bad) {
    std::u16string out;
    size_t at = 99;
    EXPECT_FALSE(qxvn::Utf8ToUtf16(c.text, &out, &at)) << c.badAt;
    EXPECT_EQ(at, c.badAt);
  }
}

}  // namespace
