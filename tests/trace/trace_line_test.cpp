#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/services/host_services.h"
#include "trace/trace.h"

namespace {

// Collects the raw 16-bit lines handed to the debugger output, at a fixed local time.
class TraceLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SYSTEMTIME t{};
    t.wYear = 2025;
    t.wMonth = 1;
    t.wDay = 2;
    t.wHour = 3;
    t.wMinute = 4;
    t.wSecond = 5;
    t.wMilliseconds = 6;
    qxhost::SetFixedLocalTime(&t);
    qxhost::SetDebugSink([this](std::u16string_view line) { lines.emplace_back(line); });
  }
  void TearDown() override {
    qxhost::SetDebugSink(nullptr);
    qxhost::SetFixedLocalTime(nullptr);
  }

  std::u16string Only() const {
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? std::u16string() : lines.back();
  }

  std::vector<std::u16string> lines;
};

const std::u16string kInfPrefix = u"2025-01-02 03:04:05.006  [INF]  ";

TEST_F(TraceLineTest, PrefixCarriesDateTimeMillisecondsAndLevelTag) {
  TraceMessage(TRACE_ERR, TRUE, WSTR("a"));
  TraceMessage(TRACE_WRN, TRUE, WSTR("b"));
  TraceMessage(TRACE_INF, TRUE, WSTR("c"));
  TraceMessage(TRACE_NON, TRUE, WSTR("d"));
  TraceMessage(TRACE_DBG, TRUE, WSTR("e"));
  TraceMessage(TRACE_VER, TRUE, WSTR("f"));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], u"2025-01-02 03:04:05.006  [ERR]  a\r\n");
  EXPECT_EQ(lines[1], u"2025-01-02 03:04:05.006  [WRN]  b\r\n");
  EXPECT_EQ(lines[2], u"2025-01-02 03:04:05.006  [INF]  c\r\n");
  EXPECT_EQ(lines[3], u"2025-01-02 03:04:05.006  [NON]  d\r\n");
  EXPECT_EQ(lines[4], u"2025-01-02 03:04:05.006  [DBG]  e\r\n");
  EXPECT_EQ(lines[5], u"2025-01-02 03:04:05.006  [VER]  f\r\n");
}

TEST_F(TraceLineTest, CompleteLineEndsInCarriageReturnLineFeed) {
  TraceMessage(TRACE_INF, TRUE, WSTR("lf\n"));
  TraceMessage(TRACE_INF, TRUE, WSTR("crlf\r\n"));
  TraceMessage(TRACE_INF, TRUE, WSTR("cr\r"));
  TraceMessage(TRACE_INF, TRUE, WSTR("none"));
  TraceMessage(TRACE_INF, TRUE, WSTR(""));
  TraceMessage(TRACE_INF, TRUE, WSTR("\n"));
  TraceMessage(TRACE_INF, TRUE, WSTR("cr cr\r\r"));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], kInfPrefix + u"lf\r\n");
  EXPECT_EQ(lines[1], kInfPrefix + u"crlf\r\n");
  EXPECT_EQ(lines[2], kInfPrefix + u"cr\r\n");
  EXPECT_EQ(lines[3], kInfPrefix + u"none\r\n");
  EXPECT_EQ(lines[4], kInfPrefix + u"\r\n");
  EXPECT_EQ(lines[5], kInfPrefix + u"\r\n");
  EXPECT_EQ(lines[6], kInfPrefix + u"cr cr\r\r\n");
}

TEST_F(TraceLineTest, IncompleteLineIsSentAsFormatted) {
  TraceMessage(TRACE_INF, FALSE, WSTR("part"));
  TraceMessage(TRACE_INF, FALSE, WSTR("lf\n"));
  TraceMessage(TRACE_INF, FALSE, WSTR("cr\r"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], kInfPrefix + u"part");
  EXPECT_EQ(lines[1], kInfPrefix + u"lf\n");
  EXPECT_EQ(lines[2], kInfPrefix + u"cr\r");
}

// The line buffer holds 1023 characters and a terminator.
constexpr size_t kMaxLine = TRACE_LINE_CHARS - 1;

TEST_F(TraceLineTest, OverlongCompleteLineIsCutAndStillEndsTheLine) {
  std::u16string fits(kMaxLine - kInfPrefix.size() - 2, u'x');
  TraceMessage(TRACE_INF, TRUE, WSTR("%s"), fits.c_str());
  EXPECT_EQ(Only(), kInfPrefix + fits + u"\r\n");

  std::u16string body(3000, u'y');
  for (const char16_t* end : {u"", u"\n", u"\r", u"\r\n"}) {
    lines.clear();
    std::u16string message = body + end;
    TraceMessage(TRACE_INF, TRUE, WSTR("%s"), message.c_str());
    std::u16string line = Only();
    ASSERT_EQ(line.size(), kMaxLine);
    EXPECT_EQ(line.substr(0, kInfPrefix.size()), kInfPrefix);
    EXPECT_EQ(line.substr(line.size() - 3), u"y\r\n");
  }
}

TEST_F(TraceLineTest, OverlongIncompleteLineKeepsItsOwnLineEnd) {
  std::u16string body(3000, u'z');
  struct Case {
    const char16_t* end;
    size_t length;
  };
  for (const Case& c : {Case{u"", 0}, Case{u"\n", 1}, Case{u"\r", 1}, Case{u"\r\n", 2}}) {
    lines.clear();
    std::u16string message = body + c.end;
    TraceMessage(TRACE_INF, FALSE, WSTR("%s"), message.c_str());
    std::u16string line = Only();
    ASSERT_EQ(line.size(), kMaxLine);
    EXPECT_EQ(line.substr(line.size() - c.length), c.end);
    EXPECT_EQ(line[line.size() - c.length - 1], u'z');
  }
}

TEST_F(TraceLineTest, CutNeverSplitsASurrogatePair) {
  // Prefix + 988 characters leave the cut exactly between the two halves of a pair.
  std::u16string message(kMaxLine - 2 - kInfPrefix.size() - 1, u'a');
  for (int i = 0; i < 10; ++i) message += u"\U0001F600";
  TraceMessage(TRACE_INF, TRUE, WSTR("%s"), message.c_str());
  std::u16string line = Only();
  ASSERT_GE(line.size(), 3u);
  EXPECT_EQ(line.substr(line.size() - 3), u"a\r\n");
}

}  // namespace
