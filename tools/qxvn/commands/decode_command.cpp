// qxvn decode: a command stream to one preview PNG per page.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "common/io/atomic_output.h"
#include "common/io/mapped_file.h"
#include "common/tool_error.h"
#include "common/wire/preview.h"
#include "common/wire/warning_report.h"
#include "tools/qxvn/cli/args.h"
#include "tools/qxvn/commands/commands.h"

namespace qxvn {
namespace {

class PageCollector : public wire::StreamListener {
 public:
  explicit PageCollector(wire::WarningReport& warnings) : m_warnings(warnings) {}
  void OnPageEnd(const wire::Page& page) override { pages.push_back(page); }
  void OnWarning(unsigned page, const wire::Diagnostic& warning) override { m_warnings.Add(page, warning); }

  std::vector<wire::Page> pages;

 private:
  wire::WarningReport& m_warnings;
};

// OUT for one page; OUT-1.png, OUT-2.png... for several.
std::string PagePath(const std::string& out, size_t page, size_t pages) {
  if (pages == 1) return out;
  std::string base = out;
  std::string suffix;
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".png") == 0) {
    base.resize(base.size() - 4);
    suffix = ".png";
  }
  return base + "-" + std::to_string(page) + suffix;
}

}  // namespace

void WritePagePictures(const std::string& streamPath, std::span<const uint8_t> stream,
                       const std::string& outPath, FILE* listing) {
  wire::WarningReport warnings(streamPath);
  PageCollector collector(warnings);
  auto error = wire::ReadStream(stream, collector);
  warnings.Close();
  if (error) throw ToolError(streamPath + ": " + wire::OffsetText(error->offset) + ": " + error->message);
  if (collector.pages.empty()) throw ToolError(streamPath + ": the stream holds no page");
  if (outPath == "-" && collector.pages.size() > 1)
    throw UsageError("the stream holds " + std::to_string(collector.pages.size()) +
                     " pages; standard output takes one");

  // Every page is drawn before any file appears, so a failure leaves no partial set behind.
  std::vector<std::unique_ptr<AtomicOutput>> outputs;
  for (const wire::Page& page : collector.pages) {
    if (page.lines == 0)
      std::fprintf(stderr, "qxvn: warning: %s: page %u has no lines\n", streamPath.c_str(), page.number);
    outputs.push_back(std::make_unique<AtomicOutput>(PagePath(outPath, page.number, collector.pages.size())));
    wire::WritePreview(page, *outputs.back());
    outputs.back()->Seal();
  }
  for (size_t i = 0; i < outputs.size(); ++i) {
    outputs[i]->Commit();
    const wire::Page& page = collector.pages[i];
    uint32_t widthBytes = std::max({page.lineBytes.value_or(0), page.widestBytes, 1u});
    std::fprintf(listing, "%s: page %u, %u x %llu dots\n", outputs[i]->Path().c_str(), page.number,
                 widthBytes * 8, static_cast<unsigned long long>(page.lines));
  }
}

int RunDecode(int argc, char** argv, int first) {
  ArgCursor args(argc, argv, first);
  std::string streamPath, outPath, operand;
  while (!args.Done()) {
    if (args.TakeFlag("--help", "-h")) {
      std::fputs(kDecodeUsage, stdout);
      return 0;
    }
    if (args.TakeValue("--output", "-o", &outPath)) continue;
    if (args.TakeOperand(&operand)) {
      if (!streamPath.empty()) throw UsageError("decode takes one STREAM");
      streamPath = operand;
      continue;
    }
    args.RejectCurrent();
  }
  if (streamPath.empty()) throw UsageError("decode needs a STREAM");
  if (outPath.empty()) throw UsageError("decode needs -o OUT.png");

  MappedFile stream(streamPath);
  WritePagePictures(streamPath, stream.Bytes(), outPath, outPath == "-" ? stderr : stdout);
  return 0;
}

}  // namespace qxvn
