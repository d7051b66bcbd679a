// qxvn dump: the packages of a command stream, one a line.
#include <cstdio>
#include <cstring>

#include "common/io/mapped_file.h"
#include "common/tool_error.h"
#include "common/wire/warning_report.h"
#include "stream/commands.h"
#include "tools/qxvn/cli/args.h"
#include "tools/qxvn/commands/commands.h"

namespace qxvn {
namespace {

class PackageLister : public wire::StreamListener {
 public:
  explicit PackageLister(wire::WarningReport& warnings) : m_warnings(warnings) {}

  void OnPackage(const wire::Package& p) override {
    std::printf("%10zu  %s", p.offset, wire::CommandName(p.command));
    int pad = 12 - static_cast<int>(std::strlen(wire::CommandName(p.command)));
    switch (p.command) {
      case CMD_LINE_BYTES:
        std::printf("%*s  %u bytes (%u dots)", pad, "", p.first, p.first * 8);
        break;
      case CMD_DOT_LIMITS:
        std::printf("%*s  at most %u dots a line, %u on average over 35 lines", pad, "", p.first, p.second);
        break;
      case CMD_DARKNESS:
      case CMD_SPEED:
      case CMD_GAP_TYPE:
      case CMD_GAP_LENGTH:
        std::printf("%*s  %u", pad, "", p.first);
        break;
      case CMD_FEED_LINES:
        std::printf("%*s  %u blank %s", pad, "", p.first, p.first == 1 ? "line" : "lines");
        break;
      case CMD_PRINT_LINES:
        std::printf("%*s  %u %s (repeat %u), offset %u, %zu bytes", pad, "", p.first,
                    p.first == 1 ? "line" : "lines", p.first - 1, p.second, p.lineData.size());
        break;
      default:
        break;
    }
    std::printf("\n");
  }

  void OnPageEnd(const wire::Page& page) override {
    m_warnings.Close();
    std::printf("%10s  page %u: %llu lines, %llu dots, %zu bytes\n", "", page.number,
                static_cast<unsigned long long>(page.lines), static_cast<unsigned long long>(page.dots),
                page.size);
    ++pages;
  }

  void OnWarning(unsigned page, const wire::Diagnostic& warning) override { m_warnings.Add(page, warning); }

  unsigned pages = 0;

 private:
  wire::WarningReport& m_warnings;
};

}  // namespace

int RunDump(int argc, char** argv, int first) {
  ArgCursor args(argc, argv, first);
  std::string streamPath, operand;
  while (!args.Done()) {
    if (args.TakeFlag("--help", "-h")) {
      std::fputs(kDumpUsage, stdout);
      return 0;
    }
    if (args.TakeOperand(&operand)) {
      if (!streamPath.empty()) throw UsageError("dump takes one STREAM");
      streamPath = operand;
      continue;
    }
    args.RejectCurrent();
  }
  if (streamPath.empty()) throw UsageError("dump needs a STREAM");

  MappedFile stream(streamPath);
  wire::WarningReport warnings(streamPath);
  PackageLister lister(warnings);
  auto error = wire::ReadStream(stream.Bytes(), lister);
  warnings.Close();
  std::fflush(stdout);
  if (error) throw ToolError(streamPath + ": " + wire::OffsetText(error->offset) + ": " + error->message);
  std::printf("%u %s, %zu bytes\n", lister.pages, lister.pages == 1 ? "page" : "pages",
              stream.Bytes().size());
  return 0;
}

}  // namespace qxvn
