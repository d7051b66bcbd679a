// qxvn: prints images through the label printer's plug-in and inspects its command stream.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

#include "common/io/page_memory.h"
#include "common/tool_error.h"
#include "tools/qxvn/commands/commands.h"

#if defined(__SANITIZE_ADDRESS__)
// Leak checking in sanitizer builds: the font library behind the PDF renderer keeps its font
// cache to the end of the process, which is not our leak.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_options() {
  return "print_suppressions=0";
}
#endif

namespace {

// A closed standard stream is opened read-only on /dev/null: a file the tool opens later then
// cannot take its number, and writes to a closed standard output fail as they should.
void HoldStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd)
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      int held = open("/dev/null", O_RDONLY);
      if (held >= 0 && held != fd) close(held);
    }
}

// What went to standard output must have reached it: a full disk or a closed pipe fails the
// command, whatever it returned.
int FinishStandardOutput(int status) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::fprintf(stderr, "qxvn: writing to standard output failed: %s\n", std::strerror(errno));
  return status == 0 ? 1 : status;
}

int Run(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(qxvn::kMainUsage, stderr);
    return 2;
  }
  std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(qxvn::kMainUsage, stdout);
    return 0;
  }
  try {
    if (command == "print") return qxvn::RunPrint(argc, argv, 2);
    if (command == "decode") return qxvn::RunDecode(argc, argv, 2);
    if (command == "dump") return qxvn::RunDump(argc, argv, 2);
    std::fprintf(stderr, "qxvn: unknown command '%s'\nTry 'qxvn --help'.\n", argv[1]);
    return 2;
  } catch (const qxvn::UsageError& e) {
    std::fprintf(stderr, "qxvn %s: %s\nTry 'qxvn %s --help'.\n", argv[1], e.what(), argv[1]);
    return 2;
  } catch (const qxvn::ToolError& e) {
    std::fprintf(stderr, "qxvn: %s\n", e.what());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "qxvn: out of memory\n");
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  HoldStandardStreams();
  qxvn::KeepPageMemoryForReuse();
  // A write over the file size limit then fails with a reason instead of killing the tool.
  std::signal(SIGXFSZ, SIG_IGN);
  // A closed pipe on standard output is a failed write with a reason, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  return FinishStandardOutput(Run(argc, argv));
}
