#include "printer_app/pdf_filter.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "common/input/page_source.h"
#include "common/media/label_sizes.h"
#include "common/tool_error.h"
#include "printer_app/label_job.h"

namespace qxapp {
namespace {

void RefuseDocument(pappl_job_t* job, const std::string& message) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
  papplJobSetMessage(job, "%s", message.c_str());
  papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
}

struct OptionsDeleter {
  void operator()(pappl_pr_options_t* options) const { papplJobDeletePrintOptions(options); }
};

}  // namespace

bool PrintPdf(pappl_job_t* job, pappl_device_t* device, void*) {
  const char* filename = papplJobGetFilename(job);
  std::unique_ptr<qxvn::PageSource> source;
  try {
    source = qxvn::OpenPdf(filename ? filename : "", qxvn::kDotsPerInch);
  } catch (const qxvn::ToolError& e) {
    RefuseDocument(job, std::string("Unable to read the PDF document: ") + e.what());
    return false;
  }
  const auto pages = static_cast<unsigned>(source->PageCount());
  papplJobSetImpressions(job, static_cast<int>(pages));
  std::unique_ptr<pappl_pr_options_t, OptionsDeleter> options(papplJobCreatePrintOptions(job, pages, true));
  if (!options) return false;
  if (!StartLabelJob(job, options.get(), device)) return false;

  bool ok = true;
  const unsigned last = std::min(options->last_page, pages);
  for (unsigned number = std::max(options->first_page, 1u); ok && number <= last && !papplJobIsCanceled(job);
       ++number) {
    try {
      qxvn::PageImage page = source->Render(number - 1, 3);
      ok = PrintDecodedPage(job, device, page);
    } catch (const qxvn::ToolError& e) {
      RefuseDocument(job, std::string("Unable to render the PDF page: ") + e.what());
      ok = false;
    } catch (const std::bad_alloc&) {
      RefuseDocument(job, "Unable to render the PDF page: out of memory.");
      ok = false;
    }
  }
  EndLabelJob(job, options.get(), device);
  return ok;
}

void RegisterPdfFilter(pappl_system_t* system) {
  papplSystemAddMIMEFilter(system, "application/pdf", "image/pwg-raster", PrintPdf, nullptr);
}

}  // namespace qxapp
