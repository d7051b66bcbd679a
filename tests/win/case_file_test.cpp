// The case files that both platforms print: what a case makes of its text, and how it refuses
// text it cannot take.
#include <gtest/gtest.h>

#include "tests/win/case_job.h"

namespace {

using qxcase::Case;

Case Parse(const std::string& text) {
  std::string error;
  std::optional<Case> c = qxcase::ParseCase("test", text, &error);
  EXPECT_TRUE(c) << error;
  return c ? *c : Case{};
}

std::string ParseError(const std::string& text) {
  std::string error;
  EXPECT_FALSE(qxcase::ParseCase("test", text, &error)) << text;
  return error;
}

// Blue, green, red of the pixel at row r, column c of a band.
std::array<uint8_t, 3> Pixel(const qxcase::BandSpec& band, LONG width, WORD bits, LONG r, LONG c) {
  const size_t at = r * qxcase::RowStride(width, bits) + c * (bits / 8u);
  return {band.pixels[at], band.pixels[at + 1], band.pixels[at + 2]};
}

TEST(CaseFile, CutsThePageIntoBandsOfPaddedRowsInDeviceByteOrder) {
  Case c = Parse(
      "page 101 10\n"
      "rect 100 9 1 1 #102030\n"
      "bands 4\n");
  ASSERT_EQ(c.pages.size(), 1u);
  const auto& bands = c.pages[0].bands;
  ASSERT_EQ(bands.size(), 3u);  // 4 + 4 + the remaining 2
  EXPECT_EQ(bands[0].top, 0);
  EXPECT_EQ(bands[1].top, 4);
  EXPECT_EQ(bands[2].top, 8);
  EXPECT_EQ(bands[2].rows, 2);
  EXPECT_EQ(bands[2].pixels.size(), 2u * 304);
  EXPECT_EQ(Pixel(bands[2], 101, 24, 1, 100), (std::array<uint8_t, 3>{0x30, 0x20, 0x10}));
  EXPECT_EQ(Pixel(bands[0], 101, 24, 0, 0), (std::array<uint8_t, 3>{255, 255, 255}));

  Case wide = Parse("bits 32\npage 101 2 black\nbands 1 1\n");
  EXPECT_EQ(qxcase::RowStride(101, 32), 404u);
  EXPECT_EQ(wide.pages[0].bands[1].pixels.size(), 404u);
  EXPECT_EQ(qxcase::BandCallbackId(wide.pages[0].bands[0], 32), 6u);
}

TEST(CaseFile, BandListRepeatsItsLastHeight) {
  Case c = Parse("page 8 20\nbands 3 5\n");
  std::vector<LONG> rows;
  for (const auto& band : c.pages[0].bands) rows.push_back(band.rows);
  EXPECT_EQ(rows, (std::vector<LONG>{3, 5, 5, 5, 2}));
}

TEST(CaseFile, ArtInksAndComments) {
  Case c = Parse(
      "# a comment line\n"
      "page 6 2 #FF0000   # a red page\n"
      "ink x gray:150\n"
      "art 1 0\n"
      "#x.\n"
      "# \n"
      "end\n");
  const auto& band = c.pages[0].bands[0];
  EXPECT_EQ(Pixel(band, 6, 24, 0, 0), (std::array<uint8_t, 3>{0, 0, 255}));  // red, as B G R
  EXPECT_EQ(Pixel(band, 6, 24, 0, 1), (std::array<uint8_t, 3>{0, 0, 0}));
  EXPECT_EQ(Pixel(band, 6, 24, 0, 2), (std::array<uint8_t, 3>{150, 150, 150}));
  EXPECT_EQ(Pixel(band, 6, 24, 0, 3), (std::array<uint8_t, 3>{255, 255, 255}));
  // Art lines are pixels, not comments, even when they begin with '#'.
  EXPECT_EQ(Pixel(band, 6, 24, 1, 1), (std::array<uint8_t, 3>{0, 0, 0}));
  EXPECT_EQ(Pixel(band, 6, 24, 1, 2), (std::array<uint8_t, 3>{0, 0, 255}));
}

TEST(CaseFile, PrinterDataKeepsTypesAndBytes) {
  Case c = Parse(
      "printer GrayThreshold dword 0x01020304\n"
      "printer Rotation sz 1 é\n"
      "printer LabelHeight type 4 0A 00\n");
  ASSERT_EQ(c.printerData.size(), 3u);
  EXPECT_EQ(c.printerData[0].type, DWORD{REG_DWORD});
  EXPECT_EQ(c.printerData[0].data, (std::vector<uint8_t>{4, 3, 2, 1}));
  EXPECT_EQ(c.printerData[1].type, DWORD{REG_SZ});
  EXPECT_EQ(c.printerData[1].data, (std::vector<uint8_t>{'1', 0, ' ', 0, 0xE9, 0, 0, 0}));
  EXPECT_EQ(c.printerData[2].type, DWORD{4});
  EXPECT_EQ(c.printerData[2].data, (std::vector<uint8_t>{0x0A, 0}));
}

TEST(CaseFile, JobOptionsAndFaults) {
  Case c = Parse(
      "job-id 0\n"
      "document none\n"
      "devmode 256 480 300 copies 3 collate 1 fields 0x102\n"
      "total-pages 5\n"
      "abort-in-page 2\n"
      "fail ddi DrvNextBand\n"
      "fail spool-write 3\n"
      "fail getjob-fill\n"
      "page 4 4\n"
      "page-devmode 1 2159 2794\n");
  EXPECT_EQ(c.jobId, 0u);
  EXPECT_FALSE(c.documentName);
  ASSERT_TRUE(c.devMode);
  EXPECT_EQ(c.devMode->dmPaperSize, 256);
  EXPECT_EQ(c.devMode->dmPaperWidth, 480);
  EXPECT_EQ(c.devMode->dmCopies, 3);
  EXPECT_EQ(c.devMode->dmCollate, 1);
  EXPECT_EQ(c.devMode->dmFields, 0x102u);
  EXPECT_EQ(c.totalPages, 5u);
  EXPECT_EQ(c.abortInPage, 2u);
  EXPECT_EQ(c.faults.failingDdi, (std::vector<ULONG>{INDEX_DrvNextBand}));
  EXPECT_EQ(c.faults.spoolFailFromWrite, 3u);
  EXPECT_TRUE(c.faults.getJobFillFails);
  EXPECT_FALSE(c.faults.getJobNoSize);
  ASSERT_TRUE(c.pages[0].devMode);
  EXPECT_EQ(c.pages[0].devMode->dmPaperSize, 1);

  EXPECT_EQ(Parse("document  My label 7 \n").documentName, "My label 7");
}

TEST(CaseFile, JobSpecHandsBandsOverAsTheCaseSaysWithoutCopying) {
  Case c = Parse(
      "devmode 256 480 300\n"
      "page 10 9\n"
      "bands 3\n"
      "blank 2\n"
      "short-size 3\n"
      "callback 1 7\n"
      "bottom-up\n");
  qxhost::JobSpec job = qxcase::ToJobSpec(c);
  ASSERT_EQ(job.pages.size(), 1u);
  const auto& bands = job.pages[0].bands;
  ASSERT_EQ(bands.size(), 3u);
  EXPECT_EQ(bands[0].pixels, c.pages[0].bands[0].pixels.data());
  EXPECT_EQ(bands[0].height, 3);  // bottom-up: positive
  EXPECT_EQ(bands[0].callbackId, 7u);
  EXPECT_EQ(bands[1].callbackId, 5u);
  EXPECT_TRUE(bands[1].blank);
  EXPECT_EQ(bands[1].sizeImage, 3u * 32);
  EXPECT_EQ(bands[2].sizeImage, 3u * 32 - 1);
  EXPECT_EQ(bands[2].top, 6);
  EXPECT_EQ(job.documentName, u"document");
  EXPECT_EQ(job.totalPages, 0u);
}

TEST(CaseFile, RefusesWhatItCannotTakeAndSaysWhere) {
  const std::pair<const char*, const char*> cases[] = {
      {"page 4 4\nshade 1\n", "test: line 2: unknown directive 'shade'"},
      {"rect 0 0 1 1 black\n", "line 1: 'rect' is unknown, or needs a page first"},
      {"page 4 4\nrect 2 2 3 1 black\n", "line 2: the rectangle leaves the page"},
      {"page 4 4\nart 0 0\n##\n", "art without 'end'"},
      {"page 4 4\nart 0 0\n#?\nend\n", "line 3: no ink for '?'"},
      {"page 4 4\nart 2 0\n###\nend\n", "line 3: the art leaves the page at the right"},
      {"page 4 4\nrect 0 0 1 1 purple\n", "line 2: 'purple' is not a colour"},
      {"page 4 4\nbands 2\nblank 3\n", "the page has no band 3"},
      {"page 4 4\nbits 32\n", "line 2: bits must come before the first page"},
      {"bits 30\n", "bits must be 24 or 32"},
      {"job-id seven\n", "line 1: 'seven' is not a number"},
      {"page 4096 4096\n", "the page is too large"},
      {"page 0 4\n", "0 is outside 1 to 65536"},
      {"fail ddi DrvPaint\n", "unknown DDI function 'DrvPaint'"},
      {"devmode 1 2 3 copies\n", "'copies' needs a value"},
      {"printer Key dword 1 2\n", "wrong number of words for 'printer'"},
      {"printer Key type 4 ABC\n", "'ABC' is not a byte in hex"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_NE(ParseError(text).find(expected), std::string::npos) << text << " gave: " << ParseError(text);
  std::string error;
  EXPECT_FALSE(qxcase::ReadCase("/nonexistent/case.case", &error));
  EXPECT_EQ(error, "cannot read the case file /nonexistent/case.case");
}

TEST(CaseFile, DescribesEveryCallAndTheOutcome) {
  qxhost::PrintResult result;
  result.calls = {{"DrvStartPage", 1, 0, 0, false}, {"ImageProcessing", 2, 3, -2147467259, false}};
  result.spoolWrites = {12, 34};
  result.error = "page 1: DrvStartPage failed";
  EXPECT_EQ(qxcase::DescribeCalls(result),
            "DrvStartPage page 1 band 0: 0 failed\n"
            "ImageProcessing page 2 band 3: -2147467259 failed\n"
            "spool writes: 12 34\n"
            "result: failed: page 1: DrvStartPage failed\n");
  result.ok = true;
  result.calls.clear();
  result.spoolWrites.clear();
  EXPECT_EQ(qxcase::DescribeCalls(result), "spool writes:\nresult: ok\n");
}

}  // namespace
