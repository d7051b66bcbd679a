// The document and page hooks: how GDI's document, page and band events reach the job
// processor, and when the driver's own functions run.
#include <gmock/gmock.h>

#include "tests/plugin/plugin_fixture.h"
#include "tests/support/chunk_alloc_failure.h"

namespace qxtest {
namespace {

using ::testing::ElementsAre;

char16_t kDocName[] = u"label";

class DocumentHookTest : public PluginTest {
 protected:
  DocumentHookTest() { AddJob(7, 2); }

  BOOL StartDoc(DWORD jobId, LPWSTR name = kDocName) { return qxhooks::DrvStartDoc(dev.pso(), name, jobId); }
  BOOL StartPage() { return qxhooks::DrvStartPage(dev.pso()); }
  BOOL SendPage() { return qxhooks::DrvSendPage(dev.pso()); }
  BOOL EndDoc(FLONG fl = 0) { return qxhooks::DrvEndDoc(dev.pso(), fl); }
  BOOL NextBand(POINTL point) {
    dev.device.SetNextBandPoint(point);
    POINTL out{};
    return qxhooks::DrvNextBand(dev.pso(), &out);
  }
  size_t Calls(ULONG index) const {
    size_t n = 0;
    for (ULONG i : dev.device.CallIndexes()) n += i == index;
    return n;
  }
  size_t Spooled() { return dev.device.Spool().Bytes().size(); }
  // Job 7's document with its first page open.
  void OpenPage() {
    ASSERT_TRUE(StartDoc(7));
    ASSERT_TRUE(StartPage());
  }

