// The printer application against a real IPP client: IPP Everywhere attributes, every format
// byte for byte as qxvn prints the same page, settings over IPP and in a browser that survive a
// restart, bad documents and failing devices, and many jobs at once.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

#include "tests/printer_app/app_samples.h"
#include "tests/printer_app/app_server.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = FreshTestFolder();
    m_png = m_dir + "/label.png";
    WritePngFile(m_png, LabelPattern(true), PngKind::Rgb8);
  }

  std::string m_dir;
  std::string m_png;
};

TEST_F(AppTest, PassesTheIppEverywhereAttributeChecks) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  // printer-up-time must be above 0.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  // The stock test file, with our PNG for its print tests.
  const std::string command = std::string(IPPTOOL_PATH) + " -t -T 30 -f " + m_png + " " + app.Uri() +
                              " /usr/share/cups/ipptool/ipp-everywhere.test > " + m_dir +
                              "/everywhere.txt 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << ReadFile(m_dir + "/everywhere.txt");
  EXPECT_EQ(ReadFile(m_dir + "/everywhere.txt").find("[FAIL]"), std::string::npos);
}

// A stream's pages decoded, each without the blank lines at its end: a label printed on the
// printer's own size and the same label on a user-defined paper (qxvn print --paper) differ
// only there.
std::vector<std::vector<uint8_t>> PrintedPages(const std::string& stream, const std::string& base) {
  std::ofstream(base + ".prn", std::ios::binary) << stream;
  const std::string command =
      std::string(QXVN_PATH) + " decode " + base + ".prn -o " + base + ".png > /dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::vector<std::vector<uint8_t>> pages;
  for (int page = 1;; ++page) {
    const std::string one = base + ".png", numbered = base + "-" + std::to_string(page) + ".png";
    const std::string path = fs::exists(numbered) ? numbered : page == 1 && fs::exists(one) ? one : "";
    if (path.empty()) break;
    Bitmap bitmap = ReadPreview(path);
    const size_t width = bitmap.width;
    size_t height = bitmap.height;
    auto row = [&](size_t y) { return bitmap.dots.begin() + static_cast<std::ptrdiff_t>(y * width); };
    while (height > 0 && std::all_of(row(height - 1), row(height), [](uint8_t dot) { return dot == 0; }))
      --height;
    bitmap.dots.erase(row(height), bitmap.dots.end());
    pages.push_back(bitmap.dots);
    if (path == one) break;
  }
  return pages;
}

TEST_F(AppTest, EveryFormatPrintsWhatQxvnPrintsForTheSamePage) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const Image gray = LabelPattern(false);
  const std::string grayPng = m_dir + "/gray.png";
  WritePngFile(grayPng, gray, PngKind::Gray8);
  const std::string jpeg = m_dir + "/label.jpg";
  WriteJpegFile(jpeg, LabelPattern(true));
  const std::string jpegPixels = m_dir + "/jpeg-pixels.png";
  WritePngFile(jpegPixels, DecodeJpegFile(jpeg), PngKind::Rgb8);
  const std::string pwg = m_dir + "/label.pwg";
  WritePwgRaster(pwg, LabelPattern(true));
  const std::string pdf = std::string(QXVN_EXAMPLES) + "/shipping-label.pdf";
  const std::string twoPages = m_dir + "/two.pdf";
  WriteTwoPagePdf(twoPages);

  struct Case {
    std::string name, file, format, samePixels, attributes, qxvnOptions;
  };
  // PDF pages are drawn at their size on the label, as qxvn print lays them out on a paper of the
  // label's size; the dots are compared, not the bytes (see PrintedPages).
  const std::string kOnLabel = " --paper 48x76 --scaling auto";
  const std::vector<Case> cases = {
      {"png", m_png, "image/png", m_png, "", ""},
      {"gray-png", grayPng, "image/png", grayPng, "", ""},
      {"png-copies", m_png, "image/png", m_png, "  ATTR integer copies 3\n", " --copies 3"},
      {"jpeg", jpeg, "image/jpeg", jpegPixels, "", ""},
      {"pwg", pwg, "image/pwg-raster", m_png, "", ""},
      {"pdf", pdf, "application/pdf", pdf, "", kOnLabel},
      {"pdf-collated", twoPages, "application/pdf", twoPages, "  ATTR integer copies 2\n",
       " --copies 2 --collate" + kOnLabel},
      {"pdf-uncollated", twoPages, "application/pdf", twoPages,
       "  ATTR integer copies 2\n  ATTR keyword multiple-document-handling "
       "separate-documents-uncollated-copies\n",
       " --copies 2" + kOnLabel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int id = PrintJob(app.Uri(), c.file, c.format, c.name, c.attributes);
    ASSERT_GT(id, 0);
    ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << app.Log();
    const std::string expected = QxvnPrint(c.samePixels + c.qxvnOptions + DefaultSettings());
    ASSERT_FALSE(expected.empty());
    const std::string printed = ReadFile(app.OutputFile(id, c.name));
    if (c.qxvnOptions.find(kOnLabel) == std::string::npos) {
      EXPECT_TRUE(printed == expected);
    } else {
      const auto pages = PrintedPages(printed, m_dir + "/" + c.name);
      EXPECT_FALSE(pages.empty());
      EXPECT_TRUE(pages == PrintedPages(expected, m_dir + "/" + c.name + "-qxvn"));
    }
  }
}

