#include "printer_app/devices/socket_delivery.h"

#include <cups/cups.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "printer_app/devices/dnssd_resolve.h"
#include "printer_app/devices/printer_connection.h"
#include "printer_app/label_driver/job_bytes.h"
#include "printer_app/label_driver/job_thread.h"
#include "printer_app/options/printer_defaults.h"
#include "printer_app/pappl_layer/original_symbol.h"

namespace qxapp {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// PAPPL's device table knows the app's network devices by these schemes; printers keep
// socket:// and dnssd:// (a raw-socket printer found by DNS-SD, resolved at each connection).
constexpr const char* kScheme = "x-qxvn-socket";
constexpr const char* kDnssdScheme = "x-qxvn-dnssd";
constexpr int kDefaultPort = 9100;
// A connection that takes nothing this long has failed (a third of a shorter retry limit).
constexpr milliseconds kLongestStall = seconds(30);
constexpr milliseconds kFirstPause = milliseconds(500);
constexpr milliseconds kLongestPause = seconds(5);

thread_local std::string t_failure;

struct NetworkDevice {
  std::string service;  // a DNS-SD printer's full service name; empty for a socket:// one
  std::string host;
  int port = kDefaultPort;
  PrinterConnection connection;
  JobBytes sent;                                // the current job's bytes so far
  int jobId = 0;                                // whose bytes they are
  milliseconds retryLimit{0};                   // the printer's setting at the job's start
  std::optional<Clock::time_point> faultSince;  // the job's first fault
  bool discarding = false;

  std::string Address() const {
    return service.empty() ? host + ":" + std::to_string(port) : "'" + service + "'";
  }
};

std::mutex g_lock;
std::set<pappl_device_t*> g_devices;                // the app's network devices now open
std::map<pappl_printer_t*, std::string> g_waiting;  // printers waiting for their device: why

NetworkDevice* Ours(pappl_device_t* device) {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_devices.count(device) ? static_cast<NetworkDevice*>(papplDeviceGetData(device)) : nullptr;
}

void SetWaiting(pappl_job_t* job, const std::string* why) {
  if (!job) return;
  pappl_printer_t* printer = papplJobGetPrinter(job);
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (why)
      g_waiting.insert_or_assign(printer, *why);
    else if (g_waiting.erase(printer) == 0)
      return;
  }
  papplSystemAddEvent(papplPrinterGetSystem(printer), printer, nullptr, PAPPL_EVENT_PRINTER_STATE_CHANGED,
                      nullptr);
}

milliseconds RetryLimit(pappl_job_t* job) {
  int limit = kDefaultRetryLimitSeconds;
  if (job) {
    std::unique_ptr<ipp_t, decltype(&ippDelete)> attrs(
        papplPrinterGetDriverAttributes(papplJobGetPrinter(job)), ippDelete);
    const std::string value = VendorDefault(attrs.get(), kRetryLimitAttribute);
    if (!value.empty()) limit = std::max(1, std::atoi(value.c_str()));
  }
  return seconds(limit);
}

milliseconds StallTime(milliseconds limit) {
  return std::clamp(limit / 3, milliseconds(1000), kLongestStall);
}

std::string Span(milliseconds span) {
  const long long s = std::chrono::duration_cast<seconds>(span).count();
  return s >= 120 && s % 60 == 0 ? std::to_string(s / 60) + " min" : std::to_string(s) + " s";
}

// A job still waiting when the app stops stays unfinished: it prints again after the restart.
bool Stopping(pappl_job_t* job) { return job && papplJobIsCanceled(job); }

// Waits `pause`, or less when the job is cancelled meanwhile.
void Pause(pappl_job_t* job, milliseconds pause) {
  const Clock::time_point until = Clock::now() + pause;
  while (Clock::now() < until && !Stopping(job))
    std::this_thread::sleep_for(std::min<Clock::duration>(milliseconds(100), until - Clock::now()));
}

