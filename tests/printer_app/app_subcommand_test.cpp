// The app's sub-commands as a user runs them against its server over the local socket: printing
// and listing, printers added and changed, the driver chosen by a device ID, and the errors a
// user meets (no server, a printer that is not there, server options given to a client).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/printer_app/app_samples.h"
#include "tests/printer_app/app_server.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string output;
};

class SubcommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = FreshTestFolder();
    fs::remove_all(m_app.StateDir());
    m_png = m_dir + "/label.png";
    WritePngFile(m_png, LabelPattern(true), PngKind::Rgb8);
  }

  Result Run(const std::string& args) {
    Result result;
    result.output = Capture(m_app.Program() + " " + args, &result.code);
    return result;
  }

  // Polls `jobs` (bounded) until the job is listed as completed.
  bool JobCompletes(const std::string& printer, const std::string& jobId) {
    for (int i = 0; i < 300; ++i) {
      const std::string jobs = Run("jobs -d " + printer).output;
      if (jobs.find(jobId + " completed") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  std::string m_dir, m_png;
  AppServer m_app{std::string(APP_TEST_DIR) + "/" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-state"};
};

TEST_F(SubcommandTest, SubmitJobsStatusAndPrintersDriveARunningServer) {
  AppServer& app = m_app;
  app.SetLeadingArgs({"server", "-o", "log-level=debug", "-o", "allowed-folder=" + m_dir});
  ASSERT_TRUE(app.Start()) << app.Log();

  Result status = Run("status");
  EXPECT_EQ(status.code, 0);
  EXPECT_NE(status.output.find("Running"), std::string::npos) << status.output;
  EXPECT_EQ(Run("printers").output, "label\n");
  EXPECT_NE(Run("options -d label").output.find("media=om_48x76mm_48x76mm"), std::string::npos);

  Result submit = Run("submit -d label " + m_png);
  ASSERT_EQ(submit.code, 0) << submit.output;
  ASSERT_EQ(submit.output, "label-1\n");
  ASSERT_TRUE(JobCompletes("label", "1")) << Run("jobs -d label").output;
  std::string printed;
  for (const auto& entry : fs::directory_iterator(app.OutputDir())) printed = ReadFile(entry.path());
  EXPECT_EQ(printed, QxvnPrint(m_png + DefaultSettings())) << "the job is not what qxvn prints";

  // A second printer, made the default, then deleted.
  fs::create_directories(m_dir + "/second");
  EXPECT_EQ(Run("add -d second -m qxvn -v file://" + m_dir + "/second").code, 0);
  EXPECT_EQ(Run("printers").output, "label\nsecond\n");
  // A printer added while the server runs is addressed by its printer-id.
  EXPECT_EQ(Run("default -d second").code, 0);
  EXPECT_EQ(Run("default").output, "second\n");
  // Each printer numbers its own jobs.
  EXPECT_EQ(Run("submit " + m_png).output, "second-1\n") << "the default printer takes the job";
  EXPECT_TRUE(JobCompletes("second", "1"));
  Result addAuto = Run("add -d third -m auto -v file://" + m_dir + "/second");
  EXPECT_NE(addAuto.code, 0) << "a device without our device ID gets no driver";

  // A held job is canceled.
  EXPECT_EQ(Run("pause -d label").code, 0);
  EXPECT_EQ(Run("submit -d label " + m_png).output, "label-2\n");
  EXPECT_EQ(Run("cancel -d label -j 2").code, 0);
  EXPECT_EQ(WaitForJob(app.Uri("label"), 2, 10), "canceled");
  EXPECT_EQ(Run("resume -d label").code, 0);
  EXPECT_EQ(Run("default -d label").code, 0);
  EXPECT_EQ(Run("delete -d second").code, 0);
  EXPECT_EQ(Run("printers").output, "label\n");

  // The server stops once its main loop next wakes (within 30 seconds); the test does not wait.
  EXPECT_EQ(Run("shutdown").code, 0);
  EXPECT_NE(app.Log().find("Shutdown-All-Printers successful-ok"), std::string::npos);
}

TEST_F(SubcommandTest, ErrorsSayWhatIsWrong) {
  for (const std::string& args :
       {std::string("status"), std::string("jobs"), "submit " + m_png, std::string("autoadd")}) {
    Result result = Run(args);
    EXPECT_EQ(result.code, 1) << args;
    EXPECT_NE(result.output.find("no server is running"), std::string::npos) << args << ": " << result.output;
  }
  // `submit -u` needs no local server: what it is told about the printer's URI.
  const struct {
    std::string args;
    int code;
    std::string said;
  } printerUris[] = {
      {"submit -u lpd://host/queue " + m_png, 1, "lpd://host/queue: not an ipp:// or ipps:// URI"},
      {"submit -u ipp://127.0.0.1:1/ipp/print/label " + m_png, 1, "nothing answers there"},
      {"submit -d label -u ipp://127.0.0.1:1/ipp/print/label " + m_png, 2, "give one"}};
  for (const auto& [args, code, said] : printerUris) {
    Result result = Run(args);
    EXPECT_EQ(result.code, code) << args;
    EXPECT_NE(result.output.find(said), std::string::npos) << args << ": " << result.output;
  }
  Result misplaced = Run("jobs --port 9000");
  EXPECT_EQ(misplaced.code, 2);
  EXPECT_NE(misplaced.output.find("--port is an option of `server`, not of `jobs`"), std::string::npos)
      << misplaced.output;
  EXPECT_EQ(Run("--version").output, "qxvn-printer-app 1.0.0\n");
  Result badPort = Run("server --port 0");
  EXPECT_EQ(badPort.code, 2);
  EXPECT_NE(badPort.output.find("--port 0: not a port number"), std::string::npos) << badPort.output;

  ASSERT_TRUE(m_app.Start()) << m_app.Log();
  for (const std::string& args :
       {std::string("jobs -d nosuch"), "submit -d nosuch " + m_png, std::string("status -d nosuch")}) {
    Result result = Run(args);
    EXPECT_EQ(result.code, 1) << args;
    EXPECT_NE(result.output.find("no printer named 'nosuch'"), std::string::npos)
        << args << ": " << result.output;
  }
  Result missingFile = Run("submit -d label " + m_dir + "/missing.png");
  EXPECT_NE(missingFile.code, 0);
  EXPECT_NE(missingFile.output.find("missing.png"), std::string::npos) << missingFile.output;
}

TEST_F(SubcommandTest, TheDriverIsChosenByTheDeviceId) {
  EXPECT_EQ(Run("drivers").output,
            "qxvn \"QXVN 300 dpi Label Printer\" \"MFG:QXVN;MDL:Label Printer;CMD:QXVN;\"\n");
  const std::string ours[] = {"MFG:QXVN;MDL:Label Printer;CMD:QXVN;",
                              "MANUFACTURER:qxvn;MODEL:Label Printer;", "MFG:QXVN;MDL:LP-2;CMD:ESC, QXVN;",
                              "COMMAND SET:QXVN;MFG: QXVN ;"};
  for (const std::string& id : ours)
    EXPECT_NE(Run("drivers -o \"device-id='" + id + "'\"").output.find("qxvn "), std::string::npos) << id;
  const std::string others[] = {"MFG:Other;MDL:Label Printer;CMD:QXVN;", "MFG:QXVN;MDL:Laser;CMD:PCL;",
                                "MDL:Label Printer;CMD:QXVN;", "MFG:QXVNX;CMD:QXVNX;"};
  for (const std::string& id : others)
    EXPECT_EQ(Run("drivers -o \"device-id='" + id + "'\"").output, "") << id;
}

}  // namespace
}  // namespace qxtest
