#include "printer_app/label_driver/raster_file.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <new>

#include "common/tool_error.h"
#include "printer_app/cli/client_message.h"
#include "printer_app/label_driver/label_job.h"

namespace qxapp {
namespace {

struct OptionsDeleter {
  void operator()(pappl_pr_options_t* options) const { papplJobDeletePrintOptions(options); }
};
using Options = std::unique_ptr<pappl_pr_options_t, OptionsDeleter>;

// What a raster document's pages are handed to, in PAPPL's order of the raster callbacks.
struct RasterSink {
  std::function<bool(pappl_pr_options_t*)> startJob;
  std::function<bool(pappl_pr_options_t*, unsigned page)> startPage;
  std::function<bool(unsigned y, const unsigned char* line)> line;
  std::function<bool(unsigned page)> endPage;
};

class RasterFile {
 public:
  explicit RasterFile(const std::string& path) : m_fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)) {
    if (m_fd < 0) throw qxvn::ToolError("cannot read the document: " + std::string(std::strerror(errno)));
    m_raster = cupsRasterOpen(m_fd, CUPS_RASTER_READ);
    if (!m_raster) {
      close(m_fd);
      throw qxvn::ToolError("the document is no PWG or Apple raster");
    }
  }
  ~RasterFile() {
    cupsRasterClose(m_raster);
    close(m_fd);
  }
  RasterFile(const RasterFile&) = delete;
  RasterFile& operator=(const RasterFile&) = delete;
  cups_raster_t* Get() const { return m_raster; }

 private:
  int m_fd;
  cups_raster_t* m_raster = nullptr;
};

// A header PAPPL takes from a client: whole lines of 1 or 8 bits a colour, chunked.
bool WellFormed(const cups_page_header2_t& header) {
  return header.cupsWidth != 0 && header.cupsHeight != 0 &&
         (header.cupsBitsPerColor == 1 || header.cupsBitsPerColor == 8) &&
         header.cupsColorOrder == CUPS_ORDER_CHUNKED &&
         header.cupsBytesPerLine == (uint64_t{header.cupsWidth} * header.cupsBitsPerPixel + 7) / 8;
}

// Plays the document through `sink` as PAPPL plays a streamed raster through the driver: the
// job's options made from the first page's header, then each page with that page's header,
// every line read in turn. False when the sink refuses; throws ToolError for a document that
// cannot be read.
bool PlayRaster(pappl_job_t* job, const std::string& path, const RasterSink& sink) {
  RasterFile file(path);
  cups_page_header2_t header;
  if (!cupsRasterReadHeader2(file.Get(), &header)) throw qxvn::ToolError("the raster has no page");
  const unsigned declaredPages = header.cupsInteger[CUPS_RASTER_PWG_TotalPageCount];
  if (declaredPages > 0) papplJobSetImpressions(job, static_cast<int>(declaredPages));
  Options options(papplJobCreatePrintOptions(job, declaredPages, header.cupsBitsPerPixel > 8));
  if (!options) throw std::bad_alloc();
  if (!sink.startJob(options.get())) return false;
  unsigned page = 0;
  std::vector<unsigned char> line;
  do {
    if (papplJobIsCanceled(job)) break;
    if (!WellFormed(header)) throw qxvn::ToolError("bad raster data on page " + std::to_string(page + 1));
    options->header = header;
    if (!sink.startPage(options.get(), ++page)) return false;
    line.resize(header.cupsBytesPerLine);
    for (unsigned y = 0; y < header.cupsHeight; ++y) {
      if (cupsRasterReadPixels(file.Get(), line.data(), header.cupsBytesPerLine) == 0)
        throw qxvn::ToolError("the raster ends within page " + std::to_string(page));
      if (!sink.line(y, line.data())) return false;
    }
    if (!sink.endPage(page)) return false;
  } while (cupsRasterReadHeader2(file.Get(), &header));
  if (declaredPages == 0) papplJobSetImpressions(job, static_cast<int>(page));
  return true;
}

void Refuse(pappl_job_t* job, const std::string& message) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
  papplJobSetMessage(job, "%s", WithoutServerPaths(message).c_str());
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
}

}  // namespace

bool IsRasterFormat(const char* format) {
  return format && (std::strcmp(format, "image/pwg-raster") == 0 || std::strcmp(format, "image/urf") == 0);
}

bool PrintRasterFile(pappl_job_t* job, pappl_device_t* device, void*) {
  const char* filename = papplJobGetFilename(job);
  pappl_pr_options_t* jobOptions = nullptr;
  bool started = false;
  RasterSink sink{
      [&](pappl_pr_options_t* options) {
        jobOptions = options;
        return started = StartLabelJob(job, options, device);
      },
      [&](pappl_pr_options_t* options, unsigned page) {
        papplJobSetImpressionsCompleted(job, 1);
        return StartLabelPage(job, options, device, page);
      },
      [&](unsigned y, const unsigned char* line) { return WriteLabelLine(job, jobOptions, device, y, line); },
      [&](unsigned page) { return EndLabelPage(job, jobOptions, device, page); }};
  bool ok = false;
  try {
    ok = PlayRaster(job, filename ? filename : "", sink);
  } catch (const qxvn::ToolError& e) {
    Refuse(job, std::string("Unable to read the raster: ") + e.what() + ".");
  } catch (const std::bad_alloc&) {
    Refuse(job, "Unable to read the raster: out of memory.");
  }
  if (!started) return false;
  return ok ? EndLabelJob(job, jobOptions, device) : FinishLabelJob(job, device, false);
}

void MakeRasterStream(pappl_job_t* job, const std::string& path, const WaitingPage& made) {
  PageJob spec;
  BarcodeSettings barcodes;
  RasterPage page;
  RasterSink sink{[&](pappl_pr_options_t* options) {
                    JobChoices choices;
                    spec = PageJobOf(job, options, &choices);
                    barcodes = BarcodeSettingsOf(choices, spec.printerData, options->print_content_optimize);
                    return true;
                  },
                  [&](pappl_pr_options_t* options, unsigned) {
                    std::string error;
                    if (!page.Start(options->header, &error)) throw qxvn::ToolError(error);
                    return true;
                  },
                  [&](unsigned y, const unsigned char* line) { return page.AddLine(y, line); },
                  [&](unsigned) {
                    std::vector<uint8_t> stream;
                    std::string error;
                    qxvn::barcode::PreparedPage symbols;
                    // No job given: the plug-in's trace of a preview stays out of the job's log.
                    if (!LabelPageStream(nullptr, spec, barcodes, page.Image(), nullptr, nullptr, &stream,
                                         &error, &symbols))
                      throw qxvn::ToolError("the label driver failed: " + error);
                    page.Clear();
                    made(spec.pageNumber, symbols, stream);
                    ++spec.pageNumber;
                    return true;
                  }};
  if (!PlayRaster(job, path, sink)) throw qxvn::ToolError("a line lies outside its page");
}

}  // namespace qxapp
