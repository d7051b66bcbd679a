// Network printers (socket://HOST[:PORT], and dnssd:// raw-socket printers found by DNS-SD)
// through a device of the app's own. PAPPL 1.3.1's own
// keeps one connection for a run of jobs and reports a job completed once its bytes are in the
// system's buffers, so a printer that closes or resets the connection loses jobs reported as
// printed, and the next job writes into the dead connection. Here:
// - each job has a connection of its own, made at its first byte and ended with the job: shut
//   down for writing, then the printer must close its end having taken every byte;
// - a refused, reset, closed or stalled connection is a transient fault: the job waits for the
//   printer (printer-state-reasons connecting-to-device and offline-report, the reason in the
//   job's and the printer's message), then is sent again from its start on a fresh connection;
// - after the printer's retry limit (the `device-retry-limit` setting, seconds, default 600)
//   the job is given up with the reason.
// Calls come from the job's own thread (job_thread.h's CurrentJob).
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

inline constexpr const char* kRetryLimitAttribute = "device-retry-limit";
inline constexpr int kDefaultRetryLimitSeconds = 600;

// Registers the app's network device with PAPPL; once, before the system runs.
void RegisterSocketDelivery();

// The URI of the app's own device for a socket:// or dnssd:// URI; empty for any other.
std::string SocketDeliveryUri(const char* uri);

// The end of a job that printed: true once the printer took every byte (at once for devices
// other than the app's network device, whose writes report themselves).
bool FinishDelivery(pappl_device_t* device);

// The end of a job that did not print: what it had sent is dropped with its connection.
void AbandonDelivery(pappl_device_t* device);

// Why the calling thread's last network delivery failed; empty when it did not.
std::string LastDeliveryFailure();

// The printer's retry limit setting, among the driver's vendor attributes.
void AddDeliveryAttributes(pappl_pr_driver_data_t* data, ipp_t* attrs);

}  // namespace qxapp
