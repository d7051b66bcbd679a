// Every label a job prints, seen before and after: the job's web page and its pictures (the very
// pictures `qxvn decode` draws of the job's stream), the preview sub-command, the Print a Label
// page, and who may see them.
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include "tests/printer_app/app_samples.h"
#include "tests/printer_app/app_server.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

bool IsRoot() { return geteuid() == 0; }

class AppPreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = FreshTestFolder();
    m_pdf = m_dir + "/two.pdf";
    WriteTwoPagePdf(m_pdf);
  }

  // The browser script's exit code, with what it said in `output`.
  int Browser(const std::string& args, std::string* output) {
    const int status =
        std::system(("python3 " WEB_PREVIEW_SCRIPT " " + args + " > " + m_dir + "/browser.txt 2>&1").c_str());
    *output = ReadFile(m_dir + "/browser.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // `qxvn decode` of a stream, as one file's bytes a page.
  std::vector<std::string> Decoded(const std::string& stream, const std::string& name) {
    const std::string out = m_dir + "/" + name + ".png";
    Capture(std::string(QXVN_PATH) + " decode '" + stream + "' -o " + out);
    std::vector<std::string> pages;
    if (fs::exists(out)) return {ReadFile(out)};
    for (int page = 1; fs::exists(m_dir + "/" + name + "-" + std::to_string(page) + ".png"); ++page)
      pages.push_back(ReadFile(m_dir + "/" + name + "-" + std::to_string(page) + ".png"));
    return pages;
  }

  std::string m_dir;
  std::string m_pdf;
};

// What `curl` gets: "STATUS\n" then the headers and the body, as `user` when one is given.
std::string Fetch(const std::string& url, const std::string& user = "", const std::string& curlArgs = "") {
  const std::string curl = "curl -s -i --max-time 30 " + curlArgs + " '" + url + "'";
  return Capture(user.empty() ? curl : "runuser -u " + user + " -- " + curl);
}

std::string Body(const std::string& response) {
  const size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? "" : response.substr(end + 4);
}

std::string StatusLine(const std::string& response) { return response.substr(0, response.find("\r\n")); }

std::string HeldJobAttributes() { return "  ATTR keyword job-hold-until indefinite\n"; }

std::string ReleaseJob(int id) {
  return "  OPERATION Release-Job\n  GROUP operation-attributes-tag\n"
         "  ATTR charset attributes-charset utf-8\n"
         "  ATTR naturalLanguage attributes-natural-language en\n"
         "  ATTR uri printer-uri $uri\n  ATTR integer job-id " +
         std::to_string(id) + "\n  STATUS successful-ok\n";
}

TEST_F(AppPreviewTest, AJobsPageShowsEveryLabelItPrintedAsDecodedFromItsStream) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const int id = PrintJob(app.Uri(), m_pdf, "application/pdf", "two",
                          "  ATTR integer copies 2\n  ATTR keyword media om_48x30mm_48x30mm\n");
  ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << app.Log();
  const std::vector<std::string> decoded = Decoded(app.OutputFile(id, "two"), "decoded");
  ASSERT_EQ(decoded.size(), 4u) << "2 pages, 2 copies each";

  // The pictures are the decoder's, byte for byte, and are kept by no cache.
  for (size_t label = 1; label <= decoded.size(); ++label) {
    const std::string response =
        Fetch(app.WebUrl("/qxvn/label.png?job=" + std::to_string(id) + "&label=" + std::to_string(label)));
    EXPECT_NE(response.find("Cache-Control: no-store"), std::string::npos) << StatusLine(response);
    EXPECT_TRUE(Body(response) == decoded[label - 1]) << "label " << label << ": " << StatusLine(response);
  }
  EXPECT_NE(
      StatusLine(Fetch(app.WebUrl("/qxvn/label.png?job=" + std::to_string(id) + "&label=5"))).find("404"),
      std::string::npos);

  // The preview sub-command writes the same pictures.
  const std::string out = m_dir + "/preview.png";
  int code = -1;
  const std::string said = Capture(app.Program() + " preview -j " + std::to_string(id) + " -o " + out, &code);
  ASSERT_EQ(code, 0) << said;
  for (size_t label = 1; label <= decoded.size(); ++label)
    EXPECT_TRUE(ReadFile(m_dir + "/preview-" + std::to_string(label) + ".png") == decoded[label - 1])
        << label;

  // In the browser: the page draws all four, and the job list a picture of the first.
  std::string browser;
  EXPECT_EQ(Browser("--job-page '" + app.WebUrl("/qxvn/job?id=" + std::to_string(id)) + "' 4 " + m_dir +
                        "/job-page.png",
                    &browser),
            0)
      << browser;
  const int other = PrintJob(app.Uri(), m_pdf, "application/pdf", "other");
  ASSERT_EQ(WaitForJob(app.Uri(), other), "completed");
  // The sample label's bar code: its box, data and grade from the printed dots.
  const int sample = PrintJob(app.Uri(), QXVN_EXAMPLES "/shipping-label.pdf", "application/pdf", "sample");
  ASSERT_EQ(WaitForJob(app.Uri(), sample), "completed");
  const std::string page = Fetch(app.WebUrl("/qxvn/job?id=" + std::to_string(sample)));
  EXPECT_NE(page.find("<div class=\"qxvn-barcode"), std::string::npos) << page;
  EXPECT_NE(page.find("title=\"Code128 &quot;QX0001234567GB&quot;, grade "), std::string::npos) << page;
  EXPECT_EQ(Browser("--job-list " + app.WebUrl("/label/jobs") + " " + std::to_string(id) + " " +
                        std::to_string(other),
                    &browser),
            0)
      << browser;

  // After a crash (its journal only) and after a stop (its whole state saved) the finished job
  // still says its copies and label size and shows its labels; it keeps one file, its labels.
  for (const bool crash : {true, false}) {
    SCOPED_TRACE(crash ? "killed" : "stopped");
    if (crash)
      app.Kill();
    else
      app.Stop();
    ASSERT_TRUE(app.Start()) << app.Log();
    const std::string restarted = Fetch(app.WebUrl("/qxvn/job?id=" + std::to_string(id)));
    EXPECT_NE(restarted.find("<th>Copies:</th><td>2</td>"), std::string::npos) << restarted;
    EXPECT_NE(restarted.find("<th>Label size:</th><td>48 x 30 mm</td>"), std::string::npos) << restarted;
    EXPECT_NE(restarted.find("Labels as printed (4)"), std::string::npos);
    std::vector<std::string> kept;
    for (const auto& entry : fs::directory_iterator(app.StateDir() + "/labels"))
      if (entry.path().stem() == std::to_string(id)) kept.push_back(entry.path().filename());
    EXPECT_EQ(kept, std::vector<std::string>{std::to_string(id) + ".qxvn"});
  }
}