// A fresh connection carrying every byte of the job so far; retried after each fault until the
// retry limit, counted from the job's first fault. `why` is the fault that led here, if any.
bool Reconnect(NetworkDevice& device, std::string why) {
  pappl_job_t* job = CurrentJob();
  const milliseconds limit = device.retryLimit;
  const milliseconds stall = StallTime(limit);
  milliseconds pause = kFirstPause;
  for (;;) {
    if (!why.empty()) {
      const bool first = !device.faultSince;
      if (first) device.faultSince = Clock::now();
      const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - *device.faultSince);
      if (waited >= limit || Stopping(job)) {
        t_failure = Stopping(job) ? "cancelled while waiting for the printer at " + device.Address()
                                  : "the printer at " + device.Address() + " did not take the job within " +
                                        Span(limit) + ": " + why;
        if (job) papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Giving up: %s.", t_failure.c_str());
        SetWaiting(job, nullptr);
        return false;
      }
      const std::string waiting = "Waiting for the printer at " + device.Address() + " (" + why + ")";
      if (job) {
        papplLogJob(job, first ? PAPPL_LOGLEVEL_WARN : PAPPL_LOGLEVEL_DEBUG,
                    "%s; sending the job again from its start.", waiting.c_str());
        papplJobSetMessage(job, "%s; the job prints from its start once it answers (for up to %s).",
                           waiting.c_str(), Span(limit).c_str());
      }
      SetWaiting(job, &waiting);
      Pause(job, std::min(pause, limit - waited));
      pause = std::min(pause * 2, kLongestPause);
    }
    device.connection.Close();
    if ((device.service.empty() ||
         ResolveDnssdService(device.service, stall, &device.host, &device.port, &why)) &&
        device.connection.Connect(device.host, device.port, stall, &why) &&
        device.sent.Replay(
            [&](const uint8_t* data, size_t size) { return device.connection.Send(data, size, stall, &why); },
            &why)) {
      if (device.faultSince && job) {
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "The printer at %s answers again.", device.Address().c_str());
        papplJobSetMessage(job, "Printing again from the start: the printer answers again.");
      }
      SetWaiting(job, nullptr);
      return true;
    }
    if (why.empty()) why = "the connection failed";
  }
}

void ForgetJob(NetworkDevice& device) {
  device.connection.Close();
  device.sent.Clear();
  device.faultSince.reset();
  device.jobId = 0;
  device.retryLimit = milliseconds(0);
}

bool OpenDevice(pappl_device_t* device, const char* uri, const char*) {
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass, host,
                      sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK ||
      !*host) {
    papplDeviceError(device, "Bad network printer address '%s'.", uri);
    return false;
  }
  auto data = std::make_unique<NetworkDevice>();
  if (std::strcmp(scheme, kDnssdScheme) == 0)
    data->service = host;
  else
    data->host = host;
  data->port = port > 0 ? port : kDefaultPort;
  papplDeviceSetData(device, data.release());
  std::lock_guard<std::mutex> hold(g_lock);
  g_devices.insert(device);
  return true;
}

void CloseDevice(pappl_device_t* device) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_devices.erase(device);
  }
  delete static_cast<NetworkDevice*>(papplDeviceGetData(device));
}

ssize_t ReadDevice(pappl_device_t*, void*, size_t) { return 0; }

// The connection is made at a job's first byte, so a printer that is off fails no open and
// holds no queue: the job itself waits, with the reason.
ssize_t WriteDevice(pappl_device_t* pappl, const void* buffer, size_t bytes) {
  auto* device = static_cast<NetworkDevice*>(papplDeviceGetData(pappl));
  pappl_job_t* job = CurrentJob();
  // Bytes left in the device's buffer by a job that ended unprinted go nowhere.
  if (device->discarding || (job && papplJobGetState(job) != IPP_JSTATE_PROCESSING))
    return static_cast<ssize_t>(bytes);
  const int jobId = job ? papplJobGetID(job) : 0;
  if (device->jobId != jobId || device->retryLimit.count() == 0) {
    ForgetJob(*device);
    device->jobId = jobId;
    device->retryLimit = RetryLimit(job);
  }
  t_failure.clear();
  if (!device->sent.Append(buffer, bytes, &t_failure)) return -1;
  std::string why;
  if (device->connection.IsOpen()) {
    if (device->connection.Send(static_cast<const uint8_t*>(buffer), bytes, StallTime(device->retryLimit),
                                &why))
      return static_cast<ssize_t>(bytes);
  }
  return Reconnect(*device, why) ? static_cast<ssize_t>(bytes) : -1;
}

}  // namespace

void RegisterSocketDelivery() {
  // PAPPL adds its own schemes when its table is first used, and only when it is still empty.
  papplDeviceIsSupported("socket://localhost");
  papplDeviceAddScheme(kScheme, PAPPL_DEVTYPE_SOCKET, nullptr, OpenDevice, CloseDevice, ReadDevice,
                       WriteDevice, nullptr, nullptr);
  papplDeviceAddScheme(kDnssdScheme, PAPPL_DEVTYPE_DNS_SD, nullptr, OpenDevice, CloseDevice, ReadDevice,
                       WriteDevice, nullptr, nullptr);
}

