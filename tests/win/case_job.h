// Turns a case into the document that the driver host prints, and writes what the print gave:
// the same on both platforms, so that their outputs can be compared byte for byte.
#pragma once

#include <string>

#include "host/driver_host.h"
#include "tests/win/case_file.h"

namespace qxcase {

// The job to print. Its bands view the case's pixels: the case must outlive the job.
qxhost::JobSpec ToJobSpec(const Case& c);
qxhost::HostFaults ToHostFaults(const Case& c);

// Every call into the plug-in with its result, the sizes of the spool writes and the outcome,
// one item a line.
std::string DescribeCalls(const qxhost::PrintResult& result);

// Writes `text` (or `bytes`) to `path`; false with the reason in `error`.
bool WriteFile(const std::string& path, const std::string& bytes, std::string* error);

// File names in an output folder.
inline constexpr const char* kStreamFile = "stream.bin";
inline constexpr const char* kCallsFile = "calls.txt";
inline constexpr const char* kTraceFile = "trace.txt";

}  // namespace qxcase