// A held job shows what it will print (its bar code repaired as it prints); released, it prints
// exactly that.
TEST_F(AppPreviewTest, AHeldJobShowsTheLabelsItWillPrintAndPrintsThemWhenReleased) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const int id = PrintJob(app.Uri(), QXVN_EXAMPLES "/shipping-label.pdf", "application/pdf", "held",
                          HeldJobAttributes() +
                              "  ATTR keyword print-scaling fit\n  ATTR integer gray-threshold 90\n"
                              "  ATTR integer copies 2\n");
  ASSERT_GT(id, 0);
  const std::string page = Fetch(app.WebUrl("/qxvn/job?id=" + std::to_string(id)));
  EXPECT_NE(page.find("Labels as they will print (2)"), std::string::npos) << page;
  EXPECT_NE(page.find("value=\"release\""), std::string::npos);
  EXPECT_NE(page.find("value=\"cancel\""), std::string::npos);
  std::vector<std::string> before;
  for (int label = 1; label <= 2; ++label)
    before.push_back(Body(
        Fetch(app.WebUrl("/qxvn/label.png?job=" + std::to_string(id) + "&label=" + std::to_string(label)))));
  EXPECT_FALSE(fs::exists(app.OutputFile(id, "held"))) << "nothing goes to the device while held";

  ASSERT_EQ(RunIpptool(app.Uri(), ReleaseJob(id)).exitCode, 0);
  ASSERT_EQ(WaitForJob(app.Uri(), id), "completed") << app.Log();
  EXPECT_EQ(Decoded(app.OutputFile(id, "held"), "printed"), before);

  // Documents PAPPL would print as they arrive, and the printer's own stream (sent once a copy),
  // each held: the pictures are those of the stream printed once released. A raster job prints
  // released as it prints streamed.
  const std::string pwg = m_dir + "/label.pwg", urf = m_dir + "/label.urf";
  WritePwgRaster(pwg, LabelPattern(true));
  WritePwgRaster(urf, LabelPattern(false), true);
  const std::string raw = app.OutputFile(id, "held");
  // PAPPL takes a raster document only while the printer is idle, which it turns a moment after
  // the job before it completed.
  const auto waitUntilIdle = [&] {
    for (int tries = 0; tries < 300; ++tries) {
      if (RunIpptool(app.Uri(), "  OPERATION Get-Printer-Attributes\n" + std::string(kRequestHead) +
                                    "  ATTR keyword requested-attributes printer-state\n")
              .Value("printer-state") == "idle")
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  };
  for (const auto& [file, format, labels] : std::vector<std::tuple<std::string, std::string, size_t>>{
           {pwg, "image/pwg-raster", 2}, {urf, "image/urf", 2}, {raw, "application/vnd.qxvn-label", 4}}) {
    SCOPED_TRACE(format);
    waitUntilIdle();
    const int job =
        PrintJob(app.Uri(), file, format, "waiting", HeldJobAttributes() + "  ATTR integer copies 2\n");
    ASSERT_GT(job, 0);
    const std::string query = "job=" + std::to_string(job);
    EXPECT_EQ(Body(Fetch(app.WebUrl("/qxvn/labels?" + query))), std::to_string(labels) + "\n\n");
    std::vector<std::string> shown;
    for (size_t label = 1; label <= labels; ++label)
      shown.push_back(
          Body(Fetch(app.WebUrl("/qxvn/label.png?" + query + "&label=" + std::to_string(label)))));
    EXPECT_FALSE(fs::exists(app.OutputFile(job, "waiting")));
    ASSERT_EQ(RunIpptool(app.Uri(), ReleaseJob(job)).exitCode, 0);
    ASSERT_EQ(WaitForJob(app.Uri(), job), "completed") << app.Log();
    EXPECT_EQ(Decoded(app.OutputFile(job, "waiting"), "released"), shown);
    if (format == "application/vnd.qxvn-label") continue;
    waitUntilIdle();
    const int streamed = PrintJob(app.Uri(), file, format, "streamed", "  ATTR integer copies 2\n");
    ASSERT_EQ(WaitForJob(app.Uri(), streamed), "completed");
    EXPECT_TRUE(ReadFile(app.OutputFile(streamed, "streamed")) == ReadFile(app.OutputFile(job, "waiting")));
  }

  // A job that failed says why, in words.
  const std::string broken = m_dir + "/broken.pdf";
  std::ofstream(broken) << "%PDF-1.4\nthis is no PDF\n";
  const int failed = PrintJob(app.Uri(), broken, "application/pdf", "broken");
  ASSERT_EQ(WaitForJob(app.Uri(), failed), "aborted");
  const std::string failure = Fetch(app.WebUrl("/qxvn/job?id=" + std::to_string(failed)));
  EXPECT_NE(failure.find("<th>State:</th><td>Failed</td>"), std::string::npos) << failure;
  EXPECT_NE(
      failure.find("<th>Why it failed:</th><td>the document could not be read: Unable to read the document"),
      std::string::npos)
      << failure;
}

