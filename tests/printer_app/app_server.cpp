#include "tests/printer_app/app_server.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace qxtest {
namespace {

namespace fs = std::filesystem;

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t size = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
  close(fd);
  return ntohs(addr.sin_port);
}

std::string TempTestFile(const std::string& body) {
  char path[] = "/tmp/qxvn-app-test-XXXXXX";
  int fd = mkstemp(path);
  close(fd);
  std::ofstream(path) << body;
  return path;
}

}  // namespace

const char* const kRequestHead =
    "  GROUP operation-attributes-tag\n"
    "  ATTR charset attributes-charset utf-8\n"
    "  ATTR naturalLanguage attributes-natural-language en\n"
    "  ATTR uri printer-uri $uri\n"
    "  ATTR name requesting-user-name test\n";

std::string Capture(const std::string& command, int* exitCode) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return output;
  std::array<char, 4096> buffer;
  size_t got;
  while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), got);
  int status = pclose(pipe);
  if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

AppServer::AppServer(std::string stateDir, std::vector<std::string> printers,
                     std::vector<std::string> options)
    : m_stateDir(std::move(stateDir)), m_printers(std::move(printers)), m_options(std::move(options)) {
  static std::atomic<int> count{0};
  const fs::path folder = m_stateDir + ".program";
  fs::create_directories(folder);
  m_program =
      (folder / ("qxvn-printer-app-t" + std::to_string(getpid()) + "-" + std::to_string(++count))).string();
  fs::remove(m_program);
  fs::create_symlink(QXVN_APP_PATH, m_program);
}

AppServer::~AppServer() {
  Stop();
  // A server killed leaves its control socket ("NAME.sock", "NAME-STATE-HASH.sock"), where its
  // clients look for this program's servers.
  const std::string name = fs::path(m_program).filename().string();
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const char* tmp = std::getenv("TMPDIR");
  const std::string folders[] = {
      "/run", runtime && *runtime ? runtime : "",
      std::string(tmp && *tmp ? tmp : "/tmp") + "/qxvn-printer-app-" + std::to_string(getuid())};
  std::error_code error;
  for (const std::string& folder : folders) {
    if (folder.empty() || (getuid() != 0 && folder == "/run")) continue;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      const std::string file = entry.path().filename().string();
      if (file == name + ".sock" || file.rfind(name + "@", 0) == 0) fs::remove(entry.path(), error);
    }
  }
}

bool AppServer::Start() {
  m_port = FreePort();
  std::vector<std::string> args = {m_program};
  args.insert(args.end(), m_leadingArgs.begin(), m_leadingArgs.end());
  args.insert(args.end(), {"--state", m_stateDir, "--port", std::to_string(m_port), "--log-level", "debug"});
  for (const std::string& printer : m_printers) {
    args.push_back("--printer");
    args.push_back(printer);
  }
  args.insert(args.end(), m_options.begin(), m_options.end());
  // Made before the fork: the child only calls execve.
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string variable = *entry;
    bool replaced = false;
    for (const auto& given : m_environment) replaced |= variable.rfind(given.first + "=", 0) == 0;
    if (!replaced) environment.push_back(variable);
  }
  for (const auto& [name, value] : m_environment) environment.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  m_pid = fork();
  if (m_pid == 0) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  const std::string name =
      m_printers.empty() ? "label" : m_printers.front().substr(0, m_printers.front().find('='));
  for (int i = 0; i < 300; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
      m_pid = -1;
      return false;
    }
    if (RunIpptool(Uri(name), "  OPERATION Get-Printer-Attributes\n" + std::string(kRequestHead) +
                                  "  STATUS successful-ok\n")
            .exitCode == 0)
      return true;
  }
  return false;
}

double AppServer::Stop() {
  if (m_pid <= 0) return 0;
  const auto start = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  kill(m_pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
      m_pid = -1;
      return elapsed();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  Kill();
  return elapsed();
}

void AppServer::Kill() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  waitpid(m_pid, nullptr, 0);
  m_pid = -1;
}

void AppServer::AddArgs(const std::vector<std::string>& args) {
  m_options.insert(m_options.end(), args.begin(), args.end());
}

