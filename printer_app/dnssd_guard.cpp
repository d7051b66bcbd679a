#include "printer_app/dnssd_guard.h"

#include <avahi-client/client.h>
#include <avahi-common/simple-watch.h>
#include <pappl/pappl.h>

#include <cstring>

#include "printer_app/original_symbol.h"

namespace qxapp {

bool DnssdAvailable() {
  AvahiSimplePoll* poll = avahi_simple_poll_new();
  if (!poll) return false;
  int error = 0;
  AvahiClient* client =
      avahi_client_new(avahi_simple_poll_get(poll), AvahiClientFlags(0), nullptr, nullptr, &error);
  const bool answers = client != nullptr;
  if (client) avahi_client_free(client);
  avahi_simple_poll_free(poll);
  return answers;
}

}  // namespace qxapp

extern "C" {

__attribute__((visibility("default"))) bool papplDeviceList(pappl_devtype_t types, pappl_device_cb_t cb,
                                                            void* data, pappl_deverror_cb_t err_cb,
                                                            void* err_data) {
  using Fn = bool (*)(pappl_devtype_t, pappl_device_cb_t, void*, pappl_deverror_cb_t, void*);
  static const Fn original = qxapp::Original<Fn>("papplDeviceList");
  if ((types & PAPPL_DEVTYPE_DNS_SD) && !qxapp::DnssdAvailable())
    types &= ~pappl_devtype_t{PAPPL_DEVTYPE_DNS_SD};
  return original(types, cb, data, err_cb, err_data);
}

__attribute__((visibility("default"))) pappl_device_t* papplDeviceOpen(const char* device_uri,
                                                                       const char* name,
                                                                       pappl_deverror_cb_t err_cb,
                                                                       void* err_data) {
  using Fn = pappl_device_t* (*)(const char*, const char*, pappl_deverror_cb_t, void*);
  static const Fn original = qxapp::Original<Fn>("papplDeviceOpen");
  if (device_uri && std::strncmp(device_uri, "dnssd://", 8) == 0 && !qxapp::DnssdAvailable()) {
    if (err_cb) err_cb("Cannot reach a DNS-SD printer: no Avahi daemon is running.", err_data);
    return nullptr;
  }
  return original(device_uri, name, err_cb, err_data);
}

}  // extern "C"
