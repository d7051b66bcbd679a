#include <gtest/gtest.h>

#include "tests/support/job_fixture.h"

namespace {

using qxtest::JobFixture;

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

TEST_F(DotStats, BlankThenPrintRunOfTheWorkedPage) {
  j.UpdateDotStats(0, 10);
  j.UpdateDotStats(200, 20);
  EXPECT_EQ(j.m_nMaxLEDots, 114u);
  EXPECT_EQ(j.m_nMaxSfDots, 200u);
  EXPECT_EQ(j.m_nMinSfDots, 0u);
  EXPECT_EQ(j.m_nTotalDots, 4000u);
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

// The report lines, from the first rule on, of the page just ended.
std::vector<std::string> Report(const JobFixture& f) {
  std::vector<std::string> texts = f.trace.Texts();
  auto first = std::find(texts.begin(), texts.end(), "========================");
  EXPECT_GE(texts.end() - first, 20);
  if (texts.end() - first < 20) return {};
  return std::vector<std::string>(first, first + 20);
}

// An empty page 8 dots wide with `lines` lines counted: 19 bytes against `lines` bitmap bytes.
std::vector<std::string> EmptyPageReport(LONG width, DWORD lines) {
  JobFixture f;
  EXPECT_TRUE(f.StartJob());
  EXPECT_TRUE(f.StartPage());
  f.job.m_nPageWidth = width;
  f.job.m_nTotalLines = lines;
  EXPECT_TRUE(f.EndPage());
  std::vector<std::string> report = Report(f);
  return report.size() == 20 ? std::vector<std::string>(report.begin() + 15, report.begin() + 19) : report;
}

TEST(PageReport, PercentAndSavedBytes) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(EmptyPageReport(8, 400), (Lines{"    BitmapBytes :    400", "    PrintBytes  :     19",
                                            "    SavedBytes  :    381", "    Percent     :  4.75%"}));
  EXPECT_EQ(EmptyPageReport(8, 38000)[3], "    Percent     :  0.05%");
  EXPECT_EQ(EmptyPageReport(8, 15), (Lines{"    BitmapBytes :     15", "    PrintBytes  :     19",
                                           "    SavedBytes  :     -4", "    Percent     : 126.66%"}));
  EXPECT_EQ(EmptyPageReport(8, 1)[3], "    Percent     : 1900.00%");
}

TEST(PageReport, NoBitmapMeansNoPercentage) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(EmptyPageReport(576, 0), (Lines{"    BitmapBytes :      0", "    PrintBytes  :     19",
                                            "    SavedBytes  :    -19", "    Percent     :    n/a"}));
  EXPECT_EQ(EmptyPageReport(0, 500)[3], "    Percent     :    n/a");
}

}  // namespace