TEST_F(AppTest, SettingsOverIppChangeTheStreamAndSurviveARestart) {
  {
    AppServer app(m_dir + "/state");
    ASSERT_TRUE(app.Start());
    // A job's own values: darkness, threshold, rotation, alignment.
    int id =
        PrintJob(app.Uri(), m_png, "image/png", "job-values",
                 "  ATTR integer print-darkness 100\n  ATTR integer print-speed 12700\n"
                 "  ATTR integer gray-threshold 90\n"
                 "  ATTR keyword label-rotation upside-down\n  ATTR keyword label-vertical-alignment end\n");
    ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << app.Log();
    EXPECT_TRUE(ReadFile(app.OutputFile(id, "job-values")) ==
                QxvnPrint(m_png + DefaultSettings({{"PrintDarkness", 14},
                                                   {"PrintSpeed", 4},
                                                   {"GrayThreshold", 90},
                                                   {"Rotation", 2},
                                                   {"VerAlignment", 2}})));
    // Printer defaults: darkness, speed (which PAPPL itself does not save), gap type and length,
    // threshold, rotation.
    IppResult set = RunIpptool(app.Uri(),
                               "  OPERATION Set-Printer-Attributes\n"
                               "  GROUP operation-attributes-tag\n"
                               "  ATTR charset attributes-charset utf-8\n"
                               "  ATTR naturalLanguage attributes-natural-language en\n"
                               "  ATTR uri printer-uri $uri\n"
                               "  GROUP printer-attributes-tag\n"
                               "  ATTR integer printer-darkness-configured 70\n"
                               "  ATTR integer print-darkness-default 20\n"
                               "  ATTR integer print-speed-default 12700\n"
                               "  ATTR collection media-col-default {\n"
                               "    MEMBER collection media-size {\n"
                               "      MEMBER integer x-dimension 4800\n"
                               "      MEMBER integer y-dimension 7600\n"
                               "    }\n"
                               "    MEMBER keyword media-tracking continuous\n"
                               "    MEMBER keyword media-source main-roll\n"
                               "    MEMBER keyword media-type labels\n"
                               "  }\n"
                               "  ATTR integer gray-threshold-default 200\n"
                               "  ATTR integer label-gap-length-default 100\n"
                               "  ATTR keyword label-rotation-default clockwise\n"
                               "  STATUS successful-ok\n");
    ASSERT_EQ(set.exitCode, 0) << set.output;
  }
  const std::string saved = DefaultSettings({{"PrintDarkness", 13},
                                             {"PrintSpeed", 4},
                                             {"GapType", 0},
                                             {"GapLength", 100},
                                             {"GrayThreshold", 200},
                                             {"Rotation", 1}});
  AppServer again(m_dir + "/state");
  ASSERT_TRUE(again.Start());
  int id = PrintJob(again.Uri(), m_png, "image/png", "after-restart");
  ASSERT_EQ(WaitForJob(again.Uri(), id), "completed") << again.Log();
  EXPECT_TRUE(ReadFile(again.OutputFile(id, "after-restart")) == QxvnPrint(m_png + saved));
}

