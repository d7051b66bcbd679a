// Where the app changes PAPPL 1.3.1's device handling, for papplDeviceList and papplDeviceOpen
// (pappl_layer/device_replacements.cpp provides them in the library's place):
// - with no Avahi daemon answering, PAPPL aborts the whole process when it browses for or opens
//   a DNS-SD device (the web interface's Add Printer page browses): listing then leaves DNS-SD
//   out, and opening a dnssd:// device fails with a reason;
// - a file:// device outside the allowed folders (device_policy.h) is refused with the rule;
// - a file:// folder gets one file a job, named by the job's id and name (cut to a safe length),
//   never another job's: made new in the folder as it is when the job starts (a folder swapped
//   for a link since it was checked is refused), never through a link planted at its name;
// - a file:// device naming one file is opened the same way, in its folder held open: a link
//   there, another user's file or one with other names is refused;
// - a file:// folder or file that cannot be written makes PAPPL hold the job and retry every
//   5 seconds for ever: the job gets a device whose every write fails instead, so that it ends
//   aborted with the reason, and the next job tries the folder again;
// - socket://, dnssd:// and usb:// devices are the app's own (device_delivery.h).
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

using LibraryDeviceOpen = pappl_device_t* (*)(const char* uri, const char* name,
                                              pappl_deverror_cb_t errorCallback, void* errorData);

// The types of device a listing may ask PAPPL for: without an Avahi daemon, no DNS-SD.
pappl_devtype_t ListableDeviceTypes(pappl_devtype_t types);

// papplDeviceOpen as the app has it; `original` is the library's own.
pappl_device_t* OpenGuardedDevice(LibraryDeviceOpen original, const char* uri, const char* name,
                                  pappl_deverror_cb_t errorCallback, void* errorData);

// Whether an Avahi client can reach the daemon now (PAPPL's own condition for DNS-SD).
bool DnssdAvailable();

// Why the calling thread's last file:// device could not be opened, or what it reported since;
// empty when it opened well, and after any other device was opened.
std::string LastFileDeviceFailure();

// The file the calling thread's last job made in a file:// folder, forgotten once taken; empty
// when it made none.
std::string TakeJobOutputFile();

// Removes what the jobs of the system that ended without printing (cancelled or aborted) left in
// a file:// folder: a job cut short by a crash ends so after the restart, and its file stayed.
void RemoveOutputsOfUnprintedJobs(pappl_system_t* system);

}  // namespace qxapp
