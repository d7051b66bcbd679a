// Whole documents printed through the loaded plug-in library, checked against the command
// stream worked out by hand.
#include <gmock/gmock.h>

#include "host/driver_host.h"
#include "tests/support/job_fixture.h"
#include "tests/support/trace_capture.h"

namespace qxtest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr LONG kWidth = 16;
constexpr DWORD kStride = 48;  // 16 pixels of 3 bytes

// Pixels of a 16-pixel-wide page, one string per row: '#' black, '.' white.
std::vector<BYTE> Pixels(const std::vector<std::string>& rows) {
  std::vector<BYTE> pixels(rows.size() * kStride, 0xFF);
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c)
      if (rows[r][c] == '#') std::fill_n(pixels.begin() + static_cast<long>(r * kStride + c * 3), 3, BYTE{0});
  return pixels;
}

// The page header every page of these documents carries, for its dot limits.
std::string Header(const std::string& dotLimits) {
  return "1F 20 00 88 1F 27 01 02 88 1F 25 " + dotLimits +
         " 88 1F 43 01 0A 88 1F 44 01 02 88 1F 42 01 01 88 1F 45 02 C1 2C 88";
}

// Page 1: two lines of eight dots, a blank line, then the last dot alone.
const std::string kPage1 = Header("02 08 00") +
                           " 1F 21 03 01 00 FF 88"  // 2 lines FF from byte 0
                           " 1F 22 01 00 88"        // 1 blank line
                           " 1F 21 03 00 01 01 88"  // 1 line 01 at byte 1
                           " 1F 28 00 88";
// Page 2: forty lines of sixteen dots.
const std::string kPage2 = Header("02 10 10") + " 1F 21 04 27 00 FF FF 88 1F 28 00 88";

class PrintDocumentTest : public ::testing::Test {
 protected:
  PrintDocumentTest() {
    std::string error;
    EXPECT_TRUE(host.Load(qxhost::BuiltPluginPath(), &error)) << error;
    page1 = Pixels({"########........", "########........", "................", "...............#"});
    page2 = Pixels(std::vector<std::string>(40, std::string(16, '#')));
    job.jobId = 21;
    job.devMode = qxhost::MakeDevMode(DMPAPER_LETTER, 1000, 1500, 2, DMCOLLATE_FALSE);
    for (const auto& [name, value] :
         {std::pair{u"PrintDarkness", 10u}, {u"PrintSpeed", 2u}, {u"GapType", 1u}, {u"GapLength", 300u}}) {
      qxhost::PrinterValue dword{REG_DWORD, {BYTE(value), BYTE(value >> 8), 0, 0}};
      job.printerData.emplace_back(name, dword);
    }
    job.pages.resize(2);
    job.pages[0].bands = {qxhost::MakeBand(page1.data(), kWidth, 4, 24)};
    job.pages[1].bands = {qxhost::MakeBand(page2.data(), kWidth, 40, 24)};
  }

  // The stream of a job that is to succeed, in hex.
  std::string Printed() {
    qxhost::PrintResult result = host.Print(job);
    EXPECT_TRUE(result.ok) << result.error;
    return Hex(result.spool);
  }

  std::vector<std::string> CallNames(const qxhost::PrintResult& result) const {
    std::vector<std::string> names;
    for (const auto& call : result.calls) names.push_back(call.call);
    return names;
  }

  TraceCapture trace;
  qxhost::DriverHost host;
  std::vector<BYTE> page1, page2;
  qxhost::JobSpec job;
};

TEST_F(PrintDocumentTest, TwoPagesWithCopiesGiveTheHandWorkedStream) {
  EXPECT_EQ(Printed(), kPage1 + " " + kPage1 + " " + kPage2 + " " + kPage2);
  EXPECT_TRUE(trace.Contains("CJobProc::WritePageData(1) Copies: 2 Bytes: " +
                             std::to_string(FromHex(kPage1).size())));
  // A collated document is written once; the print processor makes the copies.
  job.devMode->dmCollate = DMCOLLATE_TRUE;
  EXPECT_EQ(Printed(), kPage1 + " " + kPage2);
  // The bands of a page add up to the stream of the whole page.
  job.devMode->dmCollate = DMCOLLATE_FALSE;
  job.devMode->dmCopies = 1;
  job.pages[1].bands = {qxhost::MakeBand(page2.data(), kWidth, 25, 24, 0),
                        qxhost::MakeBand(page2.data() + 25 * kStride, kWidth, 15, 24, 25)};
  EXPECT_EQ(Printed(), kPage1 + " " + kPage2);
}

