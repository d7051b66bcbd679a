#include <gtest/gtest.h>

#include "stream/packages.h"
#include "tests/support/chunk_alloc_failure.h"
#include "tests/support/job_fixture.h"

namespace {

using qxtest::Hex;
using qxtest::JobFixture;
using qxtest::MakeDevMode;

// A page without lines on a device whose printer holds no values: header and trailer only.
const char kEmptyPage[] = "1F 20 00 88 1F 25 02 00 00 88 1F 28 00 88";

std::string Repeat(const std::string& page, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += (i ? " " : "") + page;
  return out;
}

TEST(Lifecycle, CopiesFollowTheCollateRule) {
  struct Case {
    SHORT copies, collate;
    DWORD pages;
    size_t writesPerPage;
  };
  for (const Case& c : {Case{3, 0, 1, 3}, Case{3, 1, 1, 3}, Case{3, 1, 2, 1}, Case{3, 0, 2, 3},
                        Case{0, 0, 2, 1}, Case{1, 0, 1, 1}, Case{-1, 0, 1, 1}}) {
    SCOPED_TRACE(testing::Message() << "copies " << c.copies << " collate " << c.collate << " pages "
                                    << c.pages);
    JobFixture f;
    ASSERT_TRUE(f.StartJob(c.pages, MakeDevMode(480, 300, false, c.copies, c.collate)));
    EXPECT_EQ(f.job.m_wCopies, c.copies > 0 ? c.copies : 1);
    for (DWORD page = 1; page <= c.pages; ++page) {
      ASSERT_TRUE(f.StartPage());
      ASSERT_TRUE(f.EndPage());
      EXPECT_EQ(f.trace.Count("CJobProc::WritePageData(" + std::to_string(page) +
                              ") Copies: " + std::to_string(c.writesPerPage) + " Bytes: 14"),
                1u);
    }
    ASSERT_TRUE(f.job.EndJob(&f.devobj));
    EXPECT_EQ(Hex(f.Spooled()), Repeat(kEmptyPage, c.pages * c.writesPerPage));
    EXPECT_EQ(f.spool.WriteSizes().size(), c.pages * c.writesPerPage);
  }
}

TEST(Lifecycle, JobThroughSeveralPagesWritesEachPageFramedInOrder) {
  JobFixture f;
  f.job.Reset();
  f.job.m_dwJobId = 7;
  ASSERT_TRUE(f.StartJob(2));
  ASSERT_TRUE(f.StartPage());
  f.job.m_nPageWidth = 16;
  ASSERT_TRUE(f.Line({0x80, 0x01}));
  ASSERT_TRUE(f.StartPage());  // closes page 1
  ASSERT_TRUE(f.Line({0x00, 0x03}, 2));
  ASSERT_TRUE(f.EndPage());
  ASSERT_TRUE(f.job.EndJob(&f.devobj));
  EXPECT_EQ(Hex(f.Spooled()),
            "1F 20 00 88 1F 27 01 02 88 1F 25 02 02 00 88 1F 21 04 00 00 80 01 88 1F 28 00 88 "
            "1F 20 00 88 1F 27 01 02 88 1F 25 02 02 00 88 1F 21 03 01 01 03 88 1F 28 00 88");
  EXPECT_TRUE(f.trace.Contains("CJobProc::PushJobEnd(7)"));
  EXPECT_TRUE(f.job.m_Packages.IsEmpty());
  EXPECT_EQ(f.job.m_byState, PAGE_IDLE);
}

TEST(Lifecycle, TracesEveryStepWithItsText) {
  JobFixture f;
  ASSERT_TRUE(f.StartJob(1, MakeDevMode(480, 300, true, 2, 1)));
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.EndPage());
  std::vector<std::string> texts = f.trace.Texts();
  ASSERT_EQ(texts.size(), 25u);
  EXPECT_EQ(texts[0],
            "CJobProc::PushJobStart(1) TotalPages: 1, Size: 567 X 354, JobCopies: 2, JobCollate: 1, "
            "CustomJob: C");
  EXPECT_EQ(texts[1], "CJobProc::StartPage(1, C)(0000810E, 256, 480*300) normal.");
  EXPECT_EQ(texts[2], "CJobProc::EndPage(1) normal.");
  EXPECT_EQ(texts[3], "CJobProc::PushPageEnd(1)");
  EXPECT_EQ(texts[4], "========================");
  EXPECT_EQ(texts[23], "========================");
  EXPECT_EQ(texts[24], "CJobProc::WritePageData(1) Copies: 2 Bytes: 14");
  for (const auto& m : f.trace.Messages()) EXPECT_EQ(m.substr(0, 5), "[INF]");

