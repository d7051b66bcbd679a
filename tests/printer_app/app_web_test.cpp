// The printer application as a newcomer meets it: its web pages in a browser (settings named in
// words, the test label printed from the printer's page), and a saved printer moved to another
// device from the command line.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/printer_app/app_samples.h"
#include "tests/printer_app/app_server.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

class AppWebTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dir = FreshTestFolder(); }

  // Runs the browser script; its exit code, with what it said in `output`.
  int Browser(const std::string& args, std::string* output) {
    const std::string command =
        "python3 " WEB_SETTINGS_SCRIPT " " + args + " > " + m_dir + "/browser.txt 2>&1";
    const int status = std::system(command.c_str());
    *output = ReadFile(m_dir + "/browser.txt");
    return status;
  }

  std::string m_dir;
};

// The stream of a job the app wrote into `folder`, waited for (bounded).
// The path of the first job file in `folder` named "ID-`jobName`.prn", waited for (bounded);
// empty when none came.
std::string WaitForJobFile(const std::string& folder, const std::string& jobName) {
  const std::string suffix = "-" + jobName + ".prn";
  for (int i = 0; i < 150; ++i) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.size() > suffix.size() &&
          name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return entry.path().string();
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return "";
}

std::string Dump(const std::string& stream) {
  return Capture(std::string(QXVN_PATH) + " dump '" + stream + "'");
}

TEST_F(AppWebTest, TheBrowserShowsSettingsInWordsAndPrintsTheTestLabel) {
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  std::string said;
  ASSERT_EQ(Browser("--names " + app.WebUrl("/label/printing") + " " + m_dir + "/printing.png", &said), 0)
      << said;
  // A setting and "Auto" speed chosen there reach the test label's stream.
  ASSERT_EQ(Browser(app.WebUrl("/label/printing") + " label-gap-length 40", &said), 0) << said;
  ASSERT_EQ(Browser(app.WebUrl("/label/printing") + " print-speed 0", &said), 0) << said;
  ASSERT_EQ(Browser("--test-page " + app.WebUrl("/label/") + " " + m_dir + "/status.png", &said), 0) << said;

  const std::string stream = WaitForJobFile(app.OutputDir(), "Test Page");
  ASSERT_FALSE(stream.empty() || ReadFile(stream).empty()) << app.Log();
  const std::string dump = Dump(stream);
  EXPECT_NE(dump.find("GAP_LENGTH    40"), std::string::npos) << dump;
  EXPECT_NE(dump.find("SPEED         2"), std::string::npos) << "Auto is the default speed, 3 in/s\n" << dump;

  ASSERT_EQ(
      std::system(
          (std::string(QXVN_PATH) + " decode '" + stream + "' -o " + m_dir + "/test-label.png").c_str()),
      0);
  const Bitmap label = ReadPreview(m_dir + "/test-label.png");
  // The default 48 x 76 mm label: its border on all four edges, text, barcode and ramp inside.
  ASSERT_EQ(label.width, 568u);
  ASSERT_GE(label.height, 895u);
  ASSERT_LE(label.height, 899u);
  EXPECT_TRUE(label.At(1, 450) && label.At(565, 450)) << "left and right border";
  EXPECT_TRUE(label.At(283, 1) && label.At(283, label.height - 2)) << "top and bottom border";
  size_t dots = 0;
  for (uint8_t dot : label.dots) dots += dot;
  EXPECT_GT(dots, 40000u);
  EXPECT_LT(dots, 568u * 898u / 2);
}

