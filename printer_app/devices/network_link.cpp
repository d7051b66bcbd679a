// The way to a network printer: one TCP connection a job attempt (printer_connection.h), to a
// socket:// printer's address or to where a dnssd:// printer's service resolves at that moment.
#include <cups/cups.h>

#include <cstring>

#include "printer_app/devices/delivery_link.h"
#include "printer_app/devices/dnssd_resolve.h"
#include "printer_app/devices/printer_connection.h"

namespace qxapp {
namespace {

constexpr int kDefaultPort = 9100;

class NetworkLink : public DeliveryLink {
 public:
  NetworkLink(std::string service, std::string host, int port)
      : m_service(std::move(service)), m_host(std::move(host)), m_port(port) {}

  std::string Printer() const override {
    return "the printer at " +
           (m_service.empty() ? m_host + ":" + std::to_string(m_port) : "'" + m_service + "'");
  }

  bool Open(std::chrono::milliseconds timeout, std::string* why) override {
    m_connection.Close();
    return (m_service.empty() || ResolveDnssdService(m_service, timeout, &m_host, &m_port, why)) &&
           m_connection.Connect(m_host, m_port, timeout, why);
  }

  bool IsOpen() const override { return m_connection.IsOpen(); }

  bool Send(const uint8_t* data, size_t size, std::chrono::milliseconds stall, std::string* why) override {
    return m_connection.Send(data, size, stall, why);
  }

  bool Finish(std::chrono::milliseconds stall, std::string* why, bool* lingered) override {
    return m_connection.Finish(stall, why, lingered);
  }

  void Close() override { m_connection.Close(); }

 private:
  std::string m_service;  // a DNS-SD printer's full service name; empty for a socket:// one
  std::string m_host;
  int m_port;
  PrinterConnection m_connection;
};

}  // namespace

std::unique_ptr<DeliveryLink> MakeNetworkLink(const char* uri, std::string* why) {
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass, host,
                      sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK ||
      !*host) {
    *why = std::string("Bad network printer address '") + uri + "'.";
    return nullptr;
  }
  const bool dnssd = std::strcmp(scheme, "dnssd") == 0;
  return std::make_unique<NetworkLink>(dnssd ? host : "", dnssd ? "" : host, port > 0 ? port : kDefaultPort);
}

}  // namespace qxapp