  f.trace.Clear();
  f.devobj.pPublicDM = nullptr;
  ASSERT_TRUE(f.job.PushPageStart(&f.devobj, 576, 300));
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.job.AbortJob(&f.devobj));
  EXPECT_EQ(f.trace.Texts(), (std::vector<std::string>{
                                 "CJobProc::PushPageStart(1) PageWidth: 576, PageHeight: 300, CustomPage: C",
                                 "CJobProc::StartPage(2, C)(00000000, 0, 0*0) normal.",
                                 "CJobProc::PushJobAbort(1)",
                             }));
}

TEST(Lifecycle, StartJobTakesPaperCopiesAndCustomFlagFromTheDeviceMode) {
  JobFixture f;
  DEVMODEW dm = MakeDevMode(1000, 1500, false, 2, 1);
  ASSERT_TRUE(f.StartJob(4, dm));
  EXPECT_EQ(f.job.m_wTotalPages, 4u);
  EXPECT_EQ(f.job.m_nPaperWidth, 1181);
  EXPECT_EQ(f.job.m_nPaperLength, 1772);
  EXPECT_FALSE(f.job.m_bCustomJob);
  EXPECT_EQ(f.job.m_wCollate, 1);
  EXPECT_TRUE(f.Spooled().empty());

  // Custom only with a user paper size and a length, both present in the fields.
  struct Custom {
    DWORD fields;
    SHORT paperSize, length;
    BOOL custom;
  };
  const DWORD both = DM_PAPERSIZE | DM_PAPERLENGTH;
  for (const Custom& c :
       {Custom{both, DMPAPER_USER, 300, TRUE}, Custom{DM_PAPERSIZE, DMPAPER_USER, 300, FALSE},
        Custom{both, DMPAPER_USER, 0, FALSE}, Custom{both, DMPAPER_LETTER, 300, FALSE}}) {
    dm.dmFields = c.fields;
    dm.dmPaperSize = c.paperSize;
    dm.dmPaperLength = c.length;
    ASSERT_TRUE(f.StartJob(1, dm));
    EXPECT_EQ(f.job.m_bCustomJob, c.custom);
    EXPECT_EQ(f.job.m_bCustomPage, c.custom);
  }
  // A negative dimension turns into a huge count, as the unsigned conversion gives.
  dm.dmPaperWidth = -10;
  ASSERT_TRUE(f.StartJob(1, dm));
  EXPECT_EQ(f.job.m_nPaperWidth, 16909308);
}

TEST(Lifecycle, StartJobRefusesNoDeviceModeAndNoPages) {
  JobFixture f;
  const int reads = qxhost::HostCalls().getPrinterData;
  JOB_INFO_2W info{};
  info.TotalPages = 1;
  EXPECT_FALSE(f.job.StartJob(&f.devobj, &info));
  EXPECT_TRUE(f.trace.Lines().empty());

  EXPECT_FALSE(f.StartJob(0));
  EXPECT_EQ(f.trace.Messages(), std::vector<std::string>{"[WRN]  CJobProc::StartJob() m_wTotalPages <= 0 !"});
  EXPECT_EQ(qxhost::HostCalls().getPrinterData, reads);
}

