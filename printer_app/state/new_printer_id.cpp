// PAPPL 1.3.1 writes the printer-id it is given into a new printer's attributes before it picks
// the id, so a printer made while the app runs (Create-Printer, the web interface, the `add` and
// `autoadd` sub-commands) announces printer-id 0 until the next start; the `default` and
// `delete` sub-commands, which address a printer by that id, then refuse it. The library calls
// ippAddInteger through its symbol table, so the app's version runs in its place
// (pappl_layer/state_replacements.cpp): the id PAPPL will pick is noted while it makes the
// printer (papplPrinterCreate, device_policy.cpp, calls CreatePrinterWithItsId) and written
// instead of the 0. The note is the creating thread's own: ippAddInteger is handed nothing but
// the attribute, and PAPPL can make printers on several threads at once. (Naming the id in the
// call instead would leave PAPPL's next printer-id where it is, which it lets no one change
// while it runs.)
#include "printer_app/state/new_printer_id.h"

#include <pappl/pappl.h>

#include <cstring>

#include "printer_app/pappl_layer/original_symbol.h"

namespace {

thread_local int t_newPrinterId = 0;

}  // namespace

namespace qxapp {

pappl_printer_t* CreatePrinterWithItsId(pappl_system_t* system, int printerId, const char* printerName,
                                        const char* driverName, const char* deviceId, const char* deviceUri) {
  static const auto original = Original<decltype(&papplPrinterCreate)>("papplPrinterCreate");
  t_newPrinterId = printerId ? 0 : papplSystemGetNextPrinterID(system);
  pappl_printer_t* printer = original(system, printerId, printerName, driverName, deviceId, deviceUri);
  if (printer && t_newPrinterId && papplPrinterGetID(printer) != t_newPrinterId)
    papplLog(system, PAPPL_LOGLEVEL_WARN,
             "Printer '%s' was made at once with another: its printer-id may be wrong.", printerName);
  t_newPrinterId = 0;
  return printer;
}

int AnnouncedInteger(const char* name, int value) {
  if (t_newPrinterId && value == 0 && name && std::strcmp(name, "printer-id") == 0) return t_newPrinterId;
  return value;
}

}  // namespace qxapp
