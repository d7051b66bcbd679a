// What each job prints, kept for its pictures: the stream a job sent to its printer, copied as
// it goes into a folder of the app's own (one file a job, readable by the app alone) and
// removed once PAPPL no longer keeps the job; and for a job still waiting (pending or held),
// the stream it would send, made from its document by the code that prints it.
//
// Threads: the job's printing thread writes its stream; the web pages' threads read it and
// make the streams of waiting jobs, each in a file of its own put in place whole.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/barcode/page_symbols.h"
#include "printer_app/label_driver/label_job.h"

namespace qxapp {

// Keeps the streams in `folder` (made if need be), and every minute removes those of jobs that
// PAPPL has let go. Before the system runs.
void KeepJobLabelsIn(pappl_system_t* system, const std::string& folder);

// The job starts sending: a stream kept from an earlier start (before a restart) goes.
void StartSentStream(pappl_job_t* job);
// Bytes the device took. A copy that cannot be written is logged; the job prints on.
void KeepSentStream(pappl_job_t* job, const uint8_t* bytes, size_t size);

// The job's copies: its attribute, or for a finished job loaded after a restart (PAPPL keeps
// none of its attributes) the copies it printed with; 1 when neither is known.
int CopiesOfJob(pappl_job_t* job);

// The job's label size in hundredths of a millimetre: from its media-col or media, or for a
// finished job loaded after a restart the size it printed on; false when neither is known.
bool LabelSizeOfJob(pappl_job_t* job, int* width, int* length);

// The job of that id on any printer of the system, or nullptr.
pappl_job_t* FindSystemJob(pappl_system_t* system, int jobId);

struct JobStream {
  std::string path;  // empty when there is none; `why` says why
  std::string why;
  bool waiting = false;  // the stream the job would send, not one it sent
};

// The stream of the job's labels. A waiting job's is made again when `fresh`, else the one
// last made is used (made now when there is none).
JobStream StreamOfJob(pappl_job_t* job, bool fresh);

// Whether the job's document can be made into its labels before it prints: it is spooled (a
// raster document is only when the job is held as it arrives) and not the printer's own stream.
bool CanMakePagesBeforePrinting(pappl_job_t* job);

// Makes the pages of a waiting job's document by the code that prints it, each handed to
// `made` (which may throw ToolError); with `onePass`, the first copy of each page only. Empty
// when every page was made, else why not, in the words the job's message would use.
std::string MakeWaitingPages(pappl_job_t* job, bool onePass, const WaitingPage& made);

// Removes what is kept of jobs PAPPL no longer has.
void SweepJobLabels(pappl_system_t* system);

}  // namespace qxapp
