#include "printer_app/label_driver/page_file_filter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "common/draw/text_pdf.h"
#include "common/input/document_format.h"
#include "common/input/page_source.h"
#include "common/input/pdf_process.h"
#include "common/layout/render_on_label.h"
#include "common/media/label_sizes.h"
#include "common/tool_error.h"
#include "printer_app/cli/client_message.h"
#include "printer_app/label_driver/label_driver.h"
#include "printer_app/label_driver/label_job.h"
#include "printer_app/label_driver/raster_file.h"
#include "printer_app/label_driver/raw_stream.h"

namespace qxapp {
namespace {

// Set once, before the system runs.
qxvn::PageLimits g_documentLimits;

// Text keeps at least this far from the label's edges, whatever margins the job names.
constexpr int kTextMarginHundredthsMm = 150;

void RefuseDocument(pappl_job_t* job, const std::string& message) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
  papplJobSetMessage(job, "%s", WithoutServerPaths(message).c_str());
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
}

}  // namespace

// Copies are collated unless the job asks otherwise (the printer's default is collated).
bool Collated(pappl_job_t* job) {
  ipp_attribute_t* handling = papplJobGetAttribute(job, "multiple-document-handling");
  const char* value = handling ? ippGetString(handling, 0, nullptr) : nullptr;
  return !value || std::strcmp(value, "separate-documents-uncollated-copies") != 0;
}

namespace {

// Hundredths of a millimetre (IPP's media unit) in whole dots, as PAPPL sizes a raster page.
uint32_t Dots(int hundredths) {
  return hundredths > 0 ? static_cast<uint32_t>(int64_t{hundredths} * qxvn::kDotsPerInch / 2540) : 0;
}

qxvn::Scaling ScalingOf(pappl_scaling_t scaling) {
  switch (scaling) {
    case PAPPL_SCALING_AUTO_FIT:
      return qxvn::Scaling::kAutoFit;
    case PAPPL_SCALING_FIT:
      return qxvn::Scaling::kFit;
    case PAPPL_SCALING_FILL:
      return qxvn::Scaling::kFill;
    case PAPPL_SCALING_NONE:
      return qxvn::Scaling::kNone;
    default:
      return qxvn::Scaling::kAuto;
  }
}

}  // namespace

// The job's label, scaling and orientation. The orientation is the job's own; a job that asks
// for none takes the printer's default, and the factory default of portrait (which IPP asks a
// printer to announce) then means the automatic turn: upright unless the page fits only turned.
qxvn::LayoutChoice LayoutOfJob(pappl_job_t* job, const pappl_pr_options_t& options) {
  qxvn::LayoutChoice choice;
  choice.scaling = ScalingOf(options.print_scaling);
  ipp_attribute_t* asked = papplJobGetAttribute(job, "orientation-requested");
  const int orientation = asked && ippGetValueTag(asked) == IPP_TAG_ENUM ? ippGetInteger(asked, 0)
                          : options.orientation_requested == IPP_ORIENT_PORTRAIT
                              ? IPP_ORIENT_NONE
                              : static_cast<int>(options.orientation_requested);
  choice.orientation = qxvn::OrientationOfIpp(orientation);
  const pappl_media_col_t& media = options.media;
  choice.label.width = Dots(media.size_width);
  choice.label.height = Dots(media.size_length);
  choice.label.left = Dots(media.left_margin);
  choice.label.right = Dots(media.right_margin);
  choice.label.top = Dots(media.top_margin);
  choice.label.bottom = Dots(media.bottom_margin);
  choice.label.dpi = qxvn::kDotsPerInch;
  return choice;
}