// Labels carry names and addresses: another local account and a client on the network get 403
// for a root job's page, pictures and document; the owner gets them.
TEST_F(AppPreviewTest, OnlyTheOwnerAndAdministratorsSeeAJobsLabelsAndDocument) {
  if (!IsRoot()) GTEST_SKIP() << "the app must run as root and the client as another account (runuser)";
  if (unshare(CLONE_NEWNET) != 0 || std::system("ip link set lo up") != 0 ||
      std::system("ip addr add 192.0.2.1/24 dev lo") != 0)
    GTEST_SKIP() << "no network namespace of the test's own with an address that is not loopback";
  AppServer app(m_dir + "/state", {}, {"--network"});
  ASSERT_TRUE(app.Start()) << app.Log();
  // A printed job's labels; a held job's too, and its document (PAPPL keeps a document until
  // its job has printed).
  const int done = PrintJob(app.Uri(), m_pdf, "application/pdf", "private");
  ASSERT_EQ(WaitForJob(app.Uri(), done), "completed") << app.Log();
  const int held = PrintJob(app.Uri(), m_pdf, "application/pdf", "held", HeldJobAttributes());
  ASSERT_GT(held, 0);
  const std::string job = std::to_string(done), heldJob = std::to_string(held);
  const std::string network = "http://192.0.2.1:" + std::to_string(app.Port());
  for (const std::string& path :
       {"/qxvn/job?id=" + job, "/qxvn/label.png?job=" + job + "&label=1", "/qxvn/labels?job=" + job,
        "/qxvn/job?id=" + heldJob, "/qxvn/label.png?job=" + heldJob + "&label=2",
        "/qxvn/document?job=" + heldJob}) {
    SCOPED_TRACE(path);
    EXPECT_NE(StatusLine(Fetch(app.WebUrl(path), "nobody")).find(" 403"), std::string::npos);
    EXPECT_NE(StatusLine(Fetch(network + path, "", "--interface 192.0.2.1")).find(" 403"), std::string::npos);
    const std::string owner = Fetch(app.WebUrl(path));
    EXPECT_NE(StatusLine(owner).find(" 200"), std::string::npos) << owner.substr(0, 300);
    EXPECT_NE(owner.find("Cache-Control: no-store"), std::string::npos);
  }
  EXPECT_TRUE(Body(Fetch(app.WebUrl("/qxvn/document?job=" + heldJob))) == ReadFile(m_pdf));
  int code = -1;
  const std::string refused =
      Capture("runuser -u nobody -- " + app.Program() + " preview -j " + job + " -o /tmp/x.png", &code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(refused.find("not allowed"), std::string::npos) << refused;
}

// The Print a Label page: the preview is the held job's labels; Print makes the job whose stream
// is the stream of the same file sent over IPP with the same choices. A file that cannot print
// is refused with its reason, and the next one prints.
TEST_F(AppPreviewTest, ALabelUploadedInTheBrowserPrintsAsTheSameFileSentOverIpp) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const std::string upload = app.WebUrl("/label/upload");
  std::string said;
  ASSERT_EQ(Browser("--upload " + upload + " " + m_pdf + " " + m_dir +
                        "/upload.png media=om_48x30mm_48x30mm "
                        "scaling=fit orientation=4 copies=2 gray-threshold=120 label-rotation=clockwise",
                    &said),
            0)
      << said;
  const int uploaded = std::atoi(said.substr(said.find("printed ") + 8).c_str());
  ASSERT_GT(uploaded, 0) << said;
  ASSERT_EQ(WaitForJob(app.Uri(), uploaded), "completed") << app.Log();
  const int sent = PrintJob(app.Uri(), m_pdf, "application/pdf", "two.pdf",
                            "  ATTR integer copies 2\n  ATTR keyword media om_48x30mm_48x30mm\n"
                            "  ATTR keyword print-scaling fit\n  ATTR enum orientation-requested 4\n"
                            "  ATTR integer label-gap-length 24\n  ATTR integer gray-threshold 120\n"
                            "  ATTR keyword label-rotation clockwise\n"
                            "  ATTR keyword label-horizontal-alignment start\n"
                            "  ATTR keyword label-vertical-alignment start\n");
  ASSERT_EQ(WaitForJob(app.Uri(), sent), "completed") << app.Log();
  const std::string stream = ReadFile(app.OutputFile(uploaded, "two.pdf"));
  EXPECT_FALSE(stream.empty());
  EXPECT_TRUE(stream == ReadFile(app.OutputFile(sent, "two.pdf"))) << "the upload printed otherwise than IPP";

  // Refused, each with its reason: a PDF that is not one, an image past the pixel limit, a
  // file past the size limit (by the browser, and by the app when the page's own check is
  // lifted); then a text file prints.
  const std::string broken = m_dir + "/broken.pdf", huge = m_dir + "/huge.png", big = m_dir + "/big.txt";
  std::ofstream(broken) << "%PDF-1.4\nthis is no PDF\n";
  WritePngFile(huge, PatternImage(1, 1, BlackWhite()), PngKind::Gray8);
  {
    // The header made that of a 200000 x 200000 image (its checksum too): refused by its size.
    std::string bytes = ReadFile(huge);
    for (int at : {16, 20}) bytes.replace(at, 4, std::string("\x00\x03\x0D\x40", 4));
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + 12), 17);
    for (int i = 0; i < 4; ++i) bytes[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
    std::ofstream(huge, std::ios::binary) << bytes;
  }
  std::ofstream(big) << std::string((size_t{32} << 20) + 1, 'x');
  for (const auto& [file, setting, reason] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {broken, "", "Unable to print the document"},
           {huge, "", "pixels"},
           {big, "", "largest is"},
           {big, "data-max=1000000000", "larger than 32 MiB"}}) {
    SCOPED_TRACE(file + " " + setting);
    EXPECT_EQ(Browser("--upload " + upload + " " + file + " " + m_dir + "/refused.png " + setting, &said), 3)
        << said;
    EXPECT_NE(said.find(reason), std::string::npos) << said;
  }
  // A text file, sent as text and set on the label by the app.
  const std::string text = m_dir + "/note.txt";
  std::ofstream(text) << "A. Sample\n45 Orchard Lane\nLeeds LS6 3QT\n";
  ASSERT_EQ(Browser("--upload " + upload + " " + text + " " + m_dir + "/next.png", &said), 0) << said;
  const int next = std::atoi(said.substr(said.find("printed ") + 8).c_str());
  EXPECT_EQ(WaitForJob(app.Uri(), next), "completed");
  const std::vector<std::string> label = Decoded(app.OutputFile(next, "note.txt"), "note");
  ASSERT_EQ(label.size(), 1u);
  const Bitmap printed = ReadPreview(m_dir + "/note.png");
  size_t dots = 0;
  for (uint8_t dot : printed.dots) dots += dot;
  EXPECT_EQ(printed.width, 568u);
  EXPECT_GT(dots, 2000u) << "the text is on the label";
}

}  // namespace
}  // namespace qxtest