// A page is written once: a closed or ignored page ends silently, and an abort drops the open page.
TEST(Lifecycle, PagesEndedTwiceIgnoredOrAbortedWriteNothingMore) {
  JobFixture f;
  ASSERT_TRUE(f.StartJob());
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.EndPage());
  const size_t lines = f.trace.Lines().size();
  EXPECT_TRUE(f.EndPage());
  f.job.m_byState = PAGE_IGNORED;
  EXPECT_TRUE(f.EndPage());
  EXPECT_EQ(f.job.m_byState, PAGE_IDLE);
  EXPECT_EQ(f.trace.Lines().size(), lines);

  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.Blank(5));
  ASSERT_TRUE(f.Line({0xFF}));
  ASSERT_FALSE(f.job.m_Packages.IsEmpty());
  EXPECT_TRUE(f.job.AbortJob(&f.devobj));
  EXPECT_TRUE(f.job.m_Packages.IsEmpty());
  EXPECT_EQ(Hex(f.Spooled()), kEmptyPage);
}

TEST(Lifecycle, ShortSpoolWriteStopsTheCopiesAndTheRestOfTheList) {
  JobFixture f;
  ASSERT_TRUE(f.StartJob(1, MakeDevMode(480, 300, false, 3)));
  ASSERT_TRUE(f.StartPage());
  f.spool.FailFromWrite(2);
  EXPECT_FALSE(f.EndPage());
  EXPECT_EQ(f.spool.WriteSizes(), (std::vector<DWORD>{14, 14}));
  EXPECT_EQ(Hex(f.Spooled()), kEmptyPage);
  EXPECT_EQ(f.trace.Count("CJobProc::WriteToSpool(14) failed!"), 1u);
  // The page is gone whether the write succeeded or not.
  EXPECT_TRUE(f.job.m_Packages.IsEmpty());
  EXPECT_EQ(f.job.m_byState, PAGE_IDLE);

  // A list of two chunks whose first is written short: the second is not tried.
  JobFixture g;
  CPackageList list;
  std::vector<BYTE> filler(4000, 1);
  ASSERT_TRUE(PushPackage(list, 0x30, filler.data(), 4000));
  ASSERT_TRUE(PushPackage(list, 0x30, filler.data(), 200));
  g.spool.FailFromWrite(1);
  EXPECT_FALSE(g.job.WriteToSpool(&g.devobj, list));
  EXPECT_EQ(g.spool.WriteSizes(), std::vector<DWORD>{4005});
  EXPECT_TRUE(g.trace.Contains("CJobProc::WriteToSpool(4005) failed!"));
  EXPECT_FALSE(list.IsEmpty());
}

TEST(Lifecycle, AfterAShortWriteNothingMoreOfTheJobIsWritten) {
  JobFixture f;
  ASSERT_TRUE(f.StartJob());
  ASSERT_TRUE(f.StartPage());
  f.spool.FailOnlyWrite(1);
  EXPECT_FALSE(f.EndPage());
  EXPECT_TRUE(f.job.TakePageLost());
  ASSERT_TRUE(f.StartPage());
  EXPECT_FALSE(f.EndPage());
  EXPECT_EQ(f.spool.WriteSizes().size(), 1u);
  EXPECT_TRUE(f.trace.Contains("CJobProc::WriteToSpool(14) refused after a failed write!"));
  // The next job writes again.
  f.job.Reset();
  ASSERT_TRUE(f.StartJob());
  ASSERT_TRUE(f.StartPage());
  EXPECT_TRUE(f.EndPage());
  EXPECT_EQ(Hex(f.Spooled()), kEmptyPage);
}

