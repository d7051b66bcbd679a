#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/job_fixture.h"

namespace {

using qxtest::JobFixture;
using Lines = std::vector<std::string>;

class DotStats : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(f.StartJob());
    ASSERT_TRUE(f.StartPage());
  }
  JobFixture f;
  CJobProc& j = f.job;
};

TEST_F(DotStats, OnlyTheWindowAtTheEndOfARunIsEvaluated) {
  j.UpdateDotStats(100, 34);
  EXPECT_EQ(j.m_nMaxLEDots, 97u);
  j.UpdateDotStats(50, 2);
  EXPECT_EQ(j.m_nMaxLEDots, 97u);     // 3450 / 35 after the first of the two lines is never looked at
  EXPECT_EQ(j.m_nDotRingSum, 3400u);  // 33 lines of 100, 2 of 50
  EXPECT_EQ(j.m_nDotRingIndex, 1u);
  EXPECT_EQ(j.m_nMaxSfDots, 100u);
  EXPECT_EQ(j.m_nMinSfDots, 50u);
  EXPECT_EQ(j.m_nTotalDots, 3500u);
}

TEST_F(DotStats, CodedBlankRunsEnterTheWindowAsEmptyLines) {
  std::vector<BYTE> line(13, 0xFF);
  line[12] = 0xF0;  // 100 dots
  ASSERT_TRUE(f.Line(line, 34));
  ASSERT_TRUE(f.Blank(1));
  ASSERT_TRUE(f.Line(line));
  ASSERT_TRUE(f.Blank(1));
  EXPECT_EQ(j.m_nMaxLEDots, 97u);  // 3400 / 35, the blank line counted as 0 dots
  EXPECT_EQ(j.m_nTotalDots, 3500u);
}

TEST_F(DotStats, MinSfDotsIsSetOnlyByRunsThatDoNotRaiseTheMaximum) {
  for (DWORD dots : {5u, 9u, 30u}) j.UpdateDotStats(dots, 1);
  EXPECT_EQ(j.m_nMinSfDots, 0u);
  j.UpdateDotStats(30, 1);  // equal to the maximum
  EXPECT_EQ(j.m_nMinSfDots, 30u);
  j.UpdateDotStats(0, 3);  // blank runs never count
  j.UpdateDotStats(12, 1);
  j.UpdateDotStats(20, 1);
  EXPECT_EQ(j.m_nMinSfDots, 12u);
  EXPECT_EQ(j.m_nMaxSfDots, 30u);
}

TEST_F(DotStats, LongRunFillsTheRingAtOnce) {
  j.UpdateDotStats(7, 3);
  ASSERT_EQ(j.m_nDotRingIndex, 3u);
  j.UpdateDotStats(40, 35);
  EXPECT_EQ(j.m_nDotRingIndex, 3u);
  EXPECT_EQ(j.m_nDotRingSum, 1400u);
  for (DWORD entry : j.m_anDotRing) EXPECT_EQ(entry, 40u);
  EXPECT_EQ(j.m_nMaxLEDots, 40u);
  EXPECT_EQ(j.m_nTotalDots, 21u + 1400);

  // A long blank run empties the ring; later windows start from nothing.
  j.UpdateDotStats(0, 100000);
  EXPECT_EQ(j.m_nDotRingSum, 0u);
  j.UpdateDotStats(35, 10);
  EXPECT_EQ(j.m_nDotRingSum, 350u);
  EXPECT_EQ(j.m_nMaxLEDots, 40u);
  EXPECT_EQ(j.m_nTotalDots, 1421u + 350);
}

// The twenty report lines, from the first rule on, of the page just ended.
Lines Report(const JobFixture& f) {
  const Lines texts = f.trace.Texts();
  const auto first = std::find(texts.begin(), texts.end(), "========================");
  EXPECT_GE(texts.end() - first, 20);
  return texts.end() - first < 20 ? Lines() : Lines(first, first + 20);
}

// The whole page of the header's worked example: 384 dots wide, 10 blank lines, then 20 lines of
// 200 dots, darkness 10, gap type 1 and gap length 300.
TEST(PageReport, WorkedPageIsExactlyItsSeventyTwoBytes) {
  JobFixture f;
  qxhost::SetPrinterDword(f.printer, u"PrintDarkness", 10);
  qxhost::SetPrinterDword(f.printer, u"GapType", 1);
  qxhost::SetPrinterDword(f.printer, u"GapLength", 300);
  ASSERT_TRUE(f.StartJob());
  ASSERT_TRUE(f.StartPage());
  f.job.m_nPageWidth = 384;
  f.job.m_nPageHeight = 30;
  ASSERT_TRUE(f.Blank(10, 48));
  std::vector<BYTE> line(48, 0);
  std::fill(line.begin(), line.begin() + 25, 0xFF);
  ASSERT_TRUE(f.Line(line, 20));
  ASSERT_TRUE(f.EndPage());

  std::string expected =
      "1F 20 00 88 1F 27 01 30 88 1F 25 03 C0 C8 72 88 1F 43 01 0A 88 1F 42 01 01 88 1F 45 02 C1 2C 88 "
      "1F 22 01 09 88 1F 21 1B 13 00";
  for (int i = 0; i < 25; ++i) expected += " FF";
  expected += " 88 1F 28 00 88";
  EXPECT_EQ(qxtest::Hex(f.Spooled()), expected);
  EXPECT_EQ(f.Spooled().size(), 72u);
  EXPECT_EQ(Report(f),
            (Lines{"========================", "    PageWidth   :    384", "    PageHeight  :     30",
                   "    TotalLines  :     30", "    MaxSfDots   :    200", "    MaxLEDots   :    114",
                   "    MinSfDots   :      0", "    TotalDots   :   4000", "    LeadLines   :     10",
                   "    TailLines   :      0", "    MaxLine     :     10", "    MaxPrint    :     20",
                   "    SumLines    :     10", "    SumPrints   :     20", "========================",
                   "    BitmapBytes :   1440", "    PrintBytes  :     72", "    SavedBytes  :   1368",
                   "    Percent     :  5.00%", "========================"}));
}

// An empty page (19 bytes with a line width) of `width` dots with `lines` lines counted: its byte lines.
TEST(PageReport, PercentAndSavedBytes) {
  struct Case {
    LONG width;
    DWORD lines;
    Lines bytes;
  };
  const Case cases[] = {
      {8, 400, {"   400", "    19", "   381", " 4.75%"}},
      {8, 38000, {" 38000", "    19", " 37981", " 0.05%"}},
      {8, 15, {"    15", "    19", "    -4", "126.66%"}},
      {8, 1, {"     1", "    19", "   -18", "1900.00%"}},
      {576, 0, {"     0", "    19", "   -19", "   n/a"}},  // no bitmap: no percentage
      {0, 500, {"     0", "    14", "   -14", "   n/a"}},  // no line width: no line-bytes package
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " dots, " << c.lines << " lines");
    JobFixture f;
    ASSERT_TRUE(f.StartJob());
    ASSERT_TRUE(f.StartPage());
    f.job.m_nPageWidth = c.width;
    f.job.m_nTotalLines = c.lines;
    ASSERT_TRUE(f.EndPage());
    const Lines report = Report(f);
    ASSERT_EQ(report.size(), 20u);
    EXPECT_EQ(Lines(report.begin() + 15, report.begin() + 19),
              (Lines{"    BitmapBytes : " + c.bytes[0], "    PrintBytes  : " + c.bytes[1],
                     "    SavedBytes  : " + c.bytes[2], "    Percent     : " + c.bytes[3]}));
  }
}

}  // namespace
