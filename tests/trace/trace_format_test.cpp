#include <gtest/gtest.h>

#include <string>

#include "trace/trace.h"

namespace {

std::u16string FormatWith(size_t capacity, TraceTextEnd* end, const WCHAR* format, ...) {
  std::u16string buffer(capacity + 1, u'#');
  va_list args;
  va_start(args, format);
  FormatTraceText(reinterpret_cast<WCHAR*>(buffer.data()), capacity, format, args, end);
  va_end(args);
  EXPECT_EQ(buffer[capacity], u'#') << "wrote past the buffer";
  return std::u16string(buffer.c_str());
}

template <typename... Args>
std::u16string Format(const WCHAR* format, Args... args) {
  return FormatWith(256, nullptr, format, args...);
}

TEST(TraceFormat, NumbersAsTheMessagesUseThem) {
  EXPECT_EQ(Format(WSTR("%d|%d|%d"), 0, -17, static_cast<int>(0x80000000u)), u"0|-17|-2147483648");
  EXPECT_EQ(Format(WSTR("[%6d][%6d][%6d]"), 72, -1368, 12345678), u"[    72][ -1368][12345678]");
  EXPECT_EQ(Format(WSTR("[%2d][%2d][%02d][%03d]"), 5, 123, 5, -5), u"[ 5][123][05][-05]");
  EXPECT_EQ(Format(WSTR("[%-4d]"), 7), u"[7   ]");
  // A count above the signed range prints as negative, as the C runtime does.
  EXPECT_EQ(Format(WSTR("%6d"), 0xFFFFFFFFu), u"    -1");
  EXPECT_EQ(Format(WSTR("%08X %x %u"), 0x1F00Au, 0xABCu, 4294967295u), u"0001F00A abc 4294967295");
  // long is 32-bit, as on Windows; only ll takes 64 bits.
  EXPECT_EQ(Format(WSTR("%ld %lld %d"), -3, -5000000000LL, 4), u"-3 -5000000000 4");
}

TEST(TraceFormat, CharactersStringsAndPercent) {
  EXPECT_EQ(Format(WSTR("%C%C %C"), 'C', 'F', 0x141), u"CF A");  // %C: a narrow character
  EXPECT_EQ(Format(WSTR("%c"), 0x263A), u"\u263A");
  EXPECT_EQ(Format(WSTR("%s|%ls|%S|%hs"), WSTR("wide"), WSTR("too"), "narrow", "also"),
            u"wide|too|narrow|also");
  EXPECT_EQ(Format(WSTR("[%5s][%-5s]"), WSTR("ab"), WSTR("cd")), u"[   ab][cd   ]");
  EXPECT_EQ(Format(WSTR("%s"), static_cast<const WCHAR*>(nullptr)), u"(null)");
  EXPECT_EQ(Format(WSTR(" 5.00%% a%qb end%")), u" 5.00% a%qb end");
}

TEST(TraceFormat, BoundedBufferStillReportsTheWholeText) {
  TraceTextEnd end;
  EXPECT_EQ(FormatWith(5, &end, WSTR("%s-%d\r\n"), WSTR("abcdef"), 42), u"abcd");
  EXPECT_EQ(end.fullLength, 11u);
  EXPECT_EQ(end.last[0], u'\r');
  EXPECT_EQ(end.last[1], u'\n');

  // Huge widths are capped, never trusted.
  EXPECT_EQ(FormatWith(8, &end, WSTR("%99999999999999999999999d"), 1), u"       ");
  EXPECT_EQ(end.fullLength, TRACE_LINE_CHARS);
}

// Found by fuzzing: a buffer of one character was left without its terminator.
TEST(TraceFormat, ABufferOfOneCharacterHoldsTheTerminatorOnly) {
  TraceTextEnd end;
  EXPECT_EQ(FormatWith(1, &end, WSTR("abc")), u"");
  EXPECT_EQ(end.fullLength, 3u);
  EXPECT_EQ(FormatWith(1, nullptr, WSTR("")), u"");
}

}  // namespace