  PluginDevice dev{printer};
};

TEST_F(DocumentHookTest, StartDocThatStartsNoJobLeavesTheJobProcessorAlone) {
  g_dwLastJobId.store(5);
  dev.Job().m_dwPage = 3;
  // Neither name nor job: nothing for the driver either.
  EXPECT_EQ(qxhooks::DrvStartDoc(dev.pso(), nullptr, 0), TRUE);
  EXPECT_TRUE(dev.device.Calls().empty());
  // A name but no job: the driver starts its document, the hook still fails.
  EXPECT_EQ(StartDoc(0), FALSE);
  ASSERT_THAT(dev.device.CallIndexes(), ElementsAre(INDEX_DrvStartDoc));
  EXPECT_EQ(dev.device.Calls()[0].docName, std::u16string(u"label"));
  dev.device.FailDdi(INDEX_DrvStartDoc);
  EXPECT_EQ(StartDoc(7), FALSE);
  EXPECT_EQ(g_dwLastJobId.load(), 5u);
  EXPECT_EQ(dev.Job().m_dwPage, 3u);
}

TEST_F(DocumentHookTest, StartDocRecordsJobAfterDriverSucceeds) {
  dev.Job().m_dwPage = 3;
  EXPECT_EQ(StartDoc(7), TRUE);
  EXPECT_EQ(dev.Job().m_dwJobId, 7u);
  EXPECT_EQ(dev.Job().m_dwPage, 0u);
  EXPECT_EQ(g_dwLastJobId.load(), 7u);
  EXPECT_EQ(dev.device.Calls()[0].jobId, 7u);
}

TEST_F(DocumentHookTest, NewDocumentDiscardsOpenPageOfEarlierOne) {
  OpenPage();
  ASSERT_TRUE(IsPageOpen(dev.Job().m_byState));
  ASSERT_TRUE(StartDoc(7));
  EXPECT_EQ(dev.Job().m_byState, PAGE_IDLE);
  EXPECT_TRUE(dev.Job().m_Packages.IsEmpty());
  EXPECT_TRUE(EndDoc());
  EXPECT_EQ(Spooled(), 0u);
}

TEST_F(DocumentHookTest, FirstPageFetchesJobRecordTwiceLaterPagesNever) {
  OpenPage();
  EXPECT_EQ(qxhost::HostCalls().getJob, 2);
  EXPECT_EQ(dev.Job().m_wTotalPages, 2u);
  EXPECT_EQ(dev.Job().m_dwPage, 1u);
  EXPECT_TRUE(StartPage());
  EXPECT_EQ(qxhost::HostCalls().getJob, 2);
  EXPECT_EQ(Calls(INDEX_DrvStartPage), 2u);
}

TEST_F(DocumentHookTest, PageWithoutAnyJobIdFails) {
  EXPECT_EQ(StartPage(), FALSE);
  EXPECT_TRUE(trace.Contains("CJobProc::StartPage() without JobID!"));
  EXPECT_EQ(dev.Job().m_dwPage, 0u);
  EXPECT_EQ(Calls(INDEX_DrvStartPage), 0u);
  EXPECT_EQ(qxhost::HostCalls().getJob, 0);
}

TEST_F(DocumentHookTest, DeviceWithoutJobBorrowsLastStartedJob) {
  AddJob(12);
  PluginDevice other(printer);
  ASSERT_TRUE(qxhooks::DrvStartDoc(other.pso(), kDocName, 12));
  EXPECT_TRUE(StartPage());
  EXPECT_EQ(dev.Job().m_dwJobId, 12u);
  EXPECT_EQ(dev.Job().m_dwPage, 1u);
  EXPECT_EQ(dev.Job().m_wTotalPages, 1u);
}

TEST_F(DocumentHookTest, FailedJobStartFailsThePageWithoutTheDriverAndIsRetried) {
  DWORD needed = 0;
  GetJobW(printer, 7, 2, nullptr, 0, &needed);
  ASSERT_GT(needed, 0u);
  AddJob(9, 0);
  struct Case {
    DWORD jobId;
    bool noSize, fillFails;
    std::string trace;
  } cases[] = {
      {9, false, false, "CJobProc::StartJob() m_wTotalPages <= 0 !"},
      {7, true, false, "CJobProc::StartPage() alloc JOB_INFO_2(0) failed!"},
      {7, false, true, "CJobProc::StartPage() GetJob JOB_INFO_2(" + std::to_string(needed) + ") failed!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trace);
    ASSERT_TRUE(StartDoc(c.jobId));
    qxhost::HostFailures().getJobNoSize = c.noSize;
    qxhost::HostFailures().getJobFillFails = c.fillFails;
    EXPECT_EQ(StartPage(), FALSE);
    EXPECT_TRUE(trace.Contains(c.trace));
    EXPECT_EQ(dev.Job().m_dwPage, 0u);
    EXPECT_EQ(Calls(INDEX_DrvStartPage), 0u);
  }
  qxhost::HostFailures() = {};
  EXPECT_TRUE(StartPage());
  EXPECT_EQ(dev.Job().m_dwPage, 1u);
}

TEST_F(DocumentHookTest, NextPageEndsThePageStillOpen) {
  OpenPage();
  EXPECT_TRUE(StartPage());
  const auto texts = trace.Texts();
  auto ended = std::find(texts.begin(), texts.end(), "CJobProc::EndPage(1) normal.");
  ASSERT_NE(ended, texts.end());
  auto started = std::find_if(ended, texts.end(),
                              [](const std::string& t) { return t.rfind("CJobProc::StartPage(2", 0) == 0; });
  EXPECT_NE(started, texts.end());
  EXPECT_GT(Spooled(), 0u);
}

TEST_F(DocumentHookTest, BandLoopEndsPageOnlyAtMinusOneMinusOneAndSendPageAddsNothing) {
  OpenPage();
  EXPECT_TRUE(NextBand({-1, 0}));
  EXPECT_TRUE(NextBand({0, -1}));
  EXPECT_TRUE(IsPageOpen(dev.Job().m_byState));
  dev.device.FailDdi(INDEX_DrvNextBand);
  EXPECT_EQ(NextBand({-1, -1}), FALSE);
  EXPECT_TRUE(IsPageOpen(dev.Job().m_byState));
  dev.device.FailDdi(INDEX_DrvNextBand, false);
  EXPECT_TRUE(NextBand({-1, -1}));
  EXPECT_EQ(dev.Job().m_byState, PAGE_IDLE);
  EXPECT_EQ(trace.Count("CJobProc::EndPage(1) normal."), 1u);
  const size_t written = Spooled();
  EXPECT_GT(written, 0u);
  EXPECT_EQ(SendPage(), TRUE);
  EXPECT_EQ(Spooled(), written);
}

// The band loop's page end has no caller to fail; the page it lost fails the next page event,
// once, and a page that could not be framed leaves nothing behind for the next one.
TEST_F(DocumentHookTest, PageLostAtTheEndOfTheBandLoopFailsTheNextPageEvent) {
  OpenPage();
  dev.device.Spool().FailOnlyWrite(1);
  EXPECT_TRUE(NextBand({-1, -1}));
  EXPECT_EQ(dev.Job().m_byState, PAGE_IDLE);
  EXPECT_EQ(SendPage(), FALSE);
  EXPECT_EQ(SendPage(), TRUE);
  // The stream is cut: the next page is not written after it.
  ASSERT_TRUE(StartPage());
  EXPECT_EQ(SendPage(), FALSE);
  EXPECT_EQ(Spooled(), 0u);

  ASSERT_TRUE(StartDoc(7));
  ASSERT_TRUE(StartPage());
  {
    qxtest::ChunkAllocFailure fail(0);
    EXPECT_TRUE(NextBand({-1, -1}));
  }
  EXPECT_TRUE(dev.Job().m_Packages.IsEmpty());
  // Without a DrvSendPage between, the next page's start reports it and starts nothing.
  EXPECT_EQ(StartPage(), FALSE);
  EXPECT_EQ(dev.Job().m_dwPage, 1u);
  EXPECT_TRUE(StartPage());
  EXPECT_EQ(dev.Job().m_dwPage, 2u);
  EXPECT_EQ(SendPage(), TRUE);
  EXPECT_GT(Spooled(), 0u);
}

TEST_F(DocumentHookTest, SendPageFailuresOfDriverOrWriteFailIt) {
  OpenPage();
  dev.device.FailDdi(INDEX_DrvSendPage);
  EXPECT_EQ(SendPage(), FALSE);
  EXPECT_TRUE(IsPageOpen(dev.Job().m_byState));
  EXPECT_EQ(Spooled(), 0u);
  dev.device.FailDdi(INDEX_DrvSendPage, false);
  dev.device.Spool().FailFromWrite(1);
  EXPECT_EQ(SendPage(), FALSE);
  EXPECT_TRUE(trace.Contains("CJobProc::WriteToSpool(" +
                             std::to_string(dev.device.Spool().WriteSizes().at(0)) + ") failed!"));
}

TEST_F(DocumentHookTest, AbortDropsOpenPageAndStillEndsDriverDocument) {
  OpenPage();
  ASSERT_TRUE(StartPage());
  const size_t firstPage = Spooled();
  trace.Clear();
  EXPECT_EQ(EndDoc(ED_ABORTDOC), TRUE);
  EXPECT_TRUE(trace.Contains("CJobProc::PushJobAbort(7)"));
  EXPECT_FALSE(trace.Contains("CJobProc::EndPage(2) normal."));
  EXPECT_FALSE(trace.Contains("CJobProc::PushJobEnd(7)"));
  EXPECT_EQ(Spooled(), firstPage);
  EXPECT_EQ(dev.Job().m_dwPage, 0u);
  EXPECT_EQ(dev.device.Calls().back().index, ULONG{INDEX_DrvEndDoc});
  EXPECT_EQ(dev.device.Calls().back().flags, FLONG{ED_ABORTDOC});
}

TEST_F(DocumentHookTest, NormalEndClosesOpenPageThenJob) {
  OpenPage();
  ASSERT_TRUE(StartPage());
  trace.Clear();
  EXPECT_EQ(EndDoc(0), TRUE);
  const auto texts = trace.Texts();
  auto page = std::find(texts.begin(), texts.end(), "CJobProc::EndPage(2) normal.");
  auto job = std::find(texts.begin(), texts.end(), "CJobProc::PushJobEnd(7)");
  ASSERT_NE(page, texts.end());
  ASSERT_NE(job, texts.end());
  EXPECT_LT(page, job);
  EXPECT_EQ(dev.Job().m_dwJobId, 0u);
  EXPECT_EQ(dev.device.Calls().back().index, ULONG{INDEX_DrvEndDoc});
}

TEST_F(DocumentHookTest, EndDocBeforeAnyPageOnlyResetsAndReturnsDriverResult) {
  ASSERT_TRUE(StartDoc(7));
  dev.device.FailDdi(INDEX_DrvEndDoc);
  EXPECT_EQ(EndDoc(0), FALSE);
  EXPECT_FALSE(trace.Contains("CJobProc::PushJobEnd(7)"));
  EXPECT_FALSE(trace.Contains("CJobProc::PushJobAbort(7)"));
  EXPECT_EQ(dev.Job().m_dwJobId, 0u);
}

TEST_F(DocumentHookTest, FailedPageWriteDoesNotFailEndOfDocument) {
  OpenPage();
  dev.device.Spool().FailFromWrite(1);
  EXPECT_EQ(EndDoc(0), TRUE);
  EXPECT_TRUE(trace.Contains("CJobProc::PushJobEnd(7)"));
}

}  // namespace
}  // namespace qxtest
