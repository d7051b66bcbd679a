// The printer application run as a user runs it: a separate process on 127.0.0.1 and a free
// port, with a private state folder, stopped by the test; and ipptool as its IPP client.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qxtest {

class AppServer {
 public:
  // `printers`: NAME=URI for --printer; none gives the default file:// printer "label".
  // `options`: more of the app's command line.
  AppServer(std::string stateDir, std::vector<std::string> printers = {},
            std::vector<std::string> options = {});
  ~AppServer();
  AppServer(const AppServer&) = delete;
  AppServer& operator=(const AppServer&) = delete;

  // Arguments before the options: a sub-command and its -o settings.
  void SetLeadingArgs(std::vector<std::string> leadingArgs) { m_leadingArgs = std::move(leadingArgs); }
  // The app under a name of this server's own: its local socket is named after the program, so
  // the sub-commands run by this name reach this server and no other on the machine.
  const std::string& Program() const { return m_program; }
  // Runs under another server's program name: a second instance of the same program.
  void UseProgramOf(const AppServer& other) { m_program = other.m_program; }
  // Starts the app and waits (bounded) until it answers; false when it does not.
  bool Start();
  // SIGTERM, then a bounded wait; SIGKILL if it does not end. How long it took to end.
  double Stop();
  // SIGKILL at once, as a crash.
  void Kill();
  // Environment variables the app is started with (NAME, VALUE), besides the test's own.
  void SetEnvironment(std::vector<std::pair<std::string, std::string>> variables) {
    m_environment = std::move(variables);
  }
  // More command-line options for the next Start ("--allowed-folder", DIR, ...).
  void AddArgs(const std::vector<std::string>& args);

  std::string Uri(const std::string& printer = "label") const;
  // A page of the web interface: "/label/printing".
  std::string WebUrl(const std::string& path) const;
  const std::string& StateDir() const { return m_stateDir; }
  std::string OutputDir() const { return m_stateDir + "/output"; }
  // The file a job leaves in a folder device: "ID-NAME.prn".
  static std::string OutputFile(const std::string& folder, int jobId, const std::string& jobName);
  std::string OutputFile(int jobId, const std::string& jobName) const {
    return OutputFile(OutputDir(), jobId, jobName);
  }
  int Port() const { return m_port; }
  std::string Log() const;
  pid_t Pid() const { return m_pid; }

 private:
  std::string m_stateDir;
  std::vector<std::string> m_printers;
  std::vector<std::string> m_options;
  std::string m_program;
  std::vector<std::string> m_leadingArgs;
  std::vector<std::pair<std::string, std::string>> m_environment;
  int m_port = 0;
  pid_t m_pid = -1;
};

struct IppResult {
  int exitCode = -1;
  std::string output;  // ipptool -tv
  // The last value of an attribute in the output ("job-id", "job-state").
  std::string Value(const std::string& name) const;
};

// Runs ipptool with a test made of these lines, against `uri`; as another local account when
// `user` is given (runuser, so only as root).
IppResult RunIpptool(const std::string& uri, const std::string& testBody,
                     const std::vector<std::string>& args = {}, const std::string& user = "");

// The operation attributes every request starts with (printer-uri is the test's $uri).
extern const char* const kRequestHead;

// Print-Job of `file`; `jobAttributes` are ipptool ATTR lines of the job group. The job id, or
// 0 when the request failed.
int PrintJob(const std::string& uri, const std::string& file, const std::string& format,
             const std::string& jobName, const std::string& jobAttributes = "",
             std::string* status = nullptr);

// Waits (bounded) until the job is completed, aborted or canceled and returns that state.
std::string WaitForJob(const std::string& uri, int jobId, int seconds = 30);

std::string ReadFile(const std::string& path);
// A fresh, empty folder of the running test's own name under the tests' folder.
std::string FreshTestFolder();
// Runs a shell command; what it wrote to standard output and error.
std::string Capture(const std::string& command, int* exitCode = nullptr);
// Runs qxvn print with these arguments; the stream, or empty on failure.
std::string QxvnPrint(const std::string& args);

// The printer data every job of a fresh printer gets, as qxvn --set options.
std::string DefaultSettings(const std::map<std::string, int>& changes = {});

}  // namespace qxtest
