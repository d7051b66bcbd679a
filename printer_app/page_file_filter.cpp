#include "printer_app/page_file_filter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/input/page_source.h"
#include "common/layout/render_on_label.h"
#include "common/media/label_sizes.h"
#include "common/tool_error.h"
#include "printer_app/client_message.h"
#include "printer_app/label_driver.h"
#include "printer_app/label_job.h"

namespace qxapp {
namespace {

// Set once, before the system runs.
qxvn::PageLimits g_documentLimits;

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

// The job's label, scaling and orientation. The orientation is the job's own: without one, a
// document is turned to lie along the label (the printer's default of portrait would never turn).
qxvn::LayoutChoice LayoutOfJob(pappl_job_t* job, const pappl_pr_options_t& options) {
  qxvn::LayoutChoice choice;
  choice.scaling = ScalingOf(options.print_scaling);
  ipp_attribute_t* orientation = papplJobGetAttribute(job, "orientation-requested");
  choice.orientation = orientation && ippGetValueTag(orientation) == IPP_TAG_ENUM
                           ? qxvn::OrientationOfIpp(ippGetInteger(orientation, 0))
                           : qxvn::Orientation::kAutomatic;
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

}  // namespace

const qxvn::PageLimits& DocumentLimits() { return g_documentLimits; }

std::unique_ptr<qxvn::PageSource> OpenPageFile(const std::string& type, const std::string& path) {
  const qxvn::PageLimits& limits = g_documentLimits;
  return type == "application/pdf" ? qxvn::OpenPdf(path, qxvn::kDotsPerInch, limits)
         : type == "image/jpeg"    ? qxvn::OpenJpeg(path, limits)
                                   : qxvn::OpenPng(path, limits);
}

bool PrintPageFile(pappl_job_t* job, pappl_device_t* device, void* format) {
  const std::string type = static_cast<const char*>(format);
  const char* filename = papplJobGetFilename(job);
  std::unique_ptr<qxvn::PageSource> source;
  try {
    source = OpenPageFile(type, filename ? filename : "");
  } catch (const qxvn::ToolError& e) {
    RefuseDocument(job, std::string("Unable to read the document: ") + e.what());
    return false;
  }
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
        std::vector<qxvn::barcode::Symbol> found;
        qxvn::PageImage page = qxvn::RenderOnLabel(*source, number - 1, layout, 3, g_documentLimits, name,
                                                   &from, KeepBarcodesWhole(&found));
        if (from.fittedToKeepWhole) {
          papplLogJob(job, PAPPL_LOGLEVEL_INFO,
                      "Page %u fit to the label instead of filling it, so as not to cut a bar code.", number);
          papplJobSetMessage(
              job, "Page %u fit to the label instead of filling it, so as not to cut a bar code.", number);
        }
        ok = PrintDecodedPage(job, device, page, &from, from.page.pixels ? &found : nullptr);
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
  EndLabelJob(job, options.get(), device);
  return ok;
}

void RegisterPageFileFilters(pappl_system_t* system, const qxvn::PageLimits& limits) {
  g_documentLimits = limits;
  // To the printer's own format: PAPPL looks for that before its own raster filters.
  static const char kPdf[] = "application/pdf";
  static const char kPng[] = "image/png";
  static const char kJpeg[] = "image/jpeg";
  papplSystemAddMIMEFilter(system, kPdf, kPrinterFormat, PrintPageFile, const_cast<char*>(kPdf));
  papplSystemAddMIMEFilter(system, kPng, kPrinterFormat, PrintPageFile, const_cast<char*>(kPng));
  papplSystemAddMIMEFilter(system, kJpeg, kPrinterFormat, PrintPageFile, const_cast<char*>(kJpeg));
}

}  // namespace qxapp
