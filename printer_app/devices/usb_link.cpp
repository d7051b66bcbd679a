// The way to a USB printer: PAPPL's own USB device, opened by the printer's URI for each job
// attempt. PAPPL finds the printer by that URI among the connected ones, so a printer unplugged
// and plugged in again (on another port or bus address) is found again; while it is away the
// open fails and the job waits.
#include <pappl/pappl.h>

#include "printer_app/devices/delivery_link.h"
#include "printer_app/pappl_layer/original_symbol.h"

namespace qxapp {
namespace {

class UsbLink : public DeliveryLink {
 public:
  explicit UsbLink(std::string uri) : m_uri(std::move(uri)) {}
  ~UsbLink() override { Close(); }

  std::string Printer() const override { return "the USB printer " + m_uri; }

  bool Open(std::chrono::milliseconds, std::string* why) override {
    // The library's own open: the app's (device_guard.h) hands usb:// to the app's device.
    using Fn = pappl_device_t* (*)(const char*, const char*, pappl_deverror_cb_t, void*);
    static const Fn libraryOpen = Original<Fn>("papplDeviceOpen");
    Close();
    m_error.clear();
    m_device = libraryOpen(m_uri.c_str(), "usb", KeepError, this);
    if (!m_device) *why = m_error.empty() ? "it is not connected, or cannot be opened" : m_error;
    return m_device != nullptr;
  }

  bool IsOpen() const override { return m_device != nullptr; }

  // Written through at once: a printer gone is seen at the write that fails, never later in a
  // buffer. The device's count of bytes written tells, whatever it reported.
  bool Send(const uint8_t* data, size_t size, std::chrono::milliseconds, std::string* why) override {
    if (!m_device) {
      *why = "not connected";
      return false;
    }
    pappl_devmetrics_t before, after;
    papplDeviceGetMetrics(m_device, &before);
    m_error.clear();
    const ssize_t wrote = papplDeviceWrite(m_device, data, size);
    papplDeviceFlush(m_device);
    papplDeviceGetMetrics(m_device, &after);
    if (wrote == static_cast<ssize_t>(size) && after.write_bytes - before.write_bytes == size) return true;
    *why = m_error.empty() ? "the USB write failed" : m_error;
    return false;
  }

  // Every byte was taken by its write: the printer acknowledges each USB transfer.
  bool Finish(std::chrono::milliseconds, std::string*, bool* lingered) override {
    *lingered = false;
    Close();
    return true;
  }

  // Asked on the open device, or on one opened for the question (PAPPL asks when a printer is
  // added without an ID).
  std::string DeviceId() override {
    const bool opened = !m_device;
    std::string why;
    if (opened && !Open(std::chrono::seconds(5), &why)) return {};
    char id[1024];
    const char* got = papplDeviceGetID(m_device, id, sizeof id);
    if (opened) Close();
    return got ? got : "";
  }

  void Close() override {
    if (!m_device) return;
    papplDeviceClose(m_device);
    m_device = nullptr;
  }

 private:
  static void KeepError(const char* message, void* data) {
    static_cast<UsbLink*>(data)->m_error = message ? message : "";
  }

  std::string m_uri;
  pappl_device_t* m_device = nullptr;
  std::string m_error;  // what PAPPL's device last reported
};

}  // namespace

std::unique_ptr<DeliveryLink> MakeUsbLink(const char* uri, std::string*) {
  return std::make_unique<UsbLink>(uri);
}

}  // namespace qxapp
