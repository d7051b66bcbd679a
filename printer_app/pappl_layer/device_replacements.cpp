// The device functions the app defines in PAPPL's place, each handing over to printer_app/devices/
// (the library's own calls reach these through its symbol table).
#include <pappl/pappl.h>

#include "printer_app/devices/device_delivery.h"
#include "printer_app/devices/device_guard.h"
#include "printer_app/devices/device_policy.h"
#include "printer_app/pappl_layer/original_symbol.h"

extern "C" {

__attribute__((visibility("default"))) bool papplDeviceList(pappl_devtype_t types, pappl_device_cb_t cb,
                                                            void* data, pappl_deverror_cb_t err_cb,
                                                            void* err_data) {
  static const auto original = qxapp::Original<decltype(&papplDeviceList)>("papplDeviceList");
  return original(qxapp::ListableDeviceTypes(types), cb, data, err_cb, err_data);
}

__attribute__((visibility("default"))) pappl_device_t* papplDeviceOpen(const char* device_uri,
                                                                       const char* name,
                                                                       pappl_deverror_cb_t err_cb,
                                                                       void* err_data) {
  static const auto original = qxapp::Original<decltype(&papplDeviceOpen)>("papplDeviceOpen");
  return qxapp::OpenGuardedDevice(original, device_uri, name, err_cb, err_data);
}

__attribute__((visibility("default"))) pappl_printer_t* papplPrinterCreate(
    pappl_system_t* system, int printer_id, const char* printer_name, const char* driver_name,
    const char* device_id, const char* device_uri) {
  return qxapp::CreateAllowedPrinter(system, printer_id, printer_name, driver_name, device_id, device_uri);
}

__attribute__((visibility("default"))) void _papplSystemProcessIPP(pappl_client_t* client) {
  using Fn = void (*)(pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("_papplSystemProcessIPP");
  if (!qxapp::RefusedCreatePrinter(client)) original(client);
}

__attribute__((visibility("default"))) const char* papplClientGetLocString(pappl_client_t* client,
                                                                           const char* s) {
  static const auto original = qxapp::Original<decltype(&papplClientGetLocString)>("papplClientGetLocString");
  if (const char* refusal = qxapp::RefusalInPlaceOf(s)) return refusal;
  return original(client, s);
}

__attribute__((visibility("default"))) void _papplPrinterCopyStateNoLock(pappl_printer_t* printer,
                                                                         ipp_tag_t group_tag, ipp_t* ipp,
                                                                         pappl_client_t* client,
                                                                         cups_array_t* ra) {
  using Fn = void (*)(pappl_printer_t*, ipp_tag_t, ipp_t*, pappl_client_t*, cups_array_t*);
  static const Fn original = qxapp::Original<Fn>("_papplPrinterCopyStateNoLock");
  original(printer, group_tag, ipp, client, ra);
  qxapp::AddWaitingForDevice(printer, group_tag, ipp);
}

}  // extern "C"
