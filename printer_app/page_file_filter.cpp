#include "printer_app/page_file_filter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "common/input/page_source.h"
#include "common/media/label_sizes.h"
#include "common/tool_error.h"
#include "printer_app/client_message.h"
#include "printer_app/label_driver.h"
#include "printer_app/label_job.h"

namespace qxapp {
namespace {

void RefuseDocument(pappl_job_t* job, const std::string& message) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
  papplJobSetMessage(job, "%s", WithoutServerPaths(message).c_str());
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
}

// Copies are collated unless the job asks otherwise (the printer's default is collated).
bool Collated(pappl_job_t* job) {
  ipp_attribute_t* handling = papplJobGetAttribute(job, "multiple-document-handling");
  const char* value = handling ? ippGetString(handling, 0, nullptr) : nullptr;
  return !value || std::strcmp(value, "separate-documents-uncollated-copies") != 0;
}

struct OptionsDeleter {
  void operator()(pappl_pr_options_t* options) const { papplJobDeletePrintOptions(options); }
};

}  // namespace

bool PrintPageFile(pappl_job_t* job, pappl_device_t* device, void* format) {
  const std::string type = static_cast<const char*>(format);
  const char* filename = papplJobGetFilename(job);
  std::unique_ptr<qxvn::PageSource> source;
  try {
    const std::string path = filename ? filename : "";
    source = type == "application/pdf" ? qxvn::OpenPdf(path, qxvn::kDotsPerInch)
             : type == "image/jpeg"    ? qxvn::OpenJpeg(path)
                                       : qxvn::OpenPng(path);
  } catch (const qxvn::ToolError& e) {
    RefuseDocument(job, std::string("Unable to read the document: ") + e.what());
    return false;
  }
  const auto pages = static_cast<unsigned>(source->PageCount());
  papplJobSetImpressions(job, static_cast<int>(pages));
  std::unique_ptr<pappl_pr_options_t, OptionsDeleter> options(papplJobCreatePrintOptions(job, pages, true));
  if (!options) return false;
  if (!StartLabelJob(job, options.get(), device)) return false;

  bool ok = true;
  const unsigned first = std::max(options->first_page, 1u);
  const unsigned last = std::min(options->last_page, pages);
  // Collated copies of several pages: the document once a copy, every page rendered again, so
  // that one page is held at a time. Otherwise the plug-in makes each page's copies.
  const int passes = last > first && Collated(job) ? TakeCopies(job) : 1;
  for (int pass = 0; ok && pass < passes; ++pass) {
    for (unsigned number = first; ok && number <= last && !papplJobIsCanceled(job); ++number) {
      try {
        qxvn::PageImage page = source->Render(number - 1, 3);
        ok = PrintDecodedPage(job, device, page);
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

void RegisterPageFileFilters(pappl_system_t* system) {
  // To the printer's own format: PAPPL looks for that before its own raster filters.
  static const char kPdf[] = "application/pdf";
  static const char kPng[] = "image/png";
  static const char kJpeg[] = "image/jpeg";
  papplSystemAddMIMEFilter(system, kPdf, kPrinterFormat, PrintPageFile, const_cast<char*>(kPdf));
  papplSystemAddMIMEFilter(system, kPng, kPrinterFormat, PrintPageFile, const_cast<char*>(kPng));
  papplSystemAddMIMEFilter(system, kJpeg, kPrinterFormat, PrintPageFile, const_cast<char*>(kJpeg));
}

}  // namespace qxapp
