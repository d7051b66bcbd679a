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
    const SYSTEMTIME t{2025, 1, 0, 2, 3, 4, 5, 6};
    qxhost::SetFixedLocalTime(&t);
    qxhost::SetDebugSink([this](std::u16string_view line) { lines.emplace_back(line); });
  }
  void TearDown() override {
    qxhost::SetDebugSink(nullptr);
    qxhost::SetFixedLocalTime(nullptr);
  }

  // The one line that `message` traces at INF.
  std::u16string Trace(BOOL complete, const std::u16string& message) {
    lines.clear();
    TraceMessage(TRACE_INF, complete, WSTR("%s"), message.c_str());
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? std::u16string() : lines.back();
  }

  std::vector<std::u16string> lines;
};

const std::u16string kInfPrefix = u"2025-01-02 03:04:05.006  [INF]  ";

TEST_F(TraceLineTest, PrefixCarriesDateTimeMillisecondsAndLevelTag) {
  const std::pair<BYTE, const char16_t*> levels[] = {
      {TRACE_ERR, u"ERR"}, {TRACE_WRN, u"WRN"}, {TRACE_INF, u"INF"}, {TRACE_NON, u"NON"},
      {TRACE_DBG, u"DBG"}, {TRACE_VER, u"VER"}, {6, u"???"}};
  for (const auto& [level, tag] : levels) {
    lines.clear();
    TraceMessage(level, TRUE, WSTR("a"));
    EXPECT_EQ(lines,
              std::vector<std::u16string>{u"2025-01-02 03:04:05.006  [" + std::u16string(tag) + u"]  a\r\n"});
  }
}

// A complete line always ends in CR LF; an incomplete one is sent as formatted.
TEST_F(TraceLineTest, LineEnds) {
  struct Case {
    BOOL complete;
    const char16_t* message;
    const char16_t* sent;
  };
  for (const Case& c :
       {Case{TRUE, u"lf\n", u"lf\r\n"}, Case{TRUE, u"crlf\r\n", u"crlf\r\n"}, Case{TRUE, u"cr\r", u"cr\r\n"},
        Case{TRUE, u"none", u"none\r\n"}, Case{TRUE, u"", u"\r\n"}, Case{TRUE, u"\n", u"\r\n"},
        Case{TRUE, u"cr cr\r\r", u"cr cr\r\r\n"}, Case{FALSE, u"part", u"part"},
        Case{FALSE, u"lf\n", u"lf\n"}, Case{FALSE, u"cr\r", u"cr\r"}}) {
    EXPECT_EQ(Trace(c.complete, c.message), kInfPrefix + c.sent);
  }
}

// The line buffer holds 1023 characters and a terminator.
constexpr size_t kMaxLine = TRACE_LINE_CHARS - 1;

TEST_F(TraceLineTest, OverlongLineIsCutAndKeepsItsLineEnd) {
  const std::u16string fits(kMaxLine - kInfPrefix.size() - 2, u'x');
  EXPECT_EQ(Trace(TRUE, fits), kInfPrefix + fits + u"\r\n");

  const std::u16string body(3000, u'y');
  for (BOOL complete : {TRUE, FALSE})
    for (const std::u16string end : {u"", u"\n", u"\r", u"\r\n"}) {
      SCOPED_TRACE(testing::Message() << "complete " << complete << ", end of " << end.size());
      const std::u16string line = Trace(complete, body + end);
      const std::u16string kept = complete ? u"\r\n" : end;
      ASSERT_EQ(line.size(), kMaxLine);
      EXPECT_EQ(line.substr(0, kInfPrefix.size()), kInfPrefix);
      EXPECT_EQ(line.substr(line.size() - kept.size() - 1), u"y" + kept);
    }
}

TEST_F(TraceLineTest, CutNeverSplitsASurrogatePair) {
  // Prefix + 988 characters leave the cut exactly between the two halves of a pair.
  std::u16string message(kMaxLine - 2 - kInfPrefix.size() - 1, u'a');
  for (int i = 0; i < 10; ++i) message += u"\U0001F600";
  const std::u16string line = Trace(TRUE, message);
  ASSERT_GE(line.size(), 3u);
  EXPECT_EQ(line.substr(line.size() - 3), u"a\r\n");
}

}  // namespace
