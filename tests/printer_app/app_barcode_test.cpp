// The bar code check in the app: with "barcode-check" hold, a job whose symbol fails the check
// (repair off, X 0.19 mm drawn at 240 dpi) is held before any byte reaches the device, the
// symbol named in its job-state-message and the log, while the printer prints other jobs;
// Release-Job prints it, and Cancel-Job drops it; a PWG raster too. A job its sender holds stays
// held after it passes.
// With the defaults (warn, repair auto) it is redrawn and scans.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "tests/printer_app/app_samples.h"
#include "tests/printer_app/app_server.h"
#include "tests/tools/layout_samples.h"
#include "tests/tools/symbol_pages.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

std::string JobAttribute(const std::string& uri, int jobId, const std::string& name) {
  return RunIpptool(uri, "  OPERATION Get-Job-Attributes\n" + std::string(kRequestHead) +
                             "  ATTR integer job-id " + std::to_string(jobId) + "\n")
      .Value(name);
}

// Until the job says `text` in its message, bounded.
std::string WaitForMessage(const std::string& uri, int jobId, const std::string& text) {
  std::string message;
  for (int i = 0; i < 150; ++i) {
    message = JobAttribute(uri, jobId, "job-state-message");
    if (message.find(text) != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return message;
}

TEST(AppBarcode, HoldKeepsAFailingLabelFromTheDeviceUntilReleased) {
  const std::string dir = FreshTestFolder();
  const std::string label = dir + "/code128-240.png";
  const GrayImage page = SymbolPage({20, "QX-0042-GB"}, 240, 0.19);
  WriteGrayPng(label, page, 240);
  // The same pixels as a PWG raster, one pixel a dot: a raster is held as it arrives and checked
  // from its spooled document.
  Image pixels{page.width, page.height, {}, {}};
  for (uint8_t gray : page.pixels) pixels.pixels.push_back({gray, gray, gray});
  const std::string raster = dir + "/code128.pwg";
  WritePwgRaster(raster, pixels);
  AppServer app(dir + "/state");
  ASSERT_TRUE(app.Start());
  const std::string settings =
      "  ATTR keyword barcode-check hold\n  ATTR keyword barcode-repair off\n  ATTR keyword print-scaling "
      "auto\n";
  struct Held {
    std::string end, document, format;
  };
  for (const auto& [end, document, format] :
       {Held{"release", label, "image/png"}, Held{"cancel", label, "image/png"},
        Held{"release-raster", raster, "image/pwg-raster"}}) {
    SCOPED_TRACE(end);
    const int job = PrintJob(app.Uri(), document, format, "held-" + end, settings);
    ASSERT_GT(job, 0);
    const std::string message = WaitForMessage(app.Uri(), job, "Held until released");
    EXPECT_NE(message.find("Bar code check failed on page 1: Code128"), std::string::npos) << message;
    EXPECT_NE(message.find("QX-0042-GB"), std::string::npos) << message;
    EXPECT_NE(JobAttribute(app.Uri(), job, "job-state-reasons").find("warnings-detected"), std::string::npos);
    EXPECT_EQ(JobAttribute(app.Uri(), job, "job-state"), "pending-held");
    EXPECT_NE(JobAttribute(app.Uri(), job, "job-state-reasons").find("job-hold-until-specified"),
              std::string::npos);
    // The printer prints on meanwhile: a label that passes (the same, repaired) is not held, and
    // one its sender holds stays held after it passes.
    const int next =
        PrintJob(app.Uri(), label, "image/png", "next-" + end, "  ATTR keyword print-scaling auto\n");
    EXPECT_EQ(WaitForJob(app.Uri(), next), "completed");
    const int kept =
        PrintJob(app.Uri(), label, "image/png", "kept-" + end,
                 "  ATTR keyword barcode-check hold\n  ATTR keyword job-hold-until indefinite\n");
    EXPECT_NE(WaitForMessage(app.Uri(), kept, "passed").find("Bar code check passed; held until released"),
              std::string::npos);
    EXPECT_EQ(JobAttribute(app.Uri(), kept, "job-state"), "pending-held");
    if (end == "cancel") {
      // A crash and a restart keep it held, its reason with it.
      app.Kill();
      ASSERT_TRUE(app.Start());
      EXPECT_EQ(JobAttribute(app.Uri(), job, "job-state"), "pending-held");
      EXPECT_NE(JobAttribute(app.Uri(), job, "job-state-message").find("QX-0042-GB"), std::string::npos);
    }
    const std::string output = app.OutputFile(job, "held-" + end);
    EXPECT_FALSE(fs::exists(output) && fs::file_size(output) > 0) << "a held job reached the device";
    const IppResult done =
        RunIpptool(app.Uri(), std::string("  OPERATION ") + (end == "cancel" ? "Cancel-Job" : "Release-Job") +
                                  "\n" + kRequestHead + "  ATTR integer job-id " + std::to_string(job) +
                                  "\n  STATUS successful-ok\n");
    EXPECT_EQ(done.exitCode, 0) << done.output;
    EXPECT_EQ(WaitForJob(app.Uri(), job), end == "cancel" ? "canceled" : "completed");
    EXPECT_EQ(fs::exists(output) && fs::file_size(output) > 0, end != "cancel");
  }
  // With the printer's defaults (warn, repair auto) the same label is redrawn, passes and scans.
  const int job = PrintJob(app.Uri(), label, "image/png", "repaired", "  ATTR keyword print-scaling auto\n");
  ASSERT_GT(job, 0);
  EXPECT_EQ(WaitForJob(app.Uri(), job), "completed");
  EXPECT_EQ(JobAttribute(app.Uri(), job, "job-state-message").find("failed"), std::string::npos);
  const std::string decoded = dir + "/repaired.png";
  ASSERT_EQ(std::system((std::string(QXVN_PATH) + " decode '" + app.OutputFile(job, "repaired") + "' -o " +
                         decoded + " > /dev/null")
                            .c_str()),
            0);
  EXPECT_NE(Capture("/usr/bin/ZXingReader -1 -noscale " + decoded).find("Code128 \"QX-0042-GB\""),
            std::string::npos);
  // The log names the failing symbol.
  EXPECT_NE(app.Log().find("Bar code check: page 1: Code128 \\\"QX-0042-GB\\\""), std::string::npos);
}

// The table of symbols `qxvn print --verify` is checked with, through the app: every symbol ZXing
// reads in the document is read with the same data from the labels the app printed (repair
// auto); with repair off, the jobs whose symbols the threshold breaks say which symbol.
TEST(AppBarcode, TheSymbolTableScansFromTheAppsLabelsAndFailsByNameWithoutRepair) {
  const std::string dir = FreshTestFolder();
  const std::vector<TableCase> cases = WriteSymbolTable(dir);
  std::vector<std::string> files;
  for (const TableCase& c : cases) files.push_back(c.file);
  const std::map<std::string, std::string> source = ZxingRead(files);
  AppServer app(dir + "/state");
  ASSERT_TRUE(app.Start());
  int inSource = 0, failedPlain = 0, firstJob = 1;
  for (const std::string mode : {"auto", "off"}) {
    SCOPED_TRACE(mode);
    // One ipptool run submits the whole table; the jobs print in turn.
    std::string requests;
    for (size_t i = 0; i < cases.size(); ++i)
      requests += std::string(i ? "}\n{\n" : "") + "  OPERATION Print-Job\n" + kRequestHead +
                  "  ATTR name job-name " + mode + std::to_string(i) +
                  "\n  ATTR mimeMediaType document-format image/png\n  GROUP job-attributes-tag\n"
                  "  ATTR keyword print-scaling auto\n  ATTR keyword barcode-repair " +
                  mode + "\n  FILE " + cases[i].file + "\n";
    ASSERT_EQ(RunIpptool(app.Uri(), requests).exitCode, 0);
    const int lastJob = firstJob + static_cast<int>(cases.size()) - 1;
    std::vector<std::string> labels;
    for (size_t i = 0; i < cases.size(); ++i) {
      labels.push_back(dir + "/" + mode + std::to_string(i) + "-label.png");
      const int job = firstJob + static_cast<int>(i);
      ASSERT_EQ(WaitForJob(app.Uri(), job, 120), "completed");
      Capture(std::string(QXVN_PATH) + " decode '" + app.OutputFile(job, mode + std::to_string(i)) + "' -o " +
              labels.back());
    }
    // Read as a scanner aimed at the symbol reads a label: the app's pages end where their ink
    // does (the printer feeds on to the gap), so a symbol is not at the page's centre.
    std::vector<std::string> aimed;
    for (const std::string& label : labels) aimed.push_back(AimedAtInk(label));
    const std::map<std::string, std::string> printed = ZxingRead(aimed);
    for (size_t i = 0; i < cases.size(); ++i) {
      SCOPED_TRACE(cases[i].file);
      const auto read = source.find(cases[i].file);
      if (read == source.end()) continue;  // the document itself does not scan
      const auto scanned = printed.find(aimed[i]);
      const std::string message =
          JobAttribute(app.Uri(), firstJob + static_cast<int>(i), "job-state-message");
      if (mode == std::string("auto")) {
        ++inSource;
        EXPECT_TRUE(scanned != printed.end() && scanned->second == read->second) << message;
        EXPECT_EQ(message.find("Bar code check failed"), std::string::npos) << message;
        continue;
      }
      if (message.find("Bar code check failed") == std::string::npos) continue;
      ++failedPlain;
      const std::string text = read->second.substr(read->second.find(' ') + 1);
      EXPECT_NE(message.find(cases[i].symbol->name == "GS1-128" ? "0950110153000" : text), std::string::npos)
          << message;
    }
    firstJob = lastJob + 1;
  }
  EXPECT_GT(inSource, 0);
  EXPECT_GT(failedPlain, 0);
  std::printf(
      "app: symbols read in the documents: %d, each read from its label; failing the check without repair: "
      "%d\n",
      inSource, failedPlain);
}

}  // namespace
}  // namespace qxtest
