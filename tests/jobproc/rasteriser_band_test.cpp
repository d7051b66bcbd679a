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

// Bands of no open page and blank bands are skipped, an unknown callback id is refused: either
// way the entry trace is the only one and no line is handed on.
TEST(RasteriserBand, SkippedOrUnknownBandsYieldNothing) {
  struct Case {
    BYTE state;
    BOOL blank;
    DWORD callbackId;
    BOOL result;
    const char* entry;
  };
  for (const Case& c :
       {Case{PAGE_IDLE, FALSE, 5, TRUE, "7, 5, I, P"}, Case{PAGE_IGNORED, FALSE, 5, TRUE, "7, 5, I, P"},
        Case{PAGE_STARTED, TRUE, 5, TRUE, "7, 5, V, B"}, Case{PAGE_STARTED, FALSE, 0, FALSE, "7, 0, V, P"},
        Case{PAGE_STARTED, FALSE, 4, FALSE, "7, 4, V, P"},
        Case{PAGE_STARTED, FALSE, 7, FALSE, "7, 7, V, P"}}) {
    SCOPED_TRACE(c.entry);
    RasterFixture f;
    f.job.m_byState = c.state;
    f.params.bBlankBand = c.blank;
    TestBand band(8, 2, 3);
    band.callbackId = c.callbackId;
    EXPECT_EQ(f.Run(band), c.result);
    EXPECT_EQ(f.trace.Texts(), std::vector<std::string>{"CJobProc::ImageProcessing(" + std::string(c.entry) +
                                                        "): 8 X 2, Bits: 24, Sizes: 48"});
    EXPECT_TRUE(f.job.received.empty());
    EXPECT_EQ(f.job.pageStarts, 0);
    EXPECT_EQ(f.job.m_byState, c.state);
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
  struct Case {
    const char* what;
    bool pageMode;
    SHORT paperSize, length;
    BOOL customJob, custom;
  };
  for (const Case& c :
       {Case{"user size", true, DMPAPER_USER, 1500, FALSE, TRUE},
        Case{"user size without length", true, DMPAPER_USER, 0, TRUE, FALSE},
        Case{"job's, standard", false, 0, 0, FALSE, FALSE}, Case{"job's, custom", false, 0, 0, TRUE, TRUE}}) {
    SCOPED_TRACE(c.what);
    TestBand band(8, 1, 4);
    RasterFixture f;
    f.devMode.dmPaperSize = c.paperSize;
    f.devMode.dmPaperLength = c.length;
    if (!c.pageMode) f.devobj.pPublicDM = nullptr;
    f.job.m_bCustomJob = c.customJob;
    f.job.m_bCustomPage = !c.custom;
    ASSERT_TRUE(f.Run(band));
    EXPECT_EQ(f.job.m_bCustomPage, c.custom);
    EXPECT_TRUE(
        f.trace.Contains(std::string("CJobProc::PushPageStart(1) PageWidth: 8, PageHeight: 1, CustomPage: ") +
                         (c.custom ? "C" : "F")));
  }

  // No device object at all: the job's value, and no crash.
  TestBand band(8, 1, 4);
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
  // Refused with the error "CJobProc::ImageProcessing() `text`", nothing handed on, no field changed.
  void ExpectRefused(const BYTE* bytes, const BITMAPINFOHEADER* header, DWORD callbackId,
                     const IPPARAMS* params, const std::string& text) {
    const Snapshot before(f.job);
    EXPECT_FALSE(f.job.ImageProcessing(&f.devobj, bytes, header, nullptr, callbackId, params));
    EXPECT_EQ(f.trace.Messages().back(), "[ERR]  CJobProc::ImageProcessing() " + text);
    EXPECT_TRUE(f.job.received.empty());
    EXPECT_EQ(f.job.pageStarts, 0);
    EXPECT_TRUE(Snapshot(f.job) == before);
  }
  RasterFixture f;
};

// Sizes whose row and stride products wrap in 32 bits, a negative width and missing pointers.
// Each band holds only 64 bytes, so a walk that passed the check would read far outside it (and
// ASan would say so).
TEST_F(RefusedBand, UnsafeBandsAndMissingPointers) {
  TestBand band(4, 4, 4);
  struct Case {
    LONG width, height;
    DWORD callbackId;
    const char* text;
  } cases[] = {
      {0x40000001, 1, 5, "bitmap(LB -1073741820 X 1) data size (64) is not enough!"},
      {0x40000000, 4, 6, "bitmap(LB 0 X 4) data size (64) is not enough!"},
      {16, 0x10000000, 6, "bitmap(LB 64 X 268435456) data size (64) is not enough!"},
      {4, INT_MIN, 6, "bitmap(LB 16 X -2147483648) data size (64) is not enough!"},
      {0, INT_MIN, 6, "bitmap(LB 0 X -2147483648) data size (64) is not enough!"},
      {-4, 4, 6, "bitmap width (-4) is negative!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    BITMAPINFOHEADER header = band.header;
    header.biWidth = c.width;
    header.biHeight = c.height;
    ExpectRefused(band.bytes.data(), &header, c.callbackId, &f.params, c.text);
  }
  ExpectRefused(nullptr, &band.header, band.callbackId, &f.params, "no bitmap data!");
  ExpectRefused(band.bytes.data(), nullptr, band.callbackId, &f.params,
                "no bitmap header or band parameters!");
  ExpectRefused(band.bytes.data(), &band.header, band.callbackId, nullptr,
                "no bitmap header or band parameters!");

  // A 24-bit band one byte short of its rows.
  TestBand odd(101, 3, 3);
  odd.header.biSizeImage -= 1;
  ExpectRefused(odd.bytes.data(), &odd.header, odd.callbackId, &f.params,
                "bitmap(LB 304 X 3) data size (911) is not enough!");
}

}  // namespace