namespace {

struct OptionsDeleter {
  void operator()(pappl_pr_options_t* options) const { papplJobDeletePrintOptions(options); }
};

// The document's format by its first bytes: a sender's declared format may be wrong.
qxvn::DocumentFormat FormatOfFile(const std::string& path) {
  uint8_t head[qxvn::kFormatProbeBytes];
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return qxvn::DocumentFormat::kUnknown;
  const ssize_t got = read(fd, head, sizeof head);
  close(fd);
  return got > 0 ? qxvn::FormatOfBytes(std::span<const uint8_t>(head, static_cast<size_t>(got)))
                 : qxvn::DocumentFormat::kUnknown;
}

// Plain text set on pages of the job's label, as a PDF in the spool folder beside the document;
// the file is removed when the job's reader is done with it.
class TextAsPdf {
 public:
  TextAsPdf(const std::string& textPath, const pappl_media_col_t& media) {
    const std::string text = ReadWhole(textPath);
    qxdraw::TextPage page;
    page.widthDots = static_cast<int>(Dots(media.size_width));
    page.heightDots = static_cast<int>(Dots(media.size_length));
    page.marginDots = static_cast<int>(
        std::max({Dots(media.left_margin), Dots(media.top_margin), Dots(kTextMarginHundredthsMm)}));
    const std::string pdf = qxdraw::TextPdf(text, page);
    m_path = textPath + ".text.pdf";
    const int fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) throw qxvn::ToolError(std::string("cannot set the text on pages: ") + std::strerror(errno));
    const bool written = write(fd, pdf.data(), pdf.size()) == static_cast<ssize_t>(pdf.size());
    close(fd);
    if (!written) {
      unlink(m_path.c_str());
      throw qxvn::ToolError("cannot set the text on pages: the spool folder is full");
    }
  }
  ~TextAsPdf() { unlink(m_path.c_str()); }
  TextAsPdf(const TextAsPdf&) = delete;
  TextAsPdf& operator=(const TextAsPdf&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  static std::string ReadWhole(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw qxvn::ToolError(std::string("cannot read the text: ") + std::strerror(errno));
    std::string text;
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
    close(fd);
    return text;
  }
  std::string m_path;
};

}  // namespace

const qxvn::PageLimits& DocumentLimits() { return g_documentLimits; }

OpenedDocument OpenJobDocument(pappl_job_t* job, const std::string& path) {
  OpenedDocument document;
  const qxvn::DocumentFormat format = FormatOfFile(path);
  const qxvn::PageLimits& limits = g_documentLimits;
  switch (format) {
    case qxvn::DocumentFormat::kText: {
      std::unique_ptr<pappl_pr_options_t, OptionsDeleter> options(papplJobCreatePrintOptions(job, 1, false));
      if (!options) throw qxvn::ToolError("out of memory");
      auto text = std::make_shared<TextAsPdf>(path, options->media);
      document.source = qxvn::OpenPdf(text->Path(), qxvn::kDotsPerInch, limits);
      document.keep = std::move(text);
      break;
    }
    case qxvn::DocumentFormat::kPdf:
    case qxvn::DocumentFormat::kPng:
    case qxvn::DocumentFormat::kJpeg:
    case qxvn::DocumentFormat::kPnm:
      document.source = qxvn::OpenPageSource(path, qxvn::kDotsPerInch, limits);
      break;
    default:
      document.refusal = std::string("The document is ") + std::string(qxvn::NameOf(format)) +
                         ", not one of the formats this printer prints (" +
                         std::string(qxvn::PrintableFormatList()) + ").";
      break;
  }
  return document;
}