TEST_F(PrintDocumentTest, DocumentFollowsTheDriverSequence) {
  job.pages[1].bands.push_back(qxhost::MakeBand(page2.data(), kWidth, 1, 24, 40));
  job.pages[1].bands.back().blank = true;
  qxhost::PrintResult result = host.Print(job);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_THAT(CallNames(result),
              ElementsAre("DllGetClassObject", "CreateInstance", "PublishDriverInterface", "GetInfo",
                          "DevMode", "DevMode", "GetImplementedMethod", "EnableDriver", "EnablePDEV",
                          "DrvStartDoc", "DrvStartPage", "DrvStartBanding", "ImageProcessing", "DrvNextBand",
                          "DrvSendPage", "DrvStartPage", "DrvStartBanding", "ImageProcessing", "DrvNextBand",
                          "ImageProcessing", "DrvNextBand", "DrvSendPage", "DrvEndDoc", "DisablePDEV",
                          "DisableDriver", "Release", "DllCanUnloadNow"));
  for (const auto& call : result.calls) EXPECT_TRUE(call.ok) << call.call;
  // The page ends at the end of its band loop; DrvSendPage finds nothing left to write.
  EXPECT_EQ(trace.Count("CJobProc::EndPage(2) normal."), 1u);
}

TEST_F(PrintDocumentTest, AbortDropsThePageInProgress) {
  job.abortInPage = 2;
  qxhost::PrintResult result = host.Print(job);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(Hex(result.spool), kPage1 + " " + kPage1);
  EXPECT_TRUE(trace.Contains("CJobProc::PushJobAbort(21)"));
  EXPECT_EQ(result.calls[result.calls.size() - 5].call, "DrvEndDoc");
}

TEST_F(PrintDocumentTest, RefusedBandFailsTheDocumentWithItsReason) {
  job.pages[1].bands[0].callbackId = 7;
  qxhost::PrintResult result = host.Print(job);
  EXPECT_FALSE(result.ok);
  EXPECT_THAT(result.error, HasSubstr("page 2: band 1 was refused by the plug-in"));
  // The first page was written; the refused one was dropped by the abort.
  EXPECT_EQ(Hex(result.spool), kPage1 + " " + kPage1);
  EXPECT_TRUE(trace.Contains("CJobProc::PushJobAbort(21)"));
}

TEST_F(PrintDocumentTest, DriverAndSpoolerFailuresNameTheStep) {
  struct Case {
    qxhost::HostFaults faults;
    std::string error;
  };
  std::vector<Case> cases(5);
  cases[0].faults.failingDdi = {INDEX_DrvStartDoc};
  cases[0].error = "DrvStartDoc failed";
  cases[1].faults.failingDdi = {INDEX_DrvSendPage};
  cases[1].error = "page 1: DrvSendPage failed";
  cases[2].faults.getJobNoSize = true;
  cases[2].error = "page 1: DrvStartPage failed";
  cases[3].faults.getJobFillFails = true;
  cases[3].error = "page 1: DrvStartPage failed";
  cases[4].faults.spoolFailFromWrite = 3;
  cases[4].error = "the spooler took fewer bytes than written at write 3";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    qxhost::PrintResult result = host.Print(job, c.faults);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, c.error);
    // The plug-in object and device are torn down whatever happened.
    EXPECT_EQ(result.calls.back().call, "DllCanUnloadNow");
    EXPECT_TRUE(result.calls.back().ok);
  }
  EXPECT_FALSE(qxhost::HostFailures().getJobNoSize);
}

TEST_F(PrintDocumentTest, SpoolSinkTakesEachWriteAndCanFailTheDocument) {
  std::vector<BYTE> taken;
  size_t writes = 0;
  job.spoolSink = [&](const BYTE* bytes, DWORD size) {
    taken.insert(taken.end(), bytes, bytes + size);
    return ++writes < 3;
  };
  qxhost::PrintResult result = host.Print(job);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "the spooler took fewer bytes than written at write 3");
  EXPECT_TRUE(result.spool.empty());
  // The document stopped at the refused write: page 1 once whole, then nothing more.
  EXPECT_EQ(writes, 3u);
  EXPECT_EQ(result.spoolWrites.size(), 3u);
  job.spoolSink = [&](const BYTE* bytes, DWORD size) {
    taken.insert(taken.end(), bytes, bytes + size);
    return true;
  };
  taken.clear();
  result = host.Print(job);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(Hex(taken), kPage1 + " " + kPage1 + " " + kPage2 + " " + kPage2);
}

TEST_F(PrintDocumentTest, JobWithoutDeviceModeCannotStart) {
  job.devMode.reset();
  qxhost::PrintResult result = host.Print(job);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "page 1: DrvStartPage failed");
  EXPECT_TRUE(result.spool.empty());
}

TEST_F(PrintDocumentTest, RefusesWhatItCannotPlay) {
  job.bitsPerPixel = 16;
  EXPECT_THAT(host.Print(job).error, HasSubstr("24 or 32 bits per pixel"));
  qxhost::DriverHost empty;
  EXPECT_EQ(empty.Print(job).error, "no plug-in library is loaded");
}

}  // namespace
}  // namespace qxtest