std::string AppServer::OutputFile(const std::string& folder, int jobId, const std::string& jobName) {
  return folder + "/" + std::to_string(jobId) + "-" + jobName + ".prn";
}

std::string AppServer::Uri(const std::string& printer) const {
  return "ipp://127.0.0.1:" + std::to_string(m_port) + "/ipp/print/" + printer;
}

std::string AppServer::WebUrl(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string AppServer::Log() const { return ReadFile(m_stateDir + "/app.log"); }

std::string IppResult::Value(const std::string& name) const {
  const std::string key = "        " + name + " (";
  size_t at = output.rfind(key);
  if (at == std::string::npos) return "";
  size_t equals = output.find(" = ", at);
  size_t end = output.find('\n', equals);
  return output.substr(equals + 3, end - equals - 3);
}

IppResult RunIpptool(const std::string& uri, const std::string& testBody,
                     const std::vector<std::string>& args, const std::string& user) {
  const std::string file = TempTestFile("{\n" + testBody + "}\n");
  std::string command = std::string(IPPTOOL_PATH) + " -tv -T 30";
  if (!user.empty()) {
    chmod(file.c_str(), 0644);
    command = "runuser -u " + user + " -- " + command;
  }
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " '" + uri + "' " + file;
  IppResult result;
  result.output = Capture(command, &result.exitCode);
  unlink(file.c_str());
  return result;
}

int PrintJob(const std::string& uri, const std::string& file, const std::string& format,
             const std::string& jobName, const std::string& jobAttributes, std::string* status) {
  IppResult result =
      RunIpptool(uri,
                 "  OPERATION Print-Job\n" + std::string(kRequestHead) + "  ATTR name job-name " + jobName +
                     "\n  ATTR mimeMediaType document-format " + format + "\n  GROUP job-attributes-tag\n" +
                     jobAttributes + "  FILE " + file + "\n",
                 {});
  if (status) {
    size_t at = result.output.find("status-code = ");
    *status = at == std::string::npos
                  ? ""
                  : result.output.substr(at + 14, result.output.find(' ', at + 14) - at - 14);
  }
  const std::string id = result.Value("job-id");
  return id.empty() ? 0 : std::stoi(id);
}

std::string WaitForJob(const std::string& uri, int jobId, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::string state;
  while (std::chrono::steady_clock::now() < deadline) {
    // A poll whose answer never reaches ipptool (seen now and then under AddressSanitizer, the app
    // by then waiting for the connection's next request) costs five seconds of the wait, not all.
    state = RunIpptool(uri,
                       "  OPERATION Get-Job-Attributes\n" + std::string(kRequestHead) +
                           "  ATTR integer job-id " + std::to_string(jobId) + "\n",
                       {"-T", "5"})
                .Value("job-state");
    if (state == "completed" || state == "aborted" || state == "canceled") return state;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return "timeout (" + state + ")";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string QxvnPrint(const std::string& args) {
  const std::string out = "/tmp/qxvn-app-test-ref-" + std::to_string(getpid()) + ".bin";
  int code = -1;
  Capture(std::string(QXVN_PATH) + " print " + args + " -o " + out, &code);
  std::string stream = code == 0 ? ReadFile(out) : "";
  unlink(out.c_str());
  return stream;
}

std::string DefaultSettings(const std::map<std::string, int>& changes) {
  std::map<std::string, int> values = {{"PrintDarkness", 7},   {"PrintSpeed", 2},  {"GapType", 1},
                                       {"GapLength", 24},      {"LabelWidth", 48}, {"LabelHeight", 76},
                                       {"GrayThreshold", 150}, {"Rotation", 0},    {"HorAlignment", 0},
                                       {"VerAlignment", 0}};
  for (const auto& [key, value] : changes) values[key] = value;
  std::string args;
  for (const auto& [key, value] : values) args += " --set " + key + "=" + std::to_string(value);
  return args;
}

std::string FreshTestFolder() {
  const std::string dir =
      std::string(APP_TEST_DIR) + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

}  // namespace qxtest
