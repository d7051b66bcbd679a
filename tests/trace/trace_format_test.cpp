#include <gtest/gtest.h>

#include <string>

#include "trace/trace.h"

namespace {

// Formats into a buffer of `capacity` characters; returns the text and what was reported.
struct Formatted {
  std::u16string text;
  size_t written = 0;
  TraceTextEnd end;
};

Formatted FormatWith(size_t capacity, const WCHAR* format, ...) {
  std::u16string buffer(capacity + 1, u'#');
  Formatted f;
  va_list args;
  va_start(args, format);
  f.written = FormatTraceText(reinterpret_cast<WCHAR*>(buffer.data()), capacity, format, args, &f.end);
  va_end(args);
  f.text = std::u16string(buffer.c_str());
  EXPECT_EQ(buffer[capacity], u'#') << "wrote past the buffer";
  return f;
}

template <typename... Args>
std::u16string Format(const WCHAR* format, Args... args) {
  return FormatWith(256, format, args...).text;
}

TEST(TraceFormat, SignedDecimalsWithWidthAndPadding) {
  EXPECT_EQ(Format(WSTR("%d|%d|%d"), 0, -17, 2147483647), u"0|-17|2147483647");
  EXPECT_EQ(Format(WSTR("%d"), static_cast<int>(0x80000000u)), u"-2147483648");
  EXPECT_EQ(Format(WSTR("[%6d]"), 72), u"[    72]");
  EXPECT_EQ(Format(WSTR("[%6d]"), -1368), u"[ -1368]");
  EXPECT_EQ(Format(WSTR("[%6d]"), 12345678), u"[12345678]");
  EXPECT_EQ(Format(WSTR("[%2d]"), 5), u"[ 5]");
  EXPECT_EQ(Format(WSTR("[%2d]"), 123), u"[123]");
  EXPECT_EQ(Format(WSTR("[%02d]"), 5), u"[05]");
  EXPECT_EQ(Format(WSTR("[%03d]"), -5), u"[-05]");
  EXPECT_EQ(Format(WSTR("[%-4d]"), 7), u"[7   ]");
  EXPECT_EQ(Format(WSTR("[%-04d]"), 7), u"[7   ]");
  // An unsigned count above the signed range prints as negative, as the C runtime does.
  EXPECT_EQ(Format(WSTR("%6d"), 0xFFFFFFFFu), u"    -1");
}

TEST(TraceFormat, HexUnsignedAndLongLong) {
  EXPECT_EQ(Format(WSTR("%08X"), 0x1F00Au), u"0001F00A");
  EXPECT_EQ(Format(WSTR("%08X"), 0xDEADBEEFu), u"DEADBEEF");
  EXPECT_EQ(Format(WSTR("%x"), 0xABCu), u"abc");
  EXPECT_EQ(Format(WSTR("%u"), 4294967295u), u"4294967295");
  EXPECT_EQ(Format(WSTR("%lld|%llu"), -5000000000LL, 18446744073709551615ULL),
            u"-5000000000|18446744073709551615");
  // long is 32-bit, as on Windows: %ld takes an int-sized argument and the next one follows.
  EXPECT_EQ(Format(WSTR("%ld %d"), -3, 4), u"-3 4");
  EXPECT_EQ(Format(WSTR("%hd %hu"), 70000, 70000), u"4464 4464");
}

TEST(TraceFormat, CharactersStringsAndPercent) {
  EXPECT_EQ(Format(WSTR("%C%C"), 'C', 'F'), u"CF");
  EXPECT_EQ(Format(WSTR("%c"), 0x263A), u"\u263A");
  EXPECT_EQ(Format(WSTR("%C"), 0x141), u"A");  // narrow: only the low byte
  EXPECT_EQ(Format(WSTR("%s|%ls"), WSTR("wide"), WSTR("also")), u"wide|also");
  EXPECT_EQ(Format(WSTR("%S|%hs"), "narrow", "too"), u"narrow|too");
  EXPECT_EQ(Format(WSTR("[%5s][%-5s]"), WSTR("ab"), WSTR("cd")), u"[   ab][cd   ]");
  EXPECT_EQ(Format(WSTR("%s"), static_cast<const WCHAR*>(nullptr)), u"(null)");
  EXPECT_EQ(Format(WSTR(" 5.00%%")), u" 5.00%");
}

TEST(TraceFormat, OddFormatsAreShownNotFollowed) {
  EXPECT_EQ(Format(WSTR("a%qb"), 1), u"a%qb");
  EXPECT_EQ(Format(WSTR("end%")), u"end");
  EXPECT_EQ(Format(static_cast<const WCHAR*>(nullptr)), u"");
}

TEST(TraceFormat, BoundedBufferReportsTheWholeText) {
  Formatted f = FormatWith(5, WSTR("%s-%d\r\n"), WSTR("abcdef"), 42);
  EXPECT_EQ(f.text, u"abcd");
  EXPECT_EQ(f.written, 4u);
  EXPECT_EQ(f.end.fullLength, 11u);
  EXPECT_EQ(f.end.last[0], u'\r');
  EXPECT_EQ(f.end.last[1], u'\n');

  Formatted one = FormatWith(5, WSTR("x"));
  EXPECT_EQ(one.end.fullLength, 1u);
  EXPECT_EQ(one.end.last[0], 0);
  EXPECT_EQ(one.end.last[1], u'x');

  // Huge widths are capped, never trusted.
  Formatted wide = FormatWith(8, WSTR("%99999999999999999999999d"), 1);
  EXPECT_EQ(wide.text, u"       ");
  EXPECT_EQ(wide.end.fullLength, TRACE_LINE_CHARS);
}

}  // namespace
