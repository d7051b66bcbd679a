// PDF, PNG and JPEG documents, read by the same page readers as `qxvn print` and printed page
// by page. PAPPL renders no PDF; its own PNG reader never ends on a truncated file (it repeats
// the read error) and its JPEG reader prints a truncated file as if it were whole (libjpeg only
// warns), so both images take this way too. Every page is laid out on the job's label as its
// print-scaling and orientation-requested say.
#pragma once

#include <pappl/pappl.h>

#include <memory>
#include <string>

#include "common/input/page_source.h"
#include "common/layout/placement.h"

namespace qxapp {

struct OpenedDocument {
  std::unique_ptr<qxvn::PageSource> source;  // none: not a format this printer prints
  std::string refusal;                       // then why, for the job's message
  std::shared_ptr<void> keep;                // what the source reads (text set on pages as a PDF)
};

// A job's document at `path`, read by its content within the limits: text is set on pages of
// the job's label. Throws ToolError with what stops it.
OpenedDocument OpenJobDocument(pappl_job_t* job, const std::string& path);
const qxvn::PageLimits& DocumentLimits();

// The job's label, scaling and orientation, as its pages are laid out.
qxvn::LayoutChoice LayoutOfJob(pappl_job_t* job, const pappl_pr_options_t& options);
// Whether the job's copies are collated.
bool Collated(pappl_job_t* job);

bool PrintPageFile(pappl_job_t* job, pappl_device_t* device, void* format);

// Every document is read within `limits`.
void RegisterPageFileFilters(pappl_system_t* system, const qxvn::PageLimits& limits = {});

}  // namespace qxapp
