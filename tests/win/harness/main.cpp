// The Windows test harness: plays the printer driver, GDI and the spooler around the plug-in
// DLL, as the Linux stand-in host does, on the real Windows (or Wine) loader, spooler and
// debugger output.
//
//   qxvn-winharness setup                      installs the harness's printer driver
//   qxvn-winharness run PLUGIN CASE FOLDER     prints CASE in a child process under a debug
//                                              loop and writes the stream, the calls and the
//                                              trace into FOLDER
//   qxvn-winharness print PLUGIN CASE FOLDER   the child's part: prints CASE, writes the stream
//                                              and the calls
//   run and print take a PRINTER after FOLDER to print on that installed printer, with its
//   data, rather than on one made for the print
//   qxvn-winharness add-printer NAME           installs a printer on the harness's driver
//   qxvn-winharness add-other-printer NAME     installs one on another maker's driver
//   qxvn-winharness delete-printer NAME        removes it
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "host/driver_host.h"
#include "tests/win/case_job.h"
#include "tests/win/harness/debug_trace.h"
#include "tests/win/harness/spooler.h"

namespace {

// A case prints in well under a second; the limit only keeps a hung child from hanging the test.
constexpr DWORD kChildTimeoutMs = 60000;

int Fail(const std::string& message) {
  std::fprintf(stderr, "qxvn-winharness: %s\n", message.c_str());
  std::fflush(stderr);
  return 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: qxvn-winharness setup\n"
               "       qxvn-winharness run PLUG-IN-DLL CASE-FILE OUTPUT-FOLDER [PRINTER]\n"
               "       qxvn-winharness print PLUG-IN-DLL CASE-FILE OUTPUT-FOLDER [PRINTER]\n"
               "       qxvn-winharness add-printer NAME | add-other-printer NAME | delete-printer NAME\n");
  return 2;
}

int Setup() {
  std::string error;
  if (!qxwin::PrepareSpooler(&error)) return Fail(error);
  std::printf("qxvn-winharness: the spooler is ready\n");
  return 0;
}

int Print(const std::string& plugin, const std::string& casePath, const std::filesystem::path& out) {
  std::string error;
  std::optional<qxcase::Case> c = qxcase::ReadCase(casePath, &error);
  if (!c) return Fail(error);
  qxhost::DriverHost host;
  if (!host.Load(plugin, &error)) return Fail(error);
  qxhost::PrintResult result = host.Print(qxcase::ToJobSpec(*c), qxcase::ToHostFaults(*c));
  if (!qxwin::SpoolerError().empty()) return Fail("the spooler: " + qxwin::SpoolerError());
  const std::string stream(result.spool.begin(), result.spool.end());
  if (!qxcase::WriteFile((out / qxcase::kStreamFile).string(), stream, &error) ||
      !qxcase::WriteFile((out / qxcase::kCallsFile).string(), qxcase::DescribeCalls(result), &error))
    return Fail(error);
  return 0;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

int Run(const std::wstring& plugin, const std::wstring& casePath, const std::filesystem::path& out,
        const std::wstring& printer) {
  std::error_code made;
  std::filesystem::create_directories(out, made);
  if (made) return Fail("cannot make " + out.string() + ": " + made.message());
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring command = Quoted(self) + L" print " + Quoted(plugin) + L" " + Quoted(casePath) + L" " +
                               Quoted(out.wstring()) + (printer.empty() ? L"" : L" " + Quoted(printer));
  qxwin::DebuggedRun run = qxwin::RunUnderDebugger(command, kChildTimeoutMs);
  std::string error;
  if (run.started && !qxcase::WriteFile((out / qxcase::kTraceFile).string(), run.output, &error))
    return Fail(error);
  if (!run.failure.empty()) return Fail(run.failure);
  if (run.exitCode != 0)
    return Fail("the printing child failed (exit code " + std::to_string(run.exitCode) + ")");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"setup" && argc == 2) return Setup();
  std::string error;
  if (command == L"add-printer" && argc == 3) return qxwin::AddPrinter(argv[2], &error) ? 0 : Fail(error);
  if (command == L"add-other-printer" && argc == 3)
    return qxwin::AddPrinter(argv[2], &error, true) ? 0 : Fail(error);
  if (command == L"delete-printer" && argc == 3)
    return qxwin::DeleteNamedPrinter(argv[2], &error) ? 0 : Fail(error);
  if (argc != 5 && argc != 6) return Usage();
  const std::filesystem::path out(argv[4]);
  const std::wstring printer = argc == 6 ? argv[5] : L"";
  if (command == L"run") return Run(argv[2], argv[3], out, printer);
  if (command == L"print") {
    if (!printer.empty()) qxwin::UseExistingPrinter(printer);
    return Print(qxwin::Narrow(argv[2]), qxwin::Narrow(argv[3]), out);
  }
  return Usage();
}
