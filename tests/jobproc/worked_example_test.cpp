#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/job_fixture.h"

namespace {

using qxtest::FromHex;
using qxtest::Hex;

// The whole page of the header's worked example: 384 dots wide, 10 blank lines, then 20 lines of
// 200 dots, darkness 10, gap type 1 and gap length 300.
TEST(WorkedPage, IsExactlyItsSeventyTwoBytes) {
  qxtest::JobFixture f;
  qxhost::SetPrinterDword(f.printer, u"PrintDarkness", 10);
  qxhost::SetPrinterDword(f.printer, u"GapType", 1);
  qxhost::SetPrinterDword(f.printer, u"GapLength", 300);
  ASSERT_TRUE(f.StartJob());
  ASSERT_TRUE(f.StartPage());
  f.job.m_nPageWidth = 384;
  f.job.m_nPageHeight = 30;
  ASSERT_TRUE(f.Blank(10, 48));
  std::vector<BYTE> line(48, 0);
  for (int i = 0; i < 25; ++i) line[i] = 0xFF;
  ASSERT_TRUE(f.Line(line, 20));
  ASSERT_TRUE(f.EndPage());

  std::string expected =
      "1F 20 00 88 1F 27 01 30 88 1F 25 03 C0 C8 72 88 1F 43 01 0A 88 1F 42 01 01 88 1F 45 02 C1 2C 88 "
      "1F 22 01 09 88 1F 21 1B 13 00";
  for (int i = 0; i < 25; ++i) expected += " FF";
  expected += " 88 1F 28 00 88";
  EXPECT_EQ(Hex(f.Spooled()), expected);
  EXPECT_EQ(f.Spooled().size(), 72u);

  std::vector<std::string> texts = f.trace.Texts();
  auto report = std::find(texts.begin(), texts.end(), "========================");
  ASSERT_GE(texts.end() - report, 20);
  EXPECT_EQ(std::vector<std::string>(report, report + 20),
            (std::vector<std::string>{
                "========================", "    PageWidth   :    384", "    PageHeight  :     30",
                "    TotalLines  :     30", "    MaxSfDots   :    200", "    MaxLEDots   :    114",
                "    MinSfDots   :      0", "    TotalDots   :   4000", "    LeadLines   :     10",
                "    TailLines   :      0", "    MaxLine     :     10", "    MaxPrint    :     20",
                "    SumLines    :     10", "    SumPrints   :     20", "========================",
                "    BitmapBytes :   1440", "    PrintBytes  :     72", "    SavedBytes  :   1368",
                "    Percent     :  5.00%", "========================"}));
}

}  // namespace
