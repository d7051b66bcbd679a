#include "printer_app/device_guard.h"

#include <avahi-client/client.h>
#include <avahi-common/simple-watch.h>
#include <cups/cups.h>
#include <pappl/pappl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "printer_app/device_policy.h"
#include "printer_app/job_guard.h"
#include "printer_app/original_symbol.h"
#include "printer_app/socket_delivery.h"

namespace qxapp {
namespace {

// A device always fails to write here: the stand-in for a file device that cannot be opened.
constexpr const char* kFailingDevice = "file:///dev/full";

thread_local std::string t_fileFailure;
thread_local std::string t_outputFile;

// The error callback a caller gave, wrapped so that the open's own message is kept too. One per
// distinct callback and data, kept for the process: a device keeps calling it after the open.
struct ErrorRoute {
  pappl_deverror_cb_t callback;
  void* data;
};

void KeepAndPass(const char* message, void* data) {
  auto* route = static_cast<ErrorRoute*>(data);
  t_fileFailure = message ? message : "";
  if (route->callback) route->callback(message, route->data);
}

ErrorRoute* RouteFor(pappl_deverror_cb_t callback, void* data) {
  static std::mutex lock;
  static std::map<std::pair<pappl_deverror_cb_t, void*>, std::unique_ptr<ErrorRoute>> routes;
  std::lock_guard<std::mutex> hold(lock);
  auto& route = routes[{callback, data}];
  if (!route) route.reset(new ErrorRoute{callback, data});
  return route.get();
}

bool HasScheme(const char* uri, const char* scheme) {
  return uri && std::strncmp(uri, scheme, std::strlen(scheme)) == 0;
}

// A folder device's file name for the job, "ID-NAME", and where PAPPL will make it (it adds the
// extension, ".prn" unless the URI's "?ext=" says otherwise, and replaces the same characters).
struct FolderOutput {
  std::string name;
  std::string path;
};

bool FolderOutputFor(const char* uri, pappl_job_t* job, FolderOutput* out) {
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  if (!job || httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass,
                              host, sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
    return false;
  std::string folder = resource;
  std::string ext = "prn";
  if (const size_t query = folder.find('?'); query != std::string::npos) {
    const std::string options = folder.substr(query + 1);
    if (options.compare(0, 4, "ext=") == 0 && options.find('/') == std::string::npos) ext = options.substr(4);
    folder.erase(query);
  }
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  const char* jobName = papplJobGetName(job);
  out->name = std::to_string(papplJobGetID(job)) + "-" + (jobName ? jobName : "");
  std::string file = out->name + "." + ext;
  for (char& c : file)
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7f || (c & 0x80) || c == '/') c = '_';
  out->path = folder + "/" + file;
  return true;
}

}  // namespace

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

std::string LastFileDeviceFailure() { return t_fileFailure; }

std::string TakeJobOutputFile() { return std::exchange(t_outputFile, std::string()); }

void RemoveOutputsOfUnprintedJobs(pappl_system_t* system) {
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t* printer, void*) {
        const char* uri = papplPrinterGetDeviceURI(printer);
        if (!HasScheme(uri, "file:")) return;
        papplPrinterIterateCompletedJobs(
            printer,
            [](pappl_job_t* job, void* data) {
              FolderOutput output;
              if (papplJobGetState(job) == IPP_JSTATE_COMPLETED ||
                  !FolderOutputFor(static_cast<const char*>(data), job, &output))
                return;
              if (unlink(output.path.c_str()) == 0)
                papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Removed the unfinished output of the job.");
            },
            const_cast<char*>(uri), 1, 0);
      },
      nullptr);
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
  qxapp::t_fileFailure.clear();
  if (qxapp::HasScheme(device_uri, "dnssd://") && !qxapp::DnssdAvailable()) {
    if (err_cb) err_cb("Cannot reach a DNS-SD printer: no Avahi daemon is running.", err_data);
    return nullptr;
  }
  if (const std::string network = qxapp::SocketDeliveryUri(device_uri); !network.empty())
    return original(network.c_str(), name, err_cb, err_data);
  if (!qxapp::HasScheme(device_uri, "file:")) return original(device_uri, name, err_cb, err_data);

  std::string why;
  if (!qxapp::DeviceAllowedHere(device_uri, &why)) {
    qxapp::t_fileFailure = why;
    if (err_cb) err_cb(why.c_str(), err_data);
    return original(qxapp::kFailingDevice, name, err_cb, err_data);
  }
  qxapp::FolderOutput output;
  const bool toFolder = qxapp::FolderOutputFor(device_uri, qxapp::CurrentJob(), &output);
  if (toFolder) name = output.name.c_str();
  qxapp::ErrorRoute* route = qxapp::RouteFor(err_cb, err_data);
  if (pappl_device_t* device = original(device_uri, name, qxapp::KeepAndPass, route)) {
    if (toFolder) qxapp::t_outputFile = output.path;
    return device;
  }
  if (qxapp::t_fileFailure.empty()) qxapp::t_fileFailure = std::string("Unable to open ") + device_uri + ".";
  return original(qxapp::kFailingDevice, name, err_cb, err_data);
}

}  // extern "C"