// A page that lost a line on the way is not printed short: it is dropped whole at its end.
TEST(Lifecycle, PageThatLostALineIsDroppedAtItsEnd) {
  JobFixture f;
  ASSERT_TRUE(f.StartJob());
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.Line({0xFF}));
  {
    qxtest::ChunkAllocFailure fail(0);
    EXPECT_FALSE(f.Blank(1));
  }
  ASSERT_TRUE(f.Line({0x0F}));
  EXPECT_FALSE(f.EndPage());
  EXPECT_EQ(f.job.m_byState, PAGE_IDLE);
  EXPECT_TRUE(f.job.m_Packages.IsEmpty());
  EXPECT_TRUE(f.job.TakePageLost());
  EXPECT_TRUE(f.trace.Contains("CJobProc::EndPage(1) dropped: a line could not be coded!"));
  EXPECT_TRUE(f.Spooled().empty());
  // The next page starts sound.
  ASSERT_TRUE(f.StartPage());
  EXPECT_TRUE(f.EndPage());
  EXPECT_EQ(Hex(f.Spooled()), kEmptyPage);
  // A page still open at the job's end goes unframed nowhere.
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.Line({0xFF}));
  ASSERT_TRUE(f.Blank(3));
  const size_t written = f.Spooled().size();
  EXPECT_TRUE(f.job.EndJob(&f.devobj));
  EXPECT_EQ(f.Spooled().size(), written);
}

TEST(Lifecycle, ResetClearsTheJobButKeepsThresholdAndJobValues) {
  JobFixture f;
  ASSERT_TRUE(f.StartJob(2, MakeDevMode(480, 300, true, 3, 1)));
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.Line({0xFF}));
  f.job.m_byGrayThreshold = 99;
  for (DWORD CJobProc::*setting : qxtest::kLabelSettings) f.job.*setting = 1;
  f.job.Reset();
  EXPECT_EQ(f.job.m_dwJobId + f.job.m_dwPage + f.job.m_byState + f.job.m_nTotalLines, 0u);
  for (DWORD CJobProc::*setting : qxtest::kLabelSettings) EXPECT_EQ(f.job.*setting, 0u);
  EXPECT_TRUE(f.job.m_Packages.IsEmpty());
  EXPECT_EQ(f.job.m_byGrayThreshold, 99);
  EXPECT_EQ(f.job.m_wCopies, 3);
  EXPECT_EQ(f.job.m_wTotalPages, 2u);
  EXPECT_TRUE(f.job.m_bCustomJob);
}

TEST(Lifecycle, TrailingBlankRunIsCutOnStandardPagesOnly) {
  for (bool custom : {false, true}) {
    SCOPED_TRACE(custom ? "custom" : "standard");
    JobFixture f;
    ASSERT_TRUE(f.StartJob(1, MakeDevMode(480, 300, custom)));
    ASSERT_TRUE(f.StartPage());
    f.job.m_nPageWidth = 8;
    ASSERT_TRUE(f.Line({0x01}));
    ASSERT_TRUE(f.Blank(300, 1));
    ASSERT_TRUE(f.EndPage());
    const std::string feed = custom ? "1F 22 02 C1 2B 88" : "1F 22 01 5D 88";
    const std::string spooled = Hex(f.Spooled());
    EXPECT_EQ(spooled.substr(spooled.size() - feed.size() - 12), feed + " 1F 28 00 88");
    EXPECT_TRUE(f.trace.Contains(custom ? "    TotalLines  :    301" : "    TotalLines  :     95"));
    EXPECT_TRUE(f.trace.Contains(custom ? "    TailLines   :    300" : "    TailLines   :     94"));
  }
}

TEST(Lifecycle, FailedFlushAtPageEndKeepsThePageOpenAndItsLineCount) {
  JobFixture f;
  ASSERT_TRUE(f.StartJob());
  ASSERT_TRUE(f.StartPage());
  ASSERT_TRUE(f.Blank(300));
  {
    qxtest::ChunkAllocFailure fail(0);
    EXPECT_FALSE(f.EndPage());
  }
  EXPECT_EQ(f.job.m_byState, PAGE_BLANK_RUN);
  EXPECT_EQ(f.job.m_nTotalLines, 300u);
  EXPECT_FALSE(f.trace.Contains("CJobProc::PushPageEnd(1)"));
  EXPECT_TRUE(f.Spooled().empty());
  // Closing the page again cuts the trailing run once, not twice.
  ASSERT_TRUE(f.EndPage());
  EXPECT_EQ(f.job.m_nTotalLines, 94u);
}

}  // namespace
