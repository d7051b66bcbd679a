// The band rasteriser's handling of whole bands: traces, skips, first-band steps, refusals and
// bands that must not be read.
#include <gtest/gtest.h>

#include "stream/packages.h"
#include "tests/jobproc/rasteriser_test_band.h"

namespace {

using rastertest::RasterFixture;
using rastertest::TestBand;

TEST(RasteriserBand, TracesEntryAndSplitForEveryRasterisedBand) {
  RasterFixture f;
  TestBand band(10, -3, 4);
  ASSERT_TRUE(f.Run(band));
  EXPECT_EQ(f.trace.Messages().front(),
            "[INF]  CJobProc::ImageProcessing(7, 6, V, P): 10 X -3, Bits: 32, Sizes: 120");
  EXPECT_TRUE(f.trace.Contains("CJobProc::PushPageStart(1) PageWidth: 10, PageHeight: 3, CustomPage: F"));
  EXPECT_EQ(f.trace.Messages().back(), "[INF]  CJobProc::ImageSplit(0, 0, 10, 3, 0)");
  EXPECT_EQ(f.job.received.size(), 3u);
}

TEST(RasteriserBand, SkippedBandsAreTracedAcceptedAndYieldNothing) {
  for (BYTE state : {PAGE_IDLE, PAGE_IGNORED}) {
    RasterFixture f;
    f.job.m_byState = state;
    TestBand band(8, 2, 3);
    EXPECT_TRUE(f.Run(band));
    EXPECT_EQ(f.trace.Texts(),
              std::vector<std::string>{"CJobProc::ImageProcessing(7, 5, I, P): 8 X 2, Bits: 24, Sizes: 48"});
    EXPECT_TRUE(f.job.received.empty());
    EXPECT_EQ(f.job.m_byState, state);
  }
  RasterFixture f;
  f.params.bBlankBand = TRUE;
  TestBand band(8, 2, 3);
  EXPECT_TRUE(f.Run(band));
  EXPECT_EQ(f.trace.Texts(),
            std::vector<std::string>{"CJobProc::ImageProcessing(7, 5, V, B): 8 X 2, Bits: 24, Sizes: 48"});
  EXPECT_TRUE(f.job.received.empty());
  EXPECT_EQ(f.job.pageStarts, 0);
}

TEST(RasteriserBand, UnknownCallbackIdIsRefusedWithTheEntryTraceOnly) {
  for (DWORD id : {0u, 4u, 7u}) {
    RasterFixture f;
    TestBand band(8, 2, 4);
    band.callbackId = id;
    EXPECT_FALSE(f.Run(band));
    EXPECT_EQ(f.trace.Lines().size(), 1u);
    EXPECT_TRUE(f.job.received.empty());
  }
}

TEST(RasteriserBand, BlankBandInsidePageLeavesNoGap) {
  RasterFixture f;
  f.job.forwardLines = true;
  TestBand first(8, 2, 4, 0), second(8, 3, 4, 0);
  ASSERT_TRUE(f.Run(first));
  f.params.bBlankBand = TRUE;
  ASSERT_TRUE(f.Run(first));
  f.params.bBlankBand = FALSE;
  ASSERT_TRUE(f.Run(second));
  EXPECT_EQ(f.job.received.size(), 5u);
  EXPECT_EQ(f.job.m_nTotalLines, 5u);
  EXPECT_EQ(f.job.m_nRunLines, 5u);  // all black lines, one run across the blank band
}

TEST(RasteriserBand, FirstBandStepsRunOncePerPage) {
  RasterFixture f;
  f.job.forwardLines = true;
  ASSERT_TRUE(PushNumber(f.job.m_Packages, CMD_FEED_LINES, 1));
  TestBand band(16, 4, 3);
  ASSERT_TRUE(f.Run(band));
  EXPECT_TRUE(f.job.m_Packages.IsEmpty());  // emptied on the page's first band
  ASSERT_TRUE(f.Run(band));
  ASSERT_TRUE(f.Run(band));
  EXPECT_EQ(f.job.pageStarts, 1);
  EXPECT_EQ(f.trace.Count("CJobProc::PushPageStart(1) PageWidth: 16, PageHeight: 4, CustomPage: F"), 1u);

  // A page whose first band yields no line is still Started at its next band.
  RasterFixture g;
  g.job.forwardLines = true;
  TestBand empty(16, 0, 3);
  empty.bytes.resize(4);  // a band pointer, with nothing to read behind it
  ASSERT_TRUE(g.Run(empty));
  ASSERT_TRUE(g.Run(band));
  EXPECT_EQ(g.job.pageStarts, 2);
}

TEST(RasteriserBand, CustomPageComesFromThePageOrElseTheJob) {
  TestBand band(8, 1, 4);
  RasterFixture f;
  f.devMode.dmPaperSize = DMPAPER_USER;
  ASSERT_TRUE(f.Run(band));
  EXPECT_TRUE(f.job.m_bCustomPage);
  EXPECT_TRUE(f.trace.Contains("CJobProc::PushPageStart(1) PageWidth: 8, PageHeight: 1, CustomPage: C"));

  RasterFixture notLong;
  notLong.devMode.dmPaperSize = DMPAPER_USER;
  notLong.devMode.dmPaperLength = 0;
  notLong.job.m_bCustomPage = TRUE;
  ASSERT_TRUE(notLong.Run(band));
  EXPECT_FALSE(notLong.job.m_bCustomPage);

  for (BOOL customJob : {FALSE, TRUE}) {
    RasterFixture g;
    g.devobj.pPublicDM = nullptr;
    g.job.m_bCustomJob = customJob;
    g.job.m_bCustomPage = !customJob;
    ASSERT_TRUE(g.Run(band));
    EXPECT_EQ(g.job.m_bCustomPage, customJob);
  }

  // No device object at all: the job's value, and no crash.
  RasterFixture h;
  h.job.m_bCustomJob = TRUE;
  EXPECT_TRUE(
      h.job.ImageProcessing(nullptr, band.bytes.data(), &band.header, nullptr, band.callbackId, &h.params));
  EXPECT_TRUE(h.job.m_bCustomPage);
}

TEST(RasteriserBand, RefusedPageStartStopsBeforeAnyLine) {
  RasterFixture f;
  f.job.pageStartResult = FALSE;
  ASSERT_TRUE(PushNumber(f.job.m_Packages, CMD_FEED_LINES, 1));
  TestBand band(20, 5, 4);
  EXPECT_FALSE(f.Run(band));
  EXPECT_TRUE(f.job.received.empty());
  EXPECT_FALSE(f.trace.Contains("CJobProc::ImageSplit(0, 0, 20, 5, 0)"));
  EXPECT_EQ(f.job.m_nPageWidth, 20);
  EXPECT_EQ(f.job.m_nPageHeight, 5);
  EXPECT_TRUE(f.job.m_Packages.IsEmpty());
  EXPECT_EQ(f.job.m_byState, PAGE_STARTED);
}

TEST(RasteriserBand, RefusedLineStopsTheBandAtOnce) {
  for (DWORD rotation = 0; rotation < 4; ++rotation) {
    RasterFixture f;
    f.job.m_nRotation = rotation;
    f.job.refuseLine = 3;
    TestBand band(100, 90, 3);
    EXPECT_FALSE(f.Run(band));
    EXPECT_EQ(f.job.received.size(), 3u);
  }
}

// Fields that a refused band must leave as they were.
struct Snapshot {
  explicit Snapshot(const CJobProc& job)
      : width(job.m_nPageWidth),
        height(job.m_nPageHeight),
        custom(job.m_bCustomPage),
        state(job.m_byState),
        packagesEmpty(job.m_Packages.IsEmpty()) {}
  bool operator==(const Snapshot&) const = default;
  LONG width, height;
  BOOL custom;
  BYTE state;
  bool packagesEmpty;
};

class RefusedBand : public ::testing::Test {
 protected:
  RefusedBand() {
    f.job.m_nPageWidth = 123;
    f.job.m_nPageHeight = 45;
    f.job.m_bCustomPage = TRUE;
    EXPECT_TRUE(PushNumber(f.job.m_Packages, CMD_FEED_LINES, 1));
  }
  // Refused, with `text` as the one error, nothing handed on and no field changed.
  void ExpectRefused(const BYTE* bytes, const BITMAPINFOHEADER* header, DWORD callbackId,
                     const IPPARAMS* params, const std::string& text) {
    const Snapshot before(f.job);
    EXPECT_FALSE(f.job.ImageProcessing(&f.devobj, bytes, header, nullptr, callbackId, params));
    EXPECT_EQ(f.trace.Messages().back(), "[ERR]  " + text);
    EXPECT_TRUE(f.job.received.empty());
    EXPECT_EQ(f.job.pageStarts, 0);
    EXPECT_TRUE(Snapshot(f.job) == before);
  }
  RasterFixture f;
};

TEST_F(RefusedBand, OneByteShort) {
  TestBand band(101, 3, 3);
  band.header.biSizeImage -= 1;
  ExpectRefused(band.bytes.data(), &band.header, band.callbackId, &f.params,
                "CJobProc::ImageProcessing() bitmap(LB 304 X 3) data size (911) is not enough!");
}

// Sizes whose row and stride products wrap in 32 bits: each band holds only 64 bytes, so a
// walk that passed the check would read far outside it (and ASan would say so).
TEST_F(RefusedBand, SizesThatWrapIn32Bits) {
  TestBand band(4, 4, 4);
  struct Case {
    LONG width, height;
    DWORD callbackId;
    const char* text;
  } cases[] = {
      {0x40000001, 1, 5,
       "CJobProc::ImageProcessing() bitmap(LB -1073741820 X 1) data size (64) is not enough!"},
      {0x40000000, 4, 6, "CJobProc::ImageProcessing() bitmap(LB 0 X 4) data size (64) is not enough!"},
      {16, 0x10000000, 6,
       "CJobProc::ImageProcessing() bitmap(LB 64 X 268435456) data size (64) is not enough!"},
      {4, INT_MIN, 6,
       "CJobProc::ImageProcessing() bitmap(LB 16 X -2147483648) data size (64) is not enough!"},
      {0, INT_MIN, 6, "CJobProc::ImageProcessing() bitmap(LB 0 X -2147483648) data size (64) is not enough!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    BITMAPINFOHEADER header = band.header;
    header.biWidth = c.width;
    header.biHeight = c.height;
    ExpectRefused(band.bytes.data(), &header, c.callbackId, &f.params, c.text);
  }
}

TEST_F(RefusedBand, NegativeWidth) {
  TestBand band(4, 4, 4);
  BITMAPINFOHEADER header = band.header;
  header.biWidth = -4;
  ExpectRefused(band.bytes.data(), &header, band.callbackId, &f.params,
                "CJobProc::ImageProcessing() bitmap width (-4) is negative!");
}

TEST_F(RefusedBand, MissingPointers) {
  TestBand band(4, 4, 4);
  ExpectRefused(nullptr, &band.header, band.callbackId, &f.params,
                "CJobProc::ImageProcessing() no bitmap data!");
  ExpectRefused(band.bytes.data(), nullptr, band.callbackId, &f.params,
                "CJobProc::ImageProcessing() no bitmap header or band parameters!");
  ExpectRefused(band.bytes.data(), &band.header, band.callbackId, nullptr,
                "CJobProc::ImageProcessing() no bitmap header or band parameters!");
}

}  // namespace