TEST_F(AppTest, TheWebSettingsPageSetsTheThresholdInABrowser) {
  {
    AppServer app(m_dir + "/state");
    ASSERT_TRUE(app.Start());
    const std::string command = "python3 " WEB_SETTINGS_SCRIPT " " + app.WebUrl("/label/printing") +
                                " gray-threshold 90 > " + m_dir + "/browser.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(m_dir + "/browser.txt");
    int id = PrintJob(app.Uri(), m_png, "image/png", "after-browser");
    ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << app.Log();
    EXPECT_TRUE(ReadFile(app.OutputFile(id, "after-browser")) ==
                QxvnPrint(m_png + DefaultSettings({{"GrayThreshold", 90}})));
    EXPECT_FALSE(ReadFile(app.OutputFile(id, "after-browser")) == QxvnPrint(m_png + DefaultSettings()))
        << "the sample label must print differently at threshold 90";
  }
  AppServer again(m_dir + "/state");
  ASSERT_TRUE(again.Start());
  int id = PrintJob(again.Uri(), m_png, "image/png", "after-restart");
  ASSERT_EQ(WaitForJob(again.Uri(), id), "completed") << again.Log();
  EXPECT_TRUE(ReadFile(again.OutputFile(id, "after-restart")) ==
              QxvnPrint(m_png + DefaultSettings({{"GrayThreshold", 90}})));
}

TEST_F(AppTest, BadDocumentsEndTheirJobAndTheNextJobPrints) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const std::string png = ReadFile(m_png);
  const std::string truncatedPng = m_dir + "/truncated.png";
  std::ofstream(truncatedPng, std::ios::binary) << png.substr(0, png.size() / 2);
  const std::string pdf = ReadFile(std::string(QXVN_EXAMPLES) + "/shipping-label.pdf");
  const std::string truncatedPdf = m_dir + "/truncated.pdf";
  std::ofstream(truncatedPdf, std::ios::binary) << pdf.substr(0, pdf.size() / 3);
  const std::string jpeg = m_dir + "/label.jpg";
  WriteJpegFile(jpeg, LabelPattern(true));
  const std::string truncatedJpeg = m_dir + "/truncated.jpg";
  std::ofstream(truncatedJpeg, std::ios::binary) << ReadFile(jpeg).substr(0, ReadFile(jpeg).size() / 2);
  const std::string hugePdf = m_dir + "/huge.pdf";
  std::ofstream(hugePdf, std::ios::binary)
      << "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
         "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
         "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 14400 14400]/UserUnit 10>>endobj\n"
         "trailer<</Root 1 0 R>>\n%%EOF\n";

  // The huge page at its own size is refused before it is drawn.
  const std::string atItsSize = "  ATTR keyword print-scaling none\n";
  for (const auto& [file, format, attributes] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {truncatedPng, "image/png", ""},
           {truncatedJpeg, "image/jpeg", ""},
           {truncatedPdf, "application/pdf", ""},
           {hugePdf, "application/pdf", atItsSize}}) {
    SCOPED_TRACE(file);
    int id = PrintJob(app.Uri(), file, format, "bad", attributes);
    ASSERT_GT(id, 0);
    EXPECT_EQ(WaitForJob(app.Uri(), id), "aborted");
  }
  // Scaled to the label, it prints.
  int scaled = PrintJob(app.Uri(), hugePdf, "application/pdf", "huge", "  ATTR keyword print-scaling fit\n");
  ASSERT_GT(scaled, 0);
  EXPECT_EQ(WaitForJob(app.Uri(), scaled), "completed") << app.Log();
  // A format the printer does not take is refused, or its job ends unprinted.
  std::string status;
  const std::string text = m_dir + "/note.bin";
  std::ofstream(text, std::ios::binary) << std::string("\0\x01\x02not a label\n", 15);
  if (int unknown = PrintJob(app.Uri(), text, "application/x-unknown", "unknown", "", &status))
    EXPECT_EQ(WaitForJob(app.Uri(), unknown), "aborted");
  else
    EXPECT_EQ(status, "client-error-document-format-not-supported");

  int id = PrintJob(app.Uri(), m_png, "image/png", "good");
  ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << app.Log();
  EXPECT_TRUE(ReadFile(app.OutputFile(id, "good")) == QxvnPrint(m_png + DefaultSettings()));
}

