// qxvn: prints images through the label printer's plug-in and inspects its command stream.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>

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

int main(int argc, char** argv) {
  // A write over the file size limit then fails with a reason instead of killing the tool.
  std::signal(SIGXFSZ, SIG_IGN);

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
