// qxvn-printer-app: an IPP Everywhere printer application for the label printer. PAPPL serves
// IPP, the web interface, DNS-SD and the devices; every page goes through the plug-in library.
// PAPPL's main loop runs the command line (app_mainloop.cpp); the system it serves is made here.
#include <pappl/pappl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/io/page_memory.h"
#include "printer_app/access/access_policy.h"
#include "printer_app/access/request_bounds.h"
#include "printer_app/cli/address_listeners.h"
#include "printer_app/cli/app_mainloop.h"
#include "printer_app/cli/app_options.h"
#include "printer_app/devices/device_delivery.h"
#include "printer_app/devices/device_guard.h"
#include "printer_app/devices/usb_autoadd.h"
#include "printer_app/label_driver/barcode_hold.h"
#include "printer_app/label_driver/host_printer.h"
#include "printer_app/label_driver/job_labels.h"
#include "printer_app/label_driver/label_driver.h"
#include "printer_app/label_driver/page_file_filter.h"
#include "printer_app/pappl_layer/startup_check.h"
#include "printer_app/state/job_history.h"
#include "printer_app/state/saved_devices.h"
#include "printer_app/state/saved_state.h"
#include "printer_app/web/web_jobs.h"
#include "printer_app/web/web_text.h"

namespace {

bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST; }

pappl_loglevel_t LogLevel(const std::string& name) {
  if (name == "error") return PAPPL_LOGLEVEL_ERROR;
  if (name == "warn") return PAPPL_LOGLEVEL_WARN;
  if (name == "debug") return PAPPL_LOGLEVEL_DEBUG;
  return PAPPL_LOGLEVEL_INFO;
}

bool HasPrinter(pappl_system_t* system, const std::string& name) {
  return papplSystemFindPrinter(system, ("/ipp/print/" + name).c_str(), 0, nullptr) != nullptr;
}

// The printer system the options describe, configured and not yet running; nullptr (with the
// reason on standard error) when it cannot be made.
pappl_system_t* CreateSystem(const qxapp::AppOptions& options) {
  const std::string state = options.stateDir;
  if (!MakeFolder(state) || !MakeFolder(state + "/spool")) {
    std::fprintf(stderr, "qxvn-printer-app: cannot make %s: %s\n", state.c_str(), std::strerror(errno));
    return nullptr;
  }
  std::string loadError;
  if (!qxapp::LoadPlugin(&loadError)) {
    std::fprintf(stderr, "qxvn-printer-app: cannot load the plug-in: %s\n", loadError.c_str());
    return nullptr;
  }
  const std::string logFile = options.logFile.empty() ? state + "/app.log" : options.logFile;
  const auto systemOptions =
      static_cast<pappl_soptions_t>(PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE |
                                    PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_WEB_SECURITY);
  pappl_system_t* system =
      papplSystemCreate(systemOptions, "QXVN Label Printer Application", options.port, "_print,_universal",
                        (state + "/spool").c_str(), logFile.c_str(), LogLevel(options.logLevel),
                        options.authService.empty() ? nullptr : options.authService.c_str(), false);
  if (!system) {
    std::fprintf(stderr, "qxvn-printer-app: cannot create the printer system\n");
    return nullptr;
  }
  if (const std::string problem = qxapp::ListenOnEveryAddress(system, options.network, options.port);
      !problem.empty()) {
    std::fprintf(stderr, "qxvn-printer-app: %s\n", problem.c_str());
    papplSystemDelete(system);
    return nullptr;
  }
  // Also the footer: PAPPL 1.3.1 crashes rendering any web page of a system that has none.
  qxapp::AddWebText(system);
  if (!qxapp::DnssdAvailable())
    papplLog(system, PAPPL_LOGLEVEL_WARN,
             "No Avahi daemon answers: DNS-SD printers cannot be found or used until one runs.");
  qxapp::RegisterDeliveryDevices();
  qxapp::RegisterLabelDriver(system);
  qxapp::RegisterPageFileFilters(system, options.documentLimits);
  qxapp::SetRequestLimits(options.requestLimits);
  qxapp::KeepJobLabelsIn(system, state + "/labels");
  qxapp::KeepBarcodeChecksIn(system, state + "/checks");
  qxapp::AddJobPages(system);

  if (!qxapp::MoveSavedPrinters(state + "/state.conf", options.printers)) {
    papplSystemDelete(system);
    return nullptr;
  }
  qxapp::ApplyAccessPolicy(system, options);
  qxapp::RestoreAndKeepState(system, state + "/state.conf", state + "/spool");
  qxapp::KeepJobHistoryBounded(system);
  qxapp::ResumeBarcodeChecks(system);

  auto printers = options.printers;
  if (printers.empty() && !HasPrinter(system, "label")) {
    MakeFolder(state + "/output");
    printers.emplace_back("label", "file://" + state + "/output");
  }
  for (const auto& [name, uri] : printers) {
    if (HasPrinter(system, name)) continue;
    if (!papplPrinterCreate(system, 0, name.c_str(), qxapp::kDriverName, qxapp::kDeviceId, uri.c_str())) {
      std::fprintf(stderr, "qxvn-printer-app: cannot add printer %s (%s)\n", name.c_str(), uri.c_str());
      papplSystemDelete(system);
      return nullptr;
    }
  }
  // At once: the printers just made, and the jobs the journal brought back, in the state file.
  qxapp::SaveStateNow(system);
  qxapp::AnnounceUrl(system, options.network, options.port, state);
  return system;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything is served or sent: every replaced PAPPL function takes effect.
  qxapp::layer::RefuseToStartUnlessReplaced(qxapp::layer::PapplLayerSpec(), "qxvn-printer-app");
  qxvn::KeepPageMemoryForReuse();
  return qxapp::RunMainloop(argc, argv, CreateSystem);
}