std::string JobMessage(const std::string& uri, int id) {
  IppResult job = RunIpptool(uri,
                             "  OPERATION Get-Job-Attributes\n  GROUP operation-attributes-tag\n"
                             "  ATTR charset attributes-charset utf-8\n"
                             "  ATTR naturalLanguage attributes-natural-language en\n"
                             "  ATTR uri printer-uri $uri\n  ATTR integer job-id " +
                                 std::to_string(id) + "\n");
  return job.Value("job-state-message");
}

TEST_F(AppTest, AFailingDeviceAbortsItsJobAndOtherPrintersGoOn) {
  // A device that takes no bytes, and a folder the job's file cannot be made in: not writable,
  // and (for root, whom permissions do not stop) a folder already where the file would go.
  const std::string locked = m_dir + "/locked";
  // The folder job's file: the printer's first job, "to-folder".
  fs::create_directories(AppServer::OutputFile(locked, 1, "to-folder"));
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  fs::create_directories(m_dir + "/state/output");
  AppServer app(m_dir + "/state", {"label=file://" + m_dir + "/state/output", "full=file:///dev/full",
                                   "locked=file://" + locked});
  app.AddArgs({"--allowed-folder", m_dir, "--allowed-folder", "/dev/full"});
  ASSERT_TRUE(app.Start());
  for (const auto& [printer, name] :
       std::vector<std::pair<std::string, std::string>>{{"full", "to-full"}, {"locked", "to-folder"}}) {
    SCOPED_TRACE(printer);
    int failing = PrintJob(app.Uri(printer), m_png, "image/png", name);
    ASSERT_GT(failing, 0);
    EXPECT_EQ(WaitForJob(app.Uri(printer), failing), "aborted");
    const std::string message = JobMessage(app.Uri(printer), failing);
    EXPECT_NE(message.find("device write failed"), std::string::npos) << message;
    // The reason, with the file's name but no folder of the server.
    EXPECT_EQ(message.find(m_dir), std::string::npos) << message;
    if (printer == "locked") {
      EXPECT_NE(message.find("'1-to-folder.prn': Is a directory"), std::string::npos) << message;
    } else {
      EXPECT_NE(message.find("No space left on device"), std::string::npos) << message;
    }
  }
  // Other printers go on, and the folder prints again once it can be written.
  int id = PrintJob(app.Uri(), m_png, "image/png", "next");
  ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << app.Log();
  EXPECT_TRUE(ReadFile(app.OutputFile(id, "next")) == QxvnPrint(m_png + DefaultSettings()));
  fs::permissions(locked, fs::perms::owner_all);
  id = PrintJob(app.Uri("locked"), m_png, "image/png", "unlocked");
  ASSERT_EQ(WaitForJob(app.Uri("locked"), id), "completed") << app.Log();
  EXPECT_TRUE(ReadFile(AppServer::OutputFile(locked, id, "unlocked")) ==
              QxvnPrint(m_png + DefaultSettings()));
}

