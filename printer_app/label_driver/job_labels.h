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
#include <optional>
#include <string>

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

// Removes what is kept of jobs PAPPL no longer has.
void SweepJobLabels(pappl_system_t* system);

}  // namespace qxapp