TEST_F(AppWebTest, APrinterOptionMovesASavedPrinterToItsNewDevice) {
  const std::string first = m_dir + "/first", second = m_dir + "/second", third = m_dir + "/third";
  for (const std::string& folder : {first, second, third}) fs::create_directories(folder);
  const std::string png = m_dir + "/label.png";
  WritePngFile(png, LabelPattern(false), PngKind::Gray8);
  {
    AppServer app(m_dir + "/state", {"label=file://" + first, "other=file://" + third},
                  {"--allowed-folder", m_dir});
    ASSERT_TRUE(app.Start());
    ASSERT_EQ(WaitForJob(app.Uri(), PrintJob(app.Uri(), png, "image/png", "one")), "completed") << app.Log();
    // A setting of the printer that must survive the move.
    ASSERT_EQ(RunIpptool(app.Uri(),
                         "  OPERATION Set-Printer-Attributes\n  GROUP operation-attributes-tag\n"
                         "  ATTR charset attributes-charset utf-8\n"
                         "  ATTR naturalLanguage attributes-natural-language en\n"
                         "  ATTR uri printer-uri $uri\n"
                         "  ATTR name requesting-user-name test\n  GROUP printer-attributes-tag\n"
                         "  ATTR integer label-gap-length-default 33\n  STATUS successful-ok\n")
                  .exitCode,
              0);
  }
  AppServer moved(m_dir + "/state", {"label=file://" + second}, {"--allowed-folder", m_dir});
  ASSERT_TRUE(moved.Start());
  const int two = PrintJob(moved.Uri(), png, "image/png", "two");
  ASSERT_EQ(WaitForJob(moved.Uri(), two), "completed") << moved.Log();
  EXPECT_FALSE(fs::exists(AppServer::OutputFile(first, two, "two"))) << "the job went to the old device";
  ASSERT_TRUE(fs::exists(AppServer::OutputFile(second, two, "two"))) << moved.Log();
  EXPECT_NE(Dump(AppServer::OutputFile(second, two, "two")).find("GAP_LENGTH    33"), std::string::npos);
  // A printer not named keeps its device.
  const int three = PrintJob(moved.Uri("other"), png, "image/png", "three");
  ASSERT_EQ(WaitForJob(moved.Uri("other"), three), "completed");
  EXPECT_TRUE(fs::exists(AppServer::OutputFile(third, three, "three")));
}

// Saved by a version whose labels had no margins: clients would take the label for a borderless
// size again, so the margins come within range and the size stays.
TEST_F(AppWebTest, DefaultsSavedByAnOlderVersionGetTheMarginsOfNow) {
  fs::create_directories(m_dir + "/state/output");
  const std::string media =
      "bottom=\"0\" left=\"0\" length=\"3000\" name=\"om_40x30mm_40x30mm\" right=\"0\" "
      "source=\"main-roll\" top=\"0\" tracking=\"gap\" type=\"labels\" width=\"4000\"\n";
  std::ofstream(m_dir + "/state/state.conf")
      << "DefaultPrinterID 1\nNextPrinterID 2\n<Printer did=\"MFG:QXVN;MDL:Label Printer;CMD:QXVN;\" "
         "driver=\"qxvn\" "
      << "id=\"1\" name=\"label\" uri=\"file://" << m_dir << "/state/output\">\n"
      << "media-col-default " << media << "media-col-ready0 " << media << "</Printer>\n";
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const IppResult attrs = RunIpptool(app.Uri(),
                                     "  OPERATION Get-Printer-Attributes\n  GROUP operation-attributes-tag\n"
                                     "  ATTR charset attributes-charset utf-8\n"
                                     "  ATTR naturalLanguage attributes-natural-language en\n"
                                     "  ATTR uri printer-uri $uri\n  STATUS successful-ok\n");
  for (const char* name : {"media-col-default", "media-col-ready"}) {
    const std::string col = attrs.Value(name);
    EXPECT_NE(col.find("media-left-margin=100"), std::string::npos) << name << ": " << col;
    EXPECT_NE(col.find("media-top-margin=100"), std::string::npos) << name << ": " << col;
    EXPECT_NE(col.find("x-dimension=4000 y-dimension=3000"), std::string::npos)
        << "the saved size stays: " << col;
  }
}

}  // namespace
}  // namespace qxtest