std::string SocketDeliveryUri(const char* uri) {
  constexpr const char kSocket[] = "socket://";
  constexpr const char kDnssd[] = "dnssd://";
  if (uri && std::strncmp(uri, kSocket, sizeof kSocket - 1) == 0)
    return std::string(kScheme) + "://" + (uri + sizeof kSocket - 1);
  if (uri && std::strncmp(uri, kDnssd, sizeof kDnssd - 1) == 0)
    return std::string(kDnssdScheme) + "://" + (uri + sizeof kDnssd - 1);
  return {};
}

bool FinishDelivery(pappl_device_t* pappl) {
  NetworkDevice* device = Ours(pappl);
  if (!device) return true;
  t_failure.clear();
  papplDeviceFlush(pappl);
  if (!t_failure.empty()) {
    ForgetJob(*device);
    return false;
  }
  const milliseconds stall = StallTime(device->retryLimit);
  bool delivered = device->sent.Size() == 0;
  while (!delivered) {
    std::string why;
    bool lingered = false;
    if (device->connection.IsOpen() && device->connection.Finish(stall, &why, &lingered)) {
      if (lingered && CurrentJob())
        papplLogJob(CurrentJob(), PAPPL_LOGLEVEL_WARN,
                    "The printer at %s took every byte but kept the connection open.",
                    device->Address().c_str());
      delivered = true;
      if (device->faultSince && CurrentJob())
        papplJobSetMessage(CurrentJob(), "Printed from its start again once the printer at %s answered.",
                           device->Address().c_str());
    } else if (!Reconnect(*device, why.empty() ? "the connection was closed" : why)) {
      break;
    }
  }
  ForgetJob(*device);
  return delivered;
}

void AbandonDelivery(pappl_device_t* pappl) {
  NetworkDevice* device = Ours(pappl);
  if (!device) return;
  device->discarding = true;
  papplDeviceFlush(pappl);
  device->discarding = false;
  ForgetJob(*device);
  SetWaiting(CurrentJob(), nullptr);
}

std::string LastDeliveryFailure() { return t_failure; }

void AddDeliveryAttributes(pappl_pr_driver_data_t* data, ipp_t* attrs) {
  data->vendor[data->num_vendor++] = kRetryLimitAttribute;
  const std::string name = kRetryLimitAttribute;
  ippAddRange(attrs, IPP_TAG_PRINTER, (name + "-supported").c_str(), 1, 86400);
  ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, (name + "-default").c_str(),
                kDefaultRetryLimitSeconds);
}

}  // namespace qxapp

extern "C" {

// A printer waiting for its network device says so in its state: connecting-to-device and
// offline-report among its printer-state-reasons (not "paused": its queue is not stopped), and
// the reason as its printer-state-message.
__attribute__((visibility("default"))) void _papplPrinterCopyStateNoLock(pappl_printer_t* printer,
                                                                         ipp_tag_t group_tag, ipp_t* ipp,
                                                                         pappl_client_t* client,
                                                                         cups_array_t* ra) {
  using Fn = void (*)(pappl_printer_t*, ipp_tag_t, ipp_t*, pappl_client_t*, cups_array_t*);
  static const Fn original = qxapp::Original<Fn>("_papplPrinterCopyStateNoLock");
  original(printer, group_tag, ipp, client, ra);
  std::string why;
  {
    std::lock_guard<std::mutex> hold(qxapp::g_lock);
    auto waiting = qxapp::g_waiting.find(printer);
    if (waiting == qxapp::g_waiting.end()) return;
    why = waiting->second;
  }
  // This printer's attributes are the last ones added.
  ipp_attribute_t *reasons = nullptr, *message = nullptr;
  for (ipp_attribute_t* attr = ippFirstAttribute(ipp); attr; attr = ippNextAttribute(ipp)) {
    const char* name = ippGetName(attr);
    if (!name) continue;
    if (std::strcmp(name, "printer-state-reasons") == 0) reasons = attr;
    if (std::strcmp(name, "printer-state-message") == 0) message = attr;
  }
  if (message) ippSetString(ipp, &message, 0, why.c_str());
  if (!reasons) return;
  for (int i = ippGetCount(reasons) - 1; i >= 0; --i) {
    const char* value = ippGetString(reasons, i, nullptr);
    if (value && (std::strcmp(value, "none") == 0 || std::strcmp(value, "paused") == 0))
      ippDeleteValues(ipp, &reasons, i, 1);
  }
  if (!reasons) {
    reasons = ippAddString(ipp, group_tag, IPP_CONST_TAG(IPP_TAG_KEYWORD), "printer-state-reasons", nullptr,
                           "connecting-to-device");
  } else {
    ippSetString(ipp, &reasons, ippGetCount(reasons), "connecting-to-device");
  }
  ippSetString(ipp, &reasons, ippGetCount(reasons), "offline-report");
}

}  // extern "C"