bool PrintPageFile(pappl_job_t* job, pappl_device_t* device, void*) {
  const char* filename = papplJobGetFilename(job);
  OpenedDocument document;
  try {
    document = OpenJobDocument(job, filename ? filename : "");
  } catch (const qxvn::ToolError& e) {
    RefuseDocument(job, std::string("Unable to read the document: ") + e.what());
    return false;
  }
  if (!document.source) {
    RefuseDocument(job, document.refusal);
    return false;
  }
  std::unique_ptr<qxvn::PageSource>& source = document.source;
  const auto pages = static_cast<unsigned>(source->PageCount());
  papplJobSetImpressions(job, static_cast<int>(pages));
  std::unique_ptr<pappl_pr_options_t, OptionsDeleter> options(papplJobCreatePrintOptions(job, pages, true));
  if (!options) return false;
  if (!StartLabelJob(job, options.get(), device)) return false;
  const qxvn::LayoutChoice layout = LayoutOfJob(job, *options);
  const std::string name = papplJobGetName(job) ? papplJobGetName(job) : "the document";

  bool ok = true;
  const unsigned first = std::max(options->first_page, 1u);
  const unsigned last = std::min(options->last_page, pages);
  // Collated copies of several pages: the document once a copy, every page rendered again, so
  // that one page is held at a time. Otherwise the plug-in makes each page's copies.
  const int passes = last > first && Collated(job) ? TakeCopies(job) : 1;
  for (int pass = 0; ok && pass < passes; ++pass) {
    for (unsigned number = first; ok && number <= last && !papplJobIsCanceled(job); ++number) {
      try {
        qxvn::LaidOutFrom from;
        std::optional<std::vector<qxvn::barcode::Symbol>> found;
        qxvn::PageImage page = qxvn::RenderOnLabel(*source, number - 1, layout, 3, g_documentLimits, name,
                                                   &from, KeepBarcodesWhole(&found));
        if (from.fittedToKeepWhole) {
          papplLogJob(job, PAPPL_LOGLEVEL_INFO,
                      "Page %u fit to the label instead of filling it, so as not to cut a bar code.", number);
          papplJobSetMessage(
              job, "Page %u fit to the label instead of filling it, so as not to cut a bar code.", number);
        }
        ok = PrintDecodedPage(job, device, page, &from, from.page.pixels && found ? &*found : nullptr);
        if (ok && pass == 0) papplJobSetImpressionsCompleted(job, 1);
      } catch (const qxvn::ToolError& e) {
        RefuseDocument(job, std::string("Unable to render the page: ") + e.what());
        ok = false;
      } catch (const std::bad_alloc&) {
        RefuseDocument(job, "Unable to render the page: out of memory.");
        ok = false;
      }
    }
  }
  return FinishLabelJob(job, device, ok);
}

namespace {

// PAPPL tells PDF, PNG, PWG and Apple raster by their first bytes, and JPEG only with a JFIF
// or Exif segment first; the rest of what the app prints, the printer's own stream included,
// is told here. PAPPL keeps one such callback a system.
const char* FormatByContent(const unsigned char* header, size_t size, void*) {
  if (const char* stream = SniffRawStream(header, size, nullptr)) return stream;
  const qxvn::DocumentFormat format = qxvn::FormatOfBytes(std::span<const uint8_t>(header, size));
  return format == qxvn::DocumentFormat::kUnknown ? nullptr : qxvn::MimeTypeOf(format).data();
}

}  // namespace

void RegisterPageFileFilters(pappl_system_t* system, const qxvn::PageLimits& limits) {
  g_documentLimits = limits;
  // A PDF job starts drawing at once, on a renderer that has loaded the PDF library already.
  qxvn::PdfRenderer::KeepSpare(limits);
  papplSystemSetMIMECallback(system, FormatByContent, nullptr);
  // To the printer's own format: PAPPL looks for that before its own raster filters. The filter
  // reads the document by its content, whatever it was sent as.
  for (qxvn::DocumentFormat format :
       {qxvn::DocumentFormat::kPdf, qxvn::DocumentFormat::kPng, qxvn::DocumentFormat::kJpeg,
        qxvn::DocumentFormat::kPnm, qxvn::DocumentFormat::kText})
    papplSystemAddMIMEFilter(system, qxvn::MimeTypeOf(format).data(), kPrinterFormat, PrintPageFile, nullptr);
  // A raster document PAPPL did not print as it came (a held job's) prints from its file.
  for (const char* raster : {"image/pwg-raster", "image/urf"})
    papplSystemAddMIMEFilter(system, raster, kPrinterFormat, PrintRasterFile, nullptr);
}

}  // namespace qxapp
