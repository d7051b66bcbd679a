// Network printers (socket://HOST[:PORT], and dnssd:// raw-socket printers found by DNS-SD) and
// USB printers (usb://, PAPPL's own USB device underneath) through a device of the app's own.
// PAPPL 1.3.1's own devices keep one connection for a run of jobs; its network device reports a
// job completed once its bytes are in the system's buffers, so a printer that closes or resets
// the connection loses jobs reported as printed; a USB printer unplugged mid-job aborts the job;
// and the next job writes into the dead connection. Here, whatever the way to the printer
// (delivery_link.h):
// - each job has a way of its own, opened at its first byte and ended with the job: a network
//   printer must then close its end having taken every byte;
// - a refused, reset, closed or stalled connection, or a USB printer gone, is a transient fault:
//   the job waits for the printer (printer-state-reasons connecting-to-device and offline-report,
//   the reason in the job's and the printer's message), then is sent again from its start on a
//   fresh connection or a USB device opened again by its URI once the printer is back;
// - after the printer's retry limit (the `device-retry-limit` setting, seconds, default 600)
//   the job is given up with the reason.
// Calls come from the job's own thread (job_thread.h's CurrentJob).
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

inline constexpr const char* kRetryLimitAttribute = "device-retry-limit";
inline constexpr int kDefaultRetryLimitSeconds = 600;

// Registers the app's devices with PAPPL; once, before the system runs.
void RegisterDeliveryDevices();

// The URI of the app's own device for a socket://, dnssd:// or usb:// URI; empty for any other.
std::string DeliveryDeviceUri(const char* uri);

// The end of a job that printed: true once the printer took every byte (at once for devices
// other than the app's own, whose writes report themselves).
bool FinishDelivery(pappl_device_t* device);

// The end of a job that did not print: what it had sent is dropped with its connection.
void AbandonDelivery(pappl_device_t* device);

// Why the calling thread's last delivery failed; empty when it did not.
std::string LastDeliveryFailure();

// The printer's retry limit setting, among the driver's vendor attributes.
void AddDeliveryAttributes(pappl_pr_driver_data_t* data, ipp_t* attrs);

// A printer's state attributes, just copied into `ipp`, made to say so when it waits for its
// device: connecting-to-device and offline-report among its printer-state-reasons (not "paused":
// its queue is not stopped), and the reason as its printer-state-message.
void AddWaitingForDevice(pappl_printer_t* printer, ipp_tag_t groupTag, ipp_t* ipp);

}  // namespace qxapp
