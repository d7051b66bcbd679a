// qxvn print: images and PDF pages through the plug-in into a command stream.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/barcode/check_report.h"
#include "common/io/atomic_output.h"
#include "common/io/mapped_file.h"
#include "common/io/utf.h"
#include "common/tool_error.h"
#include "host/driver_host.h"
#include "host/services/host_services.h"
#include "tools/qxvn/commands/commands.h"
#include "tools/qxvn/print/job_builder.h"
#include "tools/qxvn/print/page_feeder.h"
#include "tools/qxvn/print/printer_data.h"
#include "tools/qxvn/print/symbol_check.h"
#include "tools/qxvn/print/trace_router.h"

namespace qxvn {
namespace {

// The plug-in library installed with qxvn or the one the build made, unless QXVN_PLUGIN names another.
std::string PluginPath() {
  const char* path = std::getenv("QXVN_PLUGIN");
  return path && *path ? path : qxhost::PluginPath();
}

std::u16string DocumentName(const std::string& firstInput) {
  size_t slash = firstInput.rfind('/');
  std::u16string name;
  if (!Utf8ToUtf16(slash == std::string::npos ? firstInput : firstInput.substr(slash + 1), &name))
    name = u"document";
  return name;
}

// Trace lines reach the router only while the document plays.
class ScopedDebugSink {
 public:
  explicit ScopedDebugSink(TraceRouter& router) {
    qxhost::SetDebugSink([&router](std::u16string_view line) { router.Line(line); });
  }
  ~ScopedDebugSink() { qxhost::SetDebugSink(nullptr); }
  ScopedDebugSink(const ScopedDebugSink&) = delete;
  ScopedDebugSink& operator=(const ScopedDebugSink&) = delete;
};

// One line a symbol on standard output (standard error when the stream goes to standard
// output). The stream is kept either way: it printed, and its dots show what failed.
int ReportSymbols(const std::vector<barcode::PageCheck>& pages, const std::vector<size_t>& unchecked,
                  AtomicOutput& out) {
  FILE* report = out.Path() == "-" ? stderr : stdout;
  size_t symbols = 0, failed = 0;
  // Not checked is not passed.
  for (size_t page : unchecked) {
    std::fprintf(report, "page %zu: not checked: more than %llu pixels\n", page,
                 static_cast<unsigned long long>(barcode::kMostCheckedPixels));
    ++failed;
  }
  for (const barcode::PageCheck& page : pages) {
    for (const barcode::SymbolCheck& check : page.symbols) {
      std::fprintf(report, "%s\n", barcode::CheckLine(page, check).c_str());
      ++symbols;
      if (!check.passed) ++failed;
    }
  }
  if (symbols == 0 && unchecked.empty()) std::fprintf(report, "no bar code found\n");
  out.Commit();
  if (failed == 0) return 0;
  if (unchecked.empty())
    std::fprintf(stderr, "qxvn: %zu of %zu bar codes failed the check\n", failed, symbols);
  else
    std::fprintf(stderr, "qxvn: pages too large to check: %zu\n", unchecked.size());
  return kExitSymbolFailed;
}

}  // namespace

int RunPrint(int argc, char** argv, int first) {
  PrintOptions options = ParsePrintOptions(argc, argv, first);
  if (options.help) {
    std::fputs(kPrintUsage, stdout);
    return 0;
  }
  PrinterData printerData = CollectPrinterData(options);
  JobSymbols symbols(options, ThresholdOf(printerData));
  // Every input opened and the first page decoded now; the other pages as the host reaches them.
  PageFeeder feeder(options.inputs, options.dpi, options.bitsPerPixel / 8, options.bandRows, options.limits,
                    LayoutOf(options));
  feeder.onDecoded = [&symbols](size_t index, PageImage& page, const LaidOutFrom* from) {
    symbols.OnPage(index, page, from);
  };
  feeder.keepWhole = [&symbols](const PageImage& document) { return symbols.SymbolAreas(document); };
  qxhost::JobSpec job =
      BuildJob(options, feeder, std::move(printerData), DocumentName(options.inputs.front()));

  // Made now, so that an output place we cannot write to shows before the work is done.
  AtomicOutput out(options.output);
  TraceRouter trace(options.traceFile, options.verbose);

  qxhost::DriverHost host;
  std::string loadError;
  if (!host.Load(PluginPath(), &loadError)) throw ToolError("cannot load the plug-in: " + loadError);

  job.onPage = [&trace](DWORD page, DWORD count) { trace.Progress(page, count); };
  // The stream goes to the output as the plug-in writes it, so that copies of a long page never
  // pile up in memory; the output appears only when the whole job succeeded.
  // A failed write of the output is the tool's to report, once, after the job; later writes are
  // dropped at once by the output, so the job ends quickly.
  // With --preview or --verify the stream is also kept in an unnamed file, whatever the output
  // is (a pipe or device cannot be read back), and read from there once the job has succeeded.
  const bool keep = !options.preview.empty() || options.verify;
  std::unique_ptr<FILE, decltype(&std::fclose)> kept(keep ? std::tmpfile() : nullptr, &std::fclose);
  if (keep && !kept) throw ToolError(std::string("cannot keep the stream: ") + std::strerror(errno));
  job.spoolSink = [&out, &kept](const BYTE* bytes, DWORD size) {
    out.Write(bytes, size);
    if (kept) std::fwrite(bytes, 1, size, kept.get());
    return true;
  };
  qxhost::PrintResult result;
  {
    ScopedDebugSink sink(trace);
    result = host.Print(job);
  }
  trace.EndProgress();
  trace.Close();
  if (!out.FailureText().empty()) throw ToolError(out.FailureText());
  if (!result.ok) throw ToolError(result.error);
  if (!trace.FileFailure().empty()) throw ToolError(trace.FileFailure());
  if (!kept) {
    out.Commit();
    return 0;
  }
  if (std::fflush(kept.get()) != 0 || std::ferror(kept.get()))
    throw ToolError(std::string("cannot keep the stream: ") + std::strerror(errno));
  MappedFile stream("/proc/self/fd/" + std::to_string(fileno(kept.get())));
  if (!options.preview.empty()) {
    // Standard output may be the stream itself: the pictures are listed on standard error then.
    const bool toStdout = options.output == "-" || options.preview == "-";
    WritePagePictures(options.output == "-" ? "the stream" : options.output, stream.Bytes(), options.preview,
                      toStdout ? stderr : stdout);
  }
  if (!options.verify) {
    out.Commit();
    return 0;
  }
  return ReportSymbols(symbols.Verify(stream.Bytes(), feeder.PageCount()), symbols.Unchecked(), out);
}

}  // namespace qxvn
