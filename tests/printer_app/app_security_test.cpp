// Who may administer the printer application, as the attack on an open app was made: the app
// started by root, a second local account (nobody, through runuser) as the client, over IPP with
// ipptool and through the web interface's forms; the web password over TLS; and file:// devices
// kept inside the allowed folders wherever a device is set.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>
#include <tuple>

#include "tests/printer_app/app_samples.h"
#include "tests/printer_app/app_server.h"

namespace qxtest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kClient = "nobody";

// The buttons of a printer's web page, each an administrative action.
constexpr const char* kPrinterPageActions[] = {"hold-new-jobs",  "release-held-new-jobs", "pause-printer",
                                               "resume-printer", "identify-printer",      "print-test-page",
                                               "set-as-default"};

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
  // The printer's page is open to all; each of its buttons is administration.
  const std::string pageToken = Token(app.WebUrl("/label"));
  for (const char* action : kPrinterPageActions) {
    SCOPED_TRACE(action);
    const std::string report =
        WebForm(kClient, "--token " + pageToken + " " + app.WebUrl("/label") + " action=" + action);
    EXPECT_NE(report.find("GET 200"), std::string::npos) << report;
    EXPECT_NE(report.find("POST 403"), std::string::npos) << report;
  }
  // The sub-commands that change anything, run by the other account against root's server.
  for (const std::string& args : std::vector<std::string>{
           "pause -d label", "resume -d label", "delete -d label", "default -d label", "cancel -a",
           "cancel -j " + std::to_string(rootJob), "modify -d label -o gray-threshold-default=10",
           "add -d evil -m qxvn -v " + device, "shutdown"}) {
    SCOPED_TRACE(args);
    int code = -1;
    const std::string output =
        Capture("runuser -u " + std::string(kClient) + " -- " + app.Program() + " " + args, &code);
    EXPECT_NE(code, 0) << output;
    EXPECT_NE(output.find("Forbidden"), std::string::npos) << output;
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
  EXPECT_EQ(WebForm("", app.WebUrl("/label") + " action=hold-new-jobs"),
            "GET 200 \nPOST 200 \nHolding new jobs.\n");
  EXPECT_EQ(WebForm("", app.WebUrl("/label") + " action=release-held-new-jobs"),
            "GET 200 \nPOST 200 \nReleased held new jobs.\n");
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

// Each connection's account is the one its live socket had as it was accepted. A request sent
// and its socket closed at once is read from an orphaned socket, which the kernel lists as
// root's: padded or not, IPP or web form, such requests are anonymous and change nothing.
TEST_F(AppSecurityTest, RequestsFromAClosedConnectionAreNoOnesAndChangeNothing) {
  if (!IsRoot()) GTEST_SKIP() << "the app must run as root and the client as another account (runuser)";
  AppServer app(m_dir + "/state");
  app.AddArgs({"--log-level", "info"});  // one line a request: the log is counted
  ASSERT_TRUE(app.Start());
  const std::string stateFile = app.StateDir() + "/state.conf";
  const std::string before = ReadFile(stateFile);
  const std::string sent =
      Capture("runuser -u " + std::string(kClient) + " -- python3 " CLOSED_REQUESTS_SCRIPT " 127.0.0.1 " +
              std::to_string(app.Port()) + " 220 " + Token(app.WebUrl("/label")) + " --seconds 60");
  EXPECT_EQ(sent, "sent 220\n");
  // Every connection handled (bounded): as many closed as were accepted.
  auto count = [](const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
  };
  for (int i = 0; i < 100; ++i) {
    const std::string log = app.Log();
    if (count(log, "Accepted connection") == count(log, "Closing connection")) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_GE(count(app.Log(), "Forbidden"), 100u) << "the requests were read and refused";
  EXPECT_EQ(ReadFile(stateFile), before);
  IppResult printer = RunIpptool(app.Uri(), Request("Get-Printer-Attributes", "printer"));
  EXPECT_EQ(printer.Value("printer-state"), "idle") << printer.output;
  EXPECT_EQ(printer.Value("printer-state-reasons"), "none") << printer.output;
  EXPECT_EQ(printer.Value("printer-is-accepting-jobs"), "true") << printer.output;
}

int FreeTcpPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

// The control sockets of a program's servers in /run.
std::vector<std::string> RunSockets(const std::string& program) {
  std::vector<std::string> found;
  const std::string name = fs::path(program).filename().string();
  for (const auto& entry : fs::directory_iterator("/run"))
    if (entry.path().filename().string().rfind(name + "@", 0) == 0) found.push_back(entry.path().string());
  return found;
}

// A user's control socket is in a folder only that user may write, its server is the one the
// user trusts, and each instance has its own, named after its state folder.
TEST_F(AppSecurityTest, ControlSocketsCannotBeTakenOrFaked) {
  if (!IsRoot()) GTEST_SKIP() << "needs root, to run the app as two other accounts (runuser)";
  // daemon is the user; nobody the other account. The temporary folder is shared, as /tmp is.
  const std::string tmp = m_shared.Path(), app = QXVN_APP_PATH;
  const std::string asUser = "runuser -u daemon -- env -u XDG_RUNTIME_DIR TMPDIR=" + tmp + " ";
  const std::string folder = tmp + "/qxvn-printer-app-1", state = tmp + "/daemon-state";
  // nobody made the user's folder first: the user's server does not start.
  Capture("runuser -u nobody -- mkdir -m 0777 " + folder);
  int code = -1;
  std::string output = Capture(
      asUser + "timeout 20 " + app + " server --state " + state + " --port " + std::to_string(FreeTcpPort()),
      &code);
  EXPECT_NE(code, 0);
  EXPECT_NE(output.find(folder + " is not a private folder of yours (owner uid 65534, mode 0777)"),
            std::string::npos)
      << output;
  fs::remove_all(folder);
  // The user's socket leads to nobody's listener: the user's sub-command sends it nothing.
  Capture("runuser -u daemon -- mkdir -m 0700 " + folder);
  const std::string fake = tmp + "/fake.sock";
  std::string received;
  std::thread listener([&] {
    received = Capture(
        "runuser -u nobody -- python3 -c \"import os,socket,sys\n"
        "s=socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); os.chmod(sys.argv[1], 0o777)\n"
        "s.listen(4); s.settimeout(3); n=0\n"
        "try:\n  while True:\n    c,_=s.accept(); c.settimeout(2); d=c.recv(65536)\n"
        "    while d: n+=len(d); d=c.recv(65536)\nexcept OSError: pass\nprint('received',n)\" " +
        fake);
  });
  for (int i = 0; i < 100 && !fs::exists(fake); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  fs::create_symlink(fake, folder + "/qxvn-printer-app.sock");
  output = Capture(asUser + app + " status", &code);
  listener.join();
  EXPECT_EQ(code, 1);
  EXPECT_NE(
      output.find(folder + "/qxvn-printer-app.sock is served by uid 65534 (nobody), neither you nor root: "
                           "nothing was sent to it"),
      std::string::npos)
      << output;
  EXPECT_EQ(received, "received 0\n");

  // Two of root's instances side by side, one program: --state picks one.
  AppServer first(m_dir + "/first", {"alpha=file://" + m_dir + "/first/output"});
  AppServer second(m_dir + "/second", {"beta=file://" + m_dir + "/second/output"});
  second.UseProgramOf(first);
  fs::create_directories(m_dir + "/first/output");
  fs::create_directories(m_dir + "/second/output");
  ASSERT_TRUE(first.Start()) << first.Log();
  ASSERT_TRUE(second.Start()) << second.Log();
  const std::string program = first.Program();
  EXPECT_EQ(Capture(program + " printers --state " + first.StateDir()), "alpha\n");
  EXPECT_EQ(Capture(program + " printers --state " + second.StateDir()), "beta\n");
  EXPECT_EQ(RunSockets(program).size(), 2u);
  output = Capture(program + " printers", &code);
  EXPECT_EQ(code, 1);
  EXPECT_NE(output.find("several servers run ("), std::string::npos) << output;
  EXPECT_NE(output.find("choose one with --state DIR"), std::string::npos) << output;
  // A third on the first one's state folder is refused; none takes over another's socket.
  output = Capture("timeout 20 " + program + " server --state " + first.StateDir() + " --port " +
                       std::to_string(FreeTcpPort()),
                   &code);
  EXPECT_NE(code, 0);
  EXPECT_NE(output.find("is taken: another server answers there"), std::string::npos) << output;
  EXPECT_EQ(Capture(program + " printers --state " + first.StateDir()), "alpha\n");
  // Killed, it leaves its socket, which a new start takes; stopped, it removes it.
  first.Kill();
  output = Capture(program + " printers --state " + first.StateDir(), &code);
  EXPECT_NE(output.find("no server is running"), std::string::npos) << output;
  ASSERT_TRUE(first.Start()) << first.Log();
  EXPECT_EQ(Capture(program + " printers --state " + first.StateDir()), "alpha\n");
  second.Stop();
  EXPECT_EQ(RunSockets(program).size(), 1u);
  EXPECT_EQ(Capture(program + " printers"), "alpha\n") << "the one instance left";
  first.Stop();
  EXPECT_TRUE(RunSockets(program).empty());
}

// localhost is 127.0.0.1 and ::1: with either taken by another program the app does not start.
TEST_F(AppSecurityTest, TheAppServesEveryLocalhostAddressOrDoesNotStart) {
  for (const auto& [family, ip, shown] :
       {std::tuple{AF_INET, "127.0.0.1", "127.0.0.1"}, std::tuple{AF_INET6, "::1", "[::1]"}}) {
    SCOPED_TRACE(ip);
    const int port = FreeTcpPort();
    const int squatter = socket(family, SOCK_STREAM, 0);
    sockaddr_storage address{};
    socklen_t size = 0;
    if (family == AF_INET) {
      auto& in = reinterpret_cast<sockaddr_in&>(address);
      in.sin_family = AF_INET;
      in.sin_port = htons(static_cast<uint16_t>(port));
      inet_pton(AF_INET, ip, &in.sin_addr);
      size = sizeof in;
    } else {
      auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
      in6.sin6_family = AF_INET6;
      in6.sin6_port = htons(static_cast<uint16_t>(port));
      inet_pton(AF_INET6, ip, &in6.sin6_addr);
      size = sizeof in6;
    }
    if (bind(squatter, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(squatter, 1) != 0) {
      close(squatter);
      GTEST_SKIP() << "no " << ip << " on this machine";
    }
    int code = -1;
    const std::string output =
        Capture("timeout 20 " + std::string(QXVN_APP_PATH) + " --state " + m_dir + "/" +
                    (family == AF_INET ? "v4" : "v6") + " --port " + std::to_string(port),
                &code);
    close(squatter);
    EXPECT_NE(code, 0);
    EXPECT_NE(output.find("cannot listen on " + std::string(shown) + ":" + std::to_string(port) +
                          ": Address already in use"),
              std::string::npos)
        << output;
  }
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  IppResult v6 = RunIpptool("ipp://[::1]:" + std::to_string(app.Port()) + "/ipp/print/label",
                            Request("Get-Printer-Attributes", "printer", "  STATUS successful-ok\n"));
  EXPECT_EQ(v6.exitCode, 0) << v6.output;
}

// Wrong passwords slow down after 5 (logged with the client's address); the right one, once its
// wait is over, signs in.
TEST_F(AppSecurityTest, FailedSignInsSlowDownAndAreLoggedWithTheAddress) {
  if (!IsRoot()) GTEST_SKIP() << "the app must run as root and the client as another account (runuser)";
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const std::string password = "Label2print";
  ASSERT_NE(WebForm("", app.WebUrl("/security") + " old_password= new_password=" + password +
                            " new_password2=" + password)
                .find("Password changed."),
            std::string::npos);
  const std::string https = "https://127.0.0.1:" + std::to_string(app.Port()) + "/addprinter";
  for (int i = 1; i <= 6; ++i) WebForm(kClient, "--login Wrong" + std::to_string(i) + " " + https);
  const std::string log = app.Log();
  for (const char* line : {"from 127.0.0.1 failed (4 in a row); the next attempt waits 0.000 s.",
                           "from 127.0.0.1 failed (5 in a row); the next attempt waits 1.000 s.",
                           "from 127.0.0.1 failed (6 in a row); the next attempt waits 2.000 s."})
    EXPECT_NE(log.find("Sign-in as 'web-admin' " + std::string(line)), std::string::npos) << line;
  const std::string report =
      WebForm(kClient, "--cookies " + m_shared.Path() + "/cookies.txt --login " + password + " " + https +
                           " printer_name=signedin driver_name=qxvn device_uri=file://" + app.OutputDir());
  EXPECT_NE(report.find("POST 302"), std::string::npos) << report;
  EXPECT_EQ(app.Log().find("(7 in a row)"), std::string::npos);
}

// A spool with no room for a document: a temporary error that says so, and printing goes on.
TEST_F(AppSecurityTest, AFullSpoolAnswersATemporaryErrorThatSaysSo) {
  if (!IsRoot()) GTEST_SKIP() << "needs root, to mount a small file system as the spool";
  const std::string spool = m_dir + "/state/spool";
  fs::create_directories(spool);
  // Room for the small label's file, not for a document four times its size.
  const uintmax_t room = fs::file_size(m_png) * 2;
  if (mount("tmpfs", spool.c_str(), "tmpfs", 0, ("size=" + std::to_string(room)).c_str()) != 0)
    GTEST_SKIP() << "cannot mount a tmpfs";
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{spool};
  AppServer app(m_dir + "/state");
  ASSERT_TRUE(app.Start());
  const std::string big = m_dir + "/big.png";
  std::ofstream(big) << std::string(room * 2, 'x');
  IppResult full =
      RunIpptool(app.Uri(), Request("Print-Job", "printer",
                                    "  ATTR mimeMediaType document-format image/png\n  FILE " + big + "\n"));
  EXPECT_EQ(StatusOf(full), "server-error-temporary-error (no space for the document)") << full.output;
  const int printed = PrintJob(app.Uri(), m_png, "image/png", "small");
  ASSERT_GT(printed, 0);
  EXPECT_EQ(WaitForJob(app.Uri(), printed), "completed");
}

}  // namespace
}  // namespace qxtest