// Each client submits its jobs one after another; all clients at once.
void SubmitConcurrently(const std::vector<std::string>& uris, int clients, int jobsEach,
                        const std::string& png, std::vector<std::pair<std::string, int>>* jobs) {
  std::mutex lock;
  std::vector<std::thread> threads;
  for (int client = 0; client < clients; ++client) {
    threads.emplace_back([&, client] {
      const std::string& uri = uris[static_cast<size_t>(client) % uris.size()];
      for (int n = 0; n < jobsEach; ++n) {
        const std::string name = "c" + std::to_string(client) + "-" + std::to_string(n);
        int id = PrintJob(uri, png, "image/png", name);
        std::lock_guard<std::mutex> hold(lock);
        jobs->emplace_back(name, id);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
}

void ExpectEveryJobOnce(const AppServer& app, const std::vector<std::pair<std::string, int>>& jobs,
                        const std::map<std::string, std::string>& outputOf, const std::string& expected) {
  for (const auto& [name, id] : jobs) {
    SCOPED_TRACE(name);
    ASSERT_GT(id, 0);
    EXPECT_TRUE(ReadFile(AppServer::OutputFile(outputOf.at(name), id, name)) == expected);
  }
  // PAPPL rotates its log at 1 MB: the older part is app.log.O.
  const std::string log = ReadFile(app.StateDir() + "/app.log.O") + app.Log();
  EXPECT_EQ(log.find("is already printing on this printer"), std::string::npos);
  EXPECT_EQ(log.find("Unable to open PNG file"), std::string::npos);
  // Each document's trace is in its own job's log: "[Job 7] ... ImageProcessing(7, ...".
  size_t traced = 0;
  for (size_t at = log.find("ImageProcessing("); at != std::string::npos;
       at = log.find("ImageProcessing(", at + 1)) {
    const size_t job = log.rfind("[Job ", at);
    ASSERT_NE(job, std::string::npos);
    const std::string logged = log.substr(job + 5, log.find(']', job) - job - 5);
    const std::string tracedId = log.substr(at + 16, log.find(',', at) - at - 16);
    EXPECT_EQ(logged, tracedId) << log.substr(job, log.find('\n', at) - job);
    ++traced;
  }
  EXPECT_GT(traced, 0u);
}

TEST_F(AppTest, ThreePrintersTakeThirtyJobsEachAtOnce) {
  std::vector<std::string> printers, uris;
  std::map<std::string, std::string> outputOf;
  for (int p = 0; p < 3; ++p) {
    const std::string folder = m_dir + "/out" + std::to_string(p);
    fs::create_directories(folder);
    printers.push_back("p" + std::to_string(p) + "=file://" + folder);
    for (int n = 0; n < 30; ++n) outputOf["c" + std::to_string(p) + "-" + std::to_string(n)] = folder;
  }
  AppServer app(m_dir + "/state", printers);
  app.AddArgs({"--allowed-folder", m_dir});
  ASSERT_TRUE(app.Start());
  for (int p = 0; p < 3; ++p) uris.push_back(app.Uri("p" + std::to_string(p)));
  std::vector<std::pair<std::string, int>> jobs;
  SubmitConcurrently(uris, 3, 30, m_png, &jobs);
  for (const auto& [name, id] : jobs) ASSERT_EQ(WaitForJob(uris[name[1] - '0'], id), "completed") << name;
  ExpectEveryJobOnce(app, jobs, outputOf, QxvnPrint(m_png + DefaultSettings()));
}

TEST_F(AppTest, FourClientsShareOnePrinter) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  std::vector<std::pair<std::string, int>> jobs;
  SubmitConcurrently({app.Uri()}, 4, 10, m_png, &jobs);
  std::map<std::string, std::string> outputOf;
  for (const auto& [name, id] : jobs) {
    ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << name;
    outputOf[name] = app.OutputDir();
  }
  ExpectEveryJobOnce(app, jobs, outputOf, QxvnPrint(m_png + DefaultSettings()));
}

}  // namespace
}  // namespace qxtest
