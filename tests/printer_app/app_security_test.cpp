// Who may administer the printer application, as the attack on an open app was made: the app
// started by root, a second local account (nobody, through runuser) as the client, over IPP with
// ipptool and through the web interface's forms; the web password over TLS; and file:// devices
// kept inside the allowed folders wherever a device is set.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/printer_app/app_samples.h"
#include "tests/printer_app/app_server.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kClient = "nobody";

// A folder every local account may read (nobody's documents, test files and cookies).
class SharedFolder {
 public:
  SharedFolder() {
    char path[] = "/tmp/qxvn-app-shared-XXXXXX";
    m_path = mkdtemp(path) ? path : "";
    chmod(m_path.c_str(), 01777);
  }
  ~SharedFolder() { fs::remove_all(m_path); }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

std::string SystemUri(const AppServer& app) {
  return "ipp://127.0.0.1:" + std::to_string(app.Port()) + "/ipp/system";
}

// An IPP request as the test's client: its status line.
std::string StatusOf(const IppResult& result) {
  const size_t at = result.output.find("status-code = ");
  return at == std::string::npos ? result.output
                                 : result.output.substr(at + 14, result.output.find('\n', at) - at - 14);
}

std::string Request(const std::string& operation, const std::string& target, const std::string& more = "") {
  const std::string head =
      target == "system"
          ? std::string(kRequestHead)
                .replace(std::string(kRequestHead).find("uri printer-uri"), 15, "uri system-uri")
          : std::string(kRequestHead);
  return "  OPERATION " + operation + "\n" + head + more;
}

// web_form.py as `user` (root when empty): its report lines.
std::string WebForm(const std::string& user, const std::string& args) {
  const std::string command =
      (user.empty() ? "" : "runuser -u " + user + " -- ") + "python3 " WEB_FORM_SCRIPT " " + args;
  return Capture(command, nullptr);
}

std::string Token(const std::string& url) {
  // The page as root sees it: its session token, for a request that borrows it.
  const std::string page = Capture("curl -sk --max-time 20 '" + url + "'", nullptr);
  std::smatch found;
  return std::regex_search(page, found, std::regex("name=\"session\" value=\"([^\"]*)\"")) ? found[1].str()
                                                                                           : "";
}

std::string Setting(const std::string& stateFile, const std::string& name) {
  std::ifstream in(stateFile);
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, name.size() + 1, name + " ") == 0) return line.substr(name.size() + 1);
  return "";
}

class AppSecurityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = FreshTestFolder();
    m_png = m_shared.Path() + "/label.png";
    WritePngFile(m_png, LabelPattern(true), PngKind::Rgb8);
    chmod(m_png.c_str(), 0644);
  }

  bool IsRoot() const { return geteuid() == 0; }

  // Root, recognised, sets the web password; another account is let in by it only over TLS.
  void CheckThePasswordAdmitsOthersOnlyOverTls(AppServer& app) {
    // Root, recognised, sets the password on the Security page.
    const std::string password = "Label2print";
    std::string report = WebForm("", app.WebUrl("/security") + " old_password= new_password=" + password +
                                         " new_password2=" + password);
    ASSERT_NE(report.find("Password changed."), std::string::npos) << report;

    const std::string https = "https://127.0.0.1:" + std::to_string(app.Port());
    const std::string cookies = "--cookies " + m_shared.Path() + "/cookies.txt ";
    const std::string add = " printer_name=netadded driver_name=qxvn device_uri=file://" + app.OutputDir();
    // Without TLS: sent to the https:// page, and a form posted anyway is refused.
    report = WebForm(kClient, app.WebUrl("/addprinter"));
    EXPECT_NE(report.find("GET 301 https://"), std::string::npos) << report;
    report = WebForm(kClient,
                     "--token " + Token(app.WebUrl("/addprinter")) + " " + app.WebUrl("/addprinter") + add);
    EXPECT_NE(report.find("POST 426"), std::string::npos) << report;
    // Over TLS without the password, or with a wrong one: the login page, never the form.
    report =
        WebForm(kClient, "--token " + Token(app.WebUrl("/addprinter")) + " " + https + "/addprinter" + add);
    EXPECT_EQ(report.find("POST 302"), std::string::npos) << report;
    report = WebForm(kClient, cookies + "--login Wrong0pass " + https + "/addprinter" + add);
    EXPECT_EQ(report.find("POST 302"), std::string::npos) << report;
    IppResult missing = RunIpptool(app.Uri("netadded"), Request("Get-Printer-Attributes", "printer"));
    EXPECT_NE(missing.output.find("client-error-not-found"), std::string::npos) << missing.output;
    // With it, over TLS: the printer is added.
    report = WebForm(kClient, cookies + "--login " + password + " " + https + "/addprinter" + add);
    EXPECT_NE(report.find("POST 302"), std::string::npos) << report;
    IppResult added = RunIpptool(app.Uri("netadded"),
                                 Request("Get-Printer-Attributes", "printer", "  STATUS successful-ok\n"));
    EXPECT_EQ(added.exitCode, 0) << added.output;
    // The password is the web interface's: IPP administration still needs the PAM service.
    IppResult set =
        RunIpptool("ipps://127.0.0.1:" + std::to_string(app.Port()) + "/ipp/print/label",
                   Request("Set-Printer-Attributes", "printer",
                           "  GROUP printer-attributes-tag\n  ATTR integer gray-threshold-default 10\n"),
                   {}, kClient);
    EXPECT_EQ(StatusOf(set).find("client-error-forbidden"), 0u) << set.output;
    // The self-signed certificate is the app's own, in its state folder.
    bool certificate = false;
    for (const auto& entry : fs::directory_iterator(app.StateDir() + "/ssl"))
      certificate = certificate || entry.path().extension() == ".crt";
    EXPECT_TRUE(certificate);
  }

  SharedFolder m_shared;
  std::string m_dir;
  std::string m_png;
};

