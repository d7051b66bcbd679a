#include "printer_app/devices/device_delivery.h"

#include <cups/cups.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "printer_app/devices/delivery_link.h"
#include "printer_app/label_driver/job_bytes.h"
#include "printer_app/label_driver/job_thread.h"
#include "printer_app/options/printer_defaults.h"

namespace qxapp {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

// PAPPL's device table knows the app's devices by their own schemes; printers keep theirs.
struct DeliveryScheme {
  const char* printerScheme;
  const char* ownScheme;
  pappl_devtype_t type;
  std::unique_ptr<DeliveryLink> (*makeLink)(const char* uri, std::string* why);
};
constexpr DeliveryScheme kSchemes[] = {
    {"socket", "x-qxvn-socket", PAPPL_DEVTYPE_SOCKET, MakeNetworkLink},
    // A raw-socket printer found by DNS-SD, resolved at each connection.
    {"dnssd", "x-qxvn-dnssd", PAPPL_DEVTYPE_DNS_SD, MakeNetworkLink},
    {"usb", "x-qxvn-usb", PAPPL_DEVTYPE_USB, MakeUsbLink},
};

// The rest of `uri` after "SCHEME://", or nullptr when it has another scheme.
const char* AfterScheme(const char* uri, const char* scheme) {
  const size_t length = std::strlen(scheme);
  if (!uri || std::strncmp(uri, scheme, length) != 0 || std::strncmp(uri + length, "://", 3) != 0)
    return nullptr;
  return uri + length + 3;
}

// A way that takes nothing this long has failed (a third of a shorter retry limit).
constexpr milliseconds kLongestStall = seconds(30);
constexpr milliseconds kFirstPause = milliseconds(500);
constexpr milliseconds kLongestPause = seconds(5);

// Per thread: a write PAPPL makes for the job returns only -1, and the job code that tells the
// reason gets no device from PAPPL, so the reason of the job thread's last failure is kept here.
thread_local std::string t_failure;

struct RetryingDevice {
  std::unique_ptr<DeliveryLink> link;
  JobBytes sent;                                // the current job's bytes so far
  int jobId = 0;                                // whose bytes they are
  milliseconds retryLimit{0};                   // the printer's setting at the job's start
  std::optional<Clock::time_point> faultSince;  // the job's first fault
  bool discarding = false;
};

std::mutex g_lock;
std::set<pappl_device_t*> g_devices;                // the app's devices now open
std::map<pappl_printer_t*, std::string> g_waiting;  // printers waiting for their device: why

RetryingDevice* Ours(pappl_device_t* device) {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_devices.count(device) ? static_cast<RetryingDevice*>(papplDeviceGetData(device)) : nullptr;
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

std::string Capitalized(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

// A job still waiting when the app stops stays unfinished: it prints again after the restart.
bool Stopping(pappl_job_t* job) { return job && papplJobIsCanceled(job); }

// Waits `pause`, or less when the job is cancelled meanwhile.
void Pause(pappl_job_t* job, milliseconds pause) {
  const Clock::time_point until = Clock::now() + pause;
  while (Clock::now() < until && !Stopping(job))
    std::this_thread::sleep_for(std::min<Clock::duration>(milliseconds(100), until - Clock::now()));
}

// A fresh way to the printer carrying every byte of the job so far; retried after each fault
// until the retry limit, counted from the job's first fault. `why` is the fault that led here,
// if any.
bool Reconnect(RetryingDevice& device, std::string why) {
  pappl_job_t* job = CurrentJob();
  DeliveryLink& link = *device.link;
  const milliseconds limit = device.retryLimit;
  const milliseconds stall = StallTime(limit);
  milliseconds pause = kFirstPause;
  for (;;) {
    if (!why.empty()) {
      link.Close();
      const bool first = !device.faultSince;
      if (first) device.faultSince = Clock::now();
      const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - *device.faultSince);
      if (waited >= limit || Stopping(job)) {
        t_failure = Stopping(job)
                        ? "cancelled while waiting for " + link.Printer()
                        : link.Printer() + " did not take the job within " + Span(limit) + ": " + why;
        if (job) papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Giving up: %s.", t_failure.c_str());
        SetWaiting(job, nullptr);
        return false;
      }
      const std::string waiting = "Waiting for " + link.Printer() + " (" + why + ")";
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
    why.clear();
    if (link.Open(stall, &why) &&
        device.sent.Replay(
            [&](const uint8_t* data, size_t size) { return link.Send(data, size, stall, &why); }, &why)) {
      if (device.faultSince && job) {
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "%s answers again.", Capitalized(link.Printer()).c_str());
        papplJobSetMessage(job, "Printing again from the start: the printer answers again.");
      }
      SetWaiting(job, nullptr);
      return true;
    }
    if (why.empty()) why = "the connection failed";
  }
}

void ForgetJob(RetryingDevice& device) {
  device.link->Close();
  device.sent.Clear();
  device.faultSince.reset();
  device.jobId = 0;
  device.retryLimit = milliseconds(0);
}

bool OpenDevice(pappl_device_t* device, const char* uri, const char*) {
  std::string why = "not a device of the app's own";
  std::unique_ptr<DeliveryLink> link;
  for (const DeliveryScheme& scheme : kSchemes) {
    if (const char* rest = AfterScheme(uri, scheme.ownScheme)) {
      link = scheme.makeLink((std::string(scheme.printerScheme) + "://" + rest).c_str(), &why);
      break;
    }
  }
  if (!link) {
    papplDeviceError(device, "%s", why.c_str());
    return false;
  }
  auto data = std::make_unique<RetryingDevice>();
  data->link = std::move(link);
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
  delete static_cast<RetryingDevice*>(papplDeviceGetData(device));
}

ssize_t ReadDevice(pappl_device_t*, void*, size_t) { return 0; }

char* DeviceIdOf(pappl_device_t* device, char* buffer, size_t size) {
  const std::string id = static_cast<RetryingDevice*>(papplDeviceGetData(device))->link->DeviceId();
  if (id.empty() || size == 0) return nullptr;
  std::snprintf(buffer, size, "%s", id.c_str());
  return buffer;
}

// The way to the printer is opened at a job's first byte, so a printer that is off or
// unplugged fails no open and holds no queue: the job itself waits, with the reason.
ssize_t WriteDevice(pappl_device_t* pappl, const void* buffer, size_t bytes) {
  auto* device = static_cast<RetryingDevice*>(papplDeviceGetData(pappl));
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
  if (device->link->IsOpen() &&
      device->link->Send(static_cast<const uint8_t*>(buffer), bytes, StallTime(device->retryLimit), &why))
    return static_cast<ssize_t>(bytes);
  return Reconnect(*device, why) ? static_cast<ssize_t>(bytes) : -1;
}

}  // namespace

void RegisterDeliveryDevices() {
  // PAPPL adds its own schemes when its table is first used, and only when it is still empty.
  papplDeviceIsSupported("socket://localhost");
  for (const DeliveryScheme& scheme : kSchemes)
    papplDeviceAddScheme(scheme.ownScheme, scheme.type, nullptr, OpenDevice, CloseDevice, ReadDevice,
                         WriteDevice, nullptr, DeviceIdOf);
}

std::string DeliveryDeviceUri(const char* uri) {
  for (const DeliveryScheme& scheme : kSchemes)
    if (const char* rest = AfterScheme(uri, scheme.printerScheme))
      return std::string(scheme.ownScheme) + "://" + rest;
  return {};
}

bool FinishDelivery(pappl_device_t* pappl) {
  RetryingDevice* device = Ours(pappl);
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
    if (device->link->IsOpen() && device->link->Finish(stall, &why, &lingered)) {
      if (lingered && CurrentJob())
        papplLogJob(CurrentJob(), PAPPL_LOGLEVEL_WARN, "%s took every byte but kept the connection open.",
                    Capitalized(device->link->Printer()).c_str());
      delivered = true;
      if (device->faultSince && CurrentJob())
        papplJobSetMessage(CurrentJob(), "Printed from its start again once %s answered.",
                           device->link->Printer().c_str());
    } else if (!Reconnect(*device, why.empty() ? "the connection was closed" : why)) {
      break;
    }
  }
  ForgetJob(*device);
  return delivered;
}

void AbandonDelivery(pappl_device_t* pappl) {
  RetryingDevice* device = Ours(pappl);
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

void AddWaitingForDevice(pappl_printer_t* printer, ipp_tag_t groupTag, ipp_t* ipp) {
  std::string why;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    auto waiting = g_waiting.find(printer);
    if (waiting == g_waiting.end()) return;
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
    reasons = ippAddString(ipp, groupTag, IPP_CONST_TAG(IPP_TAG_KEYWORD), "printer-state-reasons", nullptr,
                           "connecting-to-device");
  } else {
    ippSetString(ipp, &reasons, ippGetCount(reasons), "connecting-to-device");
  }
  ippSetString(ipp, &reasons, ippGetCount(reasons), "offline-report");
}

}  // namespace qxapp
