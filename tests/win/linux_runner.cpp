// Prints a case through the plug-in library and the stand-in host, and writes the command
// stream, the calls into the plug-in and the trace to a folder, for comparison with what the
// Windows harness writes for the same case.
#include <cstdio>
#include <filesystem>
#include <string>

#include "host/driver_host.h"
#include "host/services/host_services.h"
#include "tests/win/case_job.h"

namespace {

int Fail(const std::string& message) {
  std::fprintf(stderr, "qxvn-case: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr,
                 "usage: qxvn-case CASE-FILE OUTPUT-FOLDER [PLUG-IN-LIBRARY]\n"
                 "Prints the case and writes %s, %s and %s into the folder.\n",
                 qxcase::kStreamFile, qxcase::kCallsFile, qxcase::kTraceFile);
    return 2;
  }
  std::string error;
  std::optional<qxcase::Case> c = qxcase::ReadCase(argv[1], &error);
  if (!c) return Fail(error);
  const std::filesystem::path out(argv[2]);
  std::error_code made;
  std::filesystem::create_directories(out, made);
  if (made) return Fail("cannot make " + out.string() + ": " + made.message());

  qxhost::DriverHost host;
  if (!host.Load(argc == 4 ? argv[3] : qxhost::BuiltPluginPath(), &error)) return Fail(error);
  std::string trace;
  qxhost::SetDebugSink([&trace](std::u16string_view line) { trace += qxhost::ToUtf8(line); });
  qxhost::PrintResult result = host.Print(qxcase::ToJobSpec(*c), qxcase::ToHostFaults(*c));
  qxhost::SetDebugSink(nullptr);

  const std::string stream(result.spool.begin(), result.spool.end());
  if (!qxcase::WriteFile((out / qxcase::kStreamFile).string(), stream, &error) ||
      !qxcase::WriteFile((out / qxcase::kCallsFile).string(), qxcase::DescribeCalls(result), &error) ||
      !qxcase::WriteFile((out / qxcase::kTraceFile).string(), trace, &error))
    return Fail(error);
  return 0;
}
