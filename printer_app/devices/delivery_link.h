// One way to a printer that carries a job: a TCP connection to a network printer, PAPPL's own
// USB device for a USB one. The retrying device (device_delivery.h) opens it afresh for each
// attempt at a job and drops it when the attempt fails, so that no job inherits a dead one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qxapp {

class DeliveryLink {
 public:
  virtual ~DeliveryLink() = default;
  // The printer as messages name it: "the printer at 10.0.0.5:9100".
  virtual std::string Printer() const = 0;
  // Opens a fresh way to the printer, within `timeout` where the way has one; false with the
  // reason ("Connection refused", "it is not connected").
  virtual bool Open(std::chrono::milliseconds timeout, std::string* why) = 0;
  virtual bool IsOpen() const = 0;
  // Sends every byte; false with the reason when the printer fails or takes nothing for `stall`.
  virtual bool Send(const uint8_t* data, size_t size, std::chrono::milliseconds stall, std::string* why) = 0;
  // The end of the job: true once the printer has every byte (`*lingered` when it has them but
  // did not say it was done). Closes the way either way.
  virtual bool Finish(std::chrono::milliseconds stall, std::string* why, bool* lingered) = 0;
  // Drops the way at once; what it still held is lost.
  virtual void Close() = 0;
  // The printer's IEEE 1284 device ID, asked of it; empty when the way has none.
  virtual std::string DeviceId() { return {}; }
};

// The links for the printers' own device URIs; nullptr with the reason for a bad URI.
std::unique_ptr<DeliveryLink> MakeNetworkLink(const char* uri, std::string* why);  // socket://, dnssd://
std::unique_ptr<DeliveryLink> MakeUsbLink(const char* uri, std::string* why);      // usb://

}  // namespace qxapp