TEST_F(AppSecurityTest, AnotherLocalAccountCannotAdministerOverIppOrTheWeb) {
  if (!IsRoot()) GTEST_SKIP() << "the app must run as root and the client as another account (runuser)";
  // A root-only folder with a file in it, as the device of the printer the attack adds.
  const std::string secret = m_dir + "/secret";
  fs::create_directories(secret);
  chmod(secret.c_str(), 0700);
  std::ofstream(secret + "/victim.sh") << "#!/bin/sh\n";
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const std::string stateFile = app.StateDir() + "/state.conf";
  // Root's job, held so that it waits: another user's job for the client.
  const int rootJob =
      PrintJob(app.Uri(), m_png, "image/png", "roots", "  ATTR keyword job-hold-until indefinite\n");
  ASSERT_GT(rootJob, 0);
  const std::string jobId = "  ATTR integer job-id " + std::to_string(rootJob) + "\n";
  const std::string before = ReadFile(stateFile);
  ASSERT_EQ(Setting(stateFile, "gray-threshold-default"), "150");

  const std::string evilPrinter =
      "  ATTR keyword printer-service-type print\n  ATTR keyword smi55357-driver qxvn\n"
      "  ATTR uri smi55357-device-uri file://" +
      secret + "/victim.sh\n  GROUP printer-attributes-tag\n  ATTR name printer-name evil\n";
  const std::vector<std::pair<std::string, std::string>> requests = {
      {app.Uri(), Request("Set-Printer-Attributes", "printer",
                          "  GROUP printer-attributes-tag\n  ATTR integer gray-threshold-default 10\n"
                          "  ATTR integer printer-darkness-configured 100\n")},
      {SystemUri(app), Request("Create-Printer", "system", evilPrinter)},
      {SystemUri(app), Request("Delete-Printer", "system", "  ATTR integer printer-id 1\n")},
      {SystemUri(app),
       Request("Set-System-Attributes", "system",
               "  GROUP system-attributes-tag\n  ATTR integer system-default-printer-id 2\n")},
      {SystemUri(app), Request("Pause-All-Printers", "system")},
      {SystemUri(app), Request("Shutdown-All-Printers", "system")},
      {app.Uri(), Request("Pause-Printer", "printer")},
      {app.Uri(), Request("Resume-Printer", "printer")},
      {app.Uri(), Request("Disable-Printer", "printer")},
      {app.Uri(), Request("Hold-New-Jobs", "printer")},
      {app.Uri(), Request("Cancel-Jobs", "printer")},
      {app.Uri(), Request("Cancel-Job", "printer", jobId)},
      {app.Uri(), Request("Release-Job", "printer", jobId)},
  };
  for (const auto& [uri, body] : requests) {
    const std::string operation = body.substr(12, body.find('\n') - 12);
    SCOPED_TRACE(operation);
    IppResult result = RunIpptool(uri, body, {}, kClient);
    EXPECT_EQ(StatusOf(result).find("client-error-forbidden"), 0u) << result.output;
  }
  // The web interface's forms, each GET then POST, with root's own session token.
  const std::string device = "file://" + secret + "/victim.sh";
  const std::vector<std::pair<std::string, std::string>> forms = {
      {"/addprinter", "printer_name=evil driver_name=qxvn device_uri=" + device},
      {"/label/delete", "confirm=1"},
      {"/label/printing", "gray-threshold=10"},
      {"/label/config", "printer_location=elsewhere"},
      {"/security", "new_password=Taken0ver new_password2=Taken0ver"},
      {"/label/cancelall", "confirm=1"},
  };
  for (const auto& [path, fields] : forms) {
    SCOPED_TRACE(path);
    const std::string token = Token(app.WebUrl(path));
    EXPECT_FALSE(token.empty()) << "root reaches the form";
    const std::string report = WebForm(kClient, "--token " + token + " " + app.WebUrl(path) + " " + fields);
    EXPECT_NE(report.find("GET 403"), std::string::npos) << report;
    EXPECT_NE(report.find("POST 403"), std::string::npos) << report;
  }
  // Nothing changed, nothing written: settings, printers, the held job, the root-only file.
  EXPECT_EQ(Setting(stateFile, "gray-threshold-default"), "150");
  EXPECT_EQ(ReadFile(stateFile), before);
  EXPECT_EQ(ReadFile(secret + "/victim.sh"), "#!/bin/sh\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(secret), fs::directory_iterator()), 1);
  EXPECT_TRUE(RunIpptool(app.Uri(), Request("Get-Printer-Attributes", "printer", "  STATUS successful-ok\n"))
                  .exitCode == 0);
  IppResult held = RunIpptool(app.Uri(), Request("Get-Job-Attributes", "printer", jobId));
  EXPECT_EQ(held.Value("job-state"), "pending-held") << held.output;
  // Printing stays open to the other account; root administers as before.
  const int printed = PrintJob(app.Uri(), m_png, "image/png", "nobodys", "", nullptr);
  ASSERT_GT(printed, 0);
  EXPECT_EQ(WaitForJob(app.Uri(), printed), "completed");
  IppResult set = RunIpptool(
      app.Uri(), Request("Set-Printer-Attributes", "printer",
                         "  GROUP printer-attributes-tag\n  ATTR integer gray-threshold-default 140\n"
                         "  STATUS successful-ok\n"));
  EXPECT_EQ(set.exitCode, 0) << set.output;
  IppResult cancel =
      RunIpptool(app.Uri(), Request("Cancel-Job", "printer", jobId + "  STATUS successful-ok\n"));
  EXPECT_EQ(cancel.exitCode, 0) << cancel.output;
}

TEST_F(AppSecurityTest, AnotherAccountPrintsAndCancelsOnlyItsOwnJobs) {
  if (!IsRoot()) GTEST_SKIP() << "the app must run as root and the client as another account (runuser)";
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const std::string hold = "  ATTR keyword job-hold-until indefinite\n";
  IppResult own =
      RunIpptool(app.Uri(),
                 Request("Print-Job", "printer",
                         "  ATTR mimeMediaType document-format image/png\n  GROUP job-attributes-tag\n" +
                             hold + "  FILE " + m_png + "\n"),
                 {}, kClient);
  const std::string ownId = own.Value("job-id");
  ASSERT_FALSE(ownId.empty()) << own.output;
  // The job belongs to the account the app recognised, whatever name the request gave.
  IppResult attributes = RunIpptool(
      app.Uri(), Request("Get-Job-Attributes", "printer", "  ATTR integer job-id " + ownId + "\n"));
  EXPECT_EQ(attributes.Value("job-originating-user-name"), "nobody") << attributes.output;
  IppResult cancel = RunIpptool(
      app.Uri(), Request("Cancel-Job", "printer", "  ATTR integer job-id " + ownId + "\n"), {}, kClient);
  EXPECT_EQ(StatusOf(cancel).find("successful-ok"), 0u) << cancel.output;
}

TEST_F(AppSecurityTest, APrintGroupKeepsOthersFromPrinting) {
  if (!IsRoot()) GTEST_SKIP() << "the app must run as root and the client as another account (runuser)";
  AppServer app(m_dir + "/state");
  app.AddArgs({"--print-group", "root"});
  ASSERT_TRUE(app.Start());
  IppResult refused =
      RunIpptool(app.Uri(),
                 Request("Print-Job", "printer",
                         "  ATTR mimeMediaType document-format image/png\n  FILE " + m_png + "\n"),
                 {}, kClient);
  EXPECT_EQ(StatusOf(refused).find("client-error-forbidden"), 0u) << refused.output;
  const int printed = PrintJob(app.Uri(), m_png, "image/png", "roots");
  ASSERT_GT(printed, 0);
  EXPECT_EQ(WaitForJob(app.Uri(), printed), "completed");
}

TEST_F(AppSecurityTest, TheWebPasswordAdmitsOthersOnlyOverTls) {
  if (!IsRoot()) GTEST_SKIP() << "the app must run as root and the client as another account (runuser)";
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  CheckThePasswordAdmitsOthersOnlyOverTls(app);
}

// --network: the app listens on every address, here those of a network namespace of the test's
// own, which has loopback only; nobody reaching it is trusted for the address it comes from.
TEST_F(AppSecurityTest, OnTheNetworkThePasswordAdmitsOthersOnlyOverTls) {
  if (!IsRoot()) GTEST_SKIP() << "the app must run as root and the client as another account (runuser)";
  if (unshare(CLONE_NEWNET) != 0 || std::system("ip link set lo up") != 0)
    GTEST_SKIP() << "no network namespace of the test's own, where --network reaches only loopback";
  AppServer app(m_dir + "/state", {}, {"--network"});
  ASSERT_TRUE(app.Start()) << app.Log();
  CheckThePasswordAdmitsOthersOnlyOverTls(app);
}

TEST_F(AppSecurityTest, FileDevicesOutsideTheAllowedFoldersAreRefusedEverywhere) {
  const std::string allowed = m_dir + "/allowed", outside = m_dir + "/outside";
  fs::create_directories(allowed + "/labels");
  fs::create_directories(outside);
  fs::create_symlink(outside, allowed + "/link");
  // The command line: a folder outside, and one inside that is a link to outside.
  for (const std::string& device : {"file://" + outside, "file://" + allowed + "/link"}) {
    int code = -1;
    const std::string output = Capture(std::string(QXVN_APP_PATH) + " --state " + m_dir +
                                           "/cli --allowed-folder " + allowed + " --printer x=" + device,
                                       &code);
    EXPECT_EQ(code, 2) << output;
    EXPECT_NE(output.find("file:// devices may only write inside the allowed folders (" + m_dir +
                          "/cli/output, " + allowed + ";"),
              std::string::npos)
        << output;
  }
  AppServer app(m_dir + "/state", {"label=file://" + allowed + "/labels"});
  app.AddArgs({"--allowed-folder", allowed});
  ASSERT_TRUE(app.Start());
  // IPP Create-Printer, with the rule in the answer.
  auto create = [&](const std::string& name, const std::string& device) {
    return RunIpptool(
        SystemUri(app),
        Request("Create-Printer", "system",
                "  ATTR keyword printer-service-type print\n"
                "  ATTR keyword smi55357-driver qxvn\n  ATTR uri smi55357-device-uri " +
                    device + "\n  GROUP printer-attributes-tag\n  ATTR name printer-name " + name + "\n"));
  };
  for (const std::string& device :
       {"file://" + outside, "file://" + allowed + "/link", "file://" + allowed + "/../outside"}) {
    SCOPED_TRACE(device);
    IppResult refused = create("outside", device);
    EXPECT_EQ(StatusOf(refused).find("client-error-not-possible"), 0u) << refused.output;
    EXPECT_NE(refused.output.find("allowed folders"), std::string::npos) << refused.output;
  }
  IppResult inside = create("inside", "file://" + allowed + "/labels");
  EXPECT_EQ(StatusOf(inside).find("successful-ok"), 0u) << inside.output;
  // The web form, with the rule in its banner.
  const std::string report = WebForm(
      "", app.WebUrl("/addprinter") + " printer_name=webout driver_name=qxvn device_uri=file://" + outside);
  EXPECT_NE(report.find("Not added: file:// devices may only write inside the allowed folders"),
            std::string::npos)
      << report;
  EXPECT_NE(
      RunIpptool(app.Uri("webout"), Request("Get-Printer-Attributes", "printer")).output.find("not-found"),
      std::string::npos);
  // A folder made a link to outside after the printer was added: its jobs are refused, with
  // the rule, and nothing is written outside.
  fs::remove_all(allowed + "/labels");
  fs::create_symlink(outside, allowed + "/labels");
  const int id = PrintJob(app.Uri(), m_png, "image/png", "swapped");
  ASSERT_GT(id, 0);
  EXPECT_EQ(WaitForJob(app.Uri(), id), "aborted");
  IppResult job = RunIpptool(app.Uri(), Request("Get-Job-Attributes", "printer",
                                                "  ATTR integer job-id " + std::to_string(id) + "\n"));
  EXPECT_NE(job.Value("job-state-message").find("allowed folders"), std::string::npos) << job.output;
  EXPECT_TRUE(fs::is_empty(outside));
}

}  // namespace
}  // namespace qxtest
