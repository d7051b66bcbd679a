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

// The document of type `type` ("application/pdf", "image/jpeg", "image/png") read within the
// limits. Throws ToolError.
std::unique_ptr<qxvn::PageSource> OpenPageFile(const std::string& type, const std::string& path);
const qxvn::PageLimits& DocumentLimits();

// The job's label, scaling and orientation, as its pages are laid out.
qxvn::LayoutChoice LayoutOfJob(pappl_job_t* job, const pappl_pr_options_t& options);
// Whether the job's copies are collated.
bool Collated(pappl_job_t* job);

bool PrintPageFile(pappl_job_t* job, pappl_device_t* device, void* format);

// Every document is read within `limits`.
void RegisterPageFileFilters(pappl_system_t* system, const qxvn::PageLimits& limits = {});

}  // namespace qxapp
