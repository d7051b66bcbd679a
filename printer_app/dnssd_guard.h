// Keeps the app alive on a machine where no Avahi daemon answers: PAPPL 1.3.1 aborts the whole
// process when it browses for or opens a DNS-SD device then (the web interface's Add Printer
// page browses). The app provides papplDeviceList and papplDeviceOpen in the library's place:
// without a daemon, listing leaves DNS-SD out and opening a dnssd:// device fails with a reason.
#pragma once

namespace qxapp {

// Whether an Avahi client can reach the daemon now (PAPPL's own condition for DNS-SD).
bool DnssdAvailable();

}  // namespace qxapp
