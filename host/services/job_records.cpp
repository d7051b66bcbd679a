// winspool stand-in: job records (GetJobW level 2).
#include <cstring>

#include "host/services/host_state.h"

namespace qxhost {

void SetJob(HANDLE printer, DWORD jobId, const JobRecord& record) {
  std::lock_guard lock(State().mutex);
  State().printers[printer].jobs[jobId] = record;
}

void RemoveJob(HANDLE printer, DWORD jobId) {
  std::lock_guard lock(State().mutex);
  auto it = State().printers.find(printer);
  if (it != State().printers.end()) it->second.jobs.erase(jobId);
}

}  // namespace qxhost

namespace {

constexpr DWORD ERROR_INVALID_LEVEL_CODE = 124;

size_t AlignUp(size_t n) { return (n + 7) & ~size_t{7}; }

// Bytes of the record with its device mode and document name laid out behind it.
size_t RecordBytes(const qxhost::JobRecord& job) {
  size_t bytes = AlignUp(sizeof(JOB_INFO_2W));
  if (job.devMode) bytes += AlignUp(sizeof(DEVMODEW) + job.devMode->dmDriverExtra);
  bytes += (job.document.size() + 1) * sizeof(WCHAR);
  return bytes;
}

void FillRecord(DWORD jobId, const qxhost::JobRecord& job, BYTE* buffer) {
  std::memset(buffer, 0, RecordBytes(job));
  auto* info = reinterpret_cast<JOB_INFO_2W*>(buffer);
  size_t at = AlignUp(sizeof(JOB_INFO_2W));
  info->JobId = jobId;
  info->TotalPages = job.totalPages;
  info->Size = static_cast<DWORD>(RecordBytes(job));
  if (job.devMode) {
    std::memcpy(buffer + at, &*job.devMode, sizeof(DEVMODEW));
    info->pDevMode = reinterpret_cast<LPDEVMODEW>(buffer + at);
    at += AlignUp(sizeof(DEVMODEW) + job.devMode->dmDriverExtra);
  }
  info->pDocument = reinterpret_cast<LPWSTR>(buffer + at);
  std::memcpy(buffer + at, job.document.c_str(), (job.document.size() + 1) * sizeof(WCHAR));
}

}  // namespace

extern "C" BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                               LPDWORD pcbNeeded) {
  using namespace qxhost;
  HostState& s = State();
  std::lock_guard lock(s.mutex);
  ++s.calls.getJob;
  auto printer = s.printers.find(hPrinter);
  PrinterRecord* record = printer == s.printers.end() ? nullptr : &printer->second;
  if (record) ++record->calls.getJob;
  if (Level != 2) {
    SetLastError(ERROR_INVALID_LEVEL_CODE);
    return FALSE;
  }
  const JobRecord* job = nullptr;
  if (record) {
    auto it = record->jobs.find(JobId);
    if (it != record->jobs.end()) job = &it->second;
  }
  const Failures failures = FailuresFor(s, record);
  if (!job || !pcbNeeded) {
    if (pcbNeeded) *pcbNeeded = 0;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto needed = static_cast<DWORD>(RecordBytes(*job));
  if (!pJob || cbBuf < needed) {
    *pcbNeeded = failures.getJobNoSize ? 0 : needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (failures.getJobFillFails) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  FillRecord(JobId, *job, pJob);
  *pcbNeeded = needed;
  return TRUE;
}
