// What the app's own sub-commands (client_commands.h) share: their command line, the connection
// to the server's local socket and the few requests every one of them makes.
#pragma once

#include <cups/cups.h>

#include <memory>
#include <string>
#include <vector>

namespace qxapp {

struct ClientArgs {
  std::string printer;                                       // -d
  std::string printerUri;                                    // -u (`submit` only)
  std::string jobId;                                         // -j
  std::string copies;                                        // -n or -c
  std::string title;                                         // -t
  bool wait = false;                                         // --wait
  std::vector<std::pair<std::string, std::string>> options;  // -o NAME=VALUE, in order
  std::vector<std::string> files;
};

// Throws std::invalid_argument naming what is wrong.
ClientArgs ParseClientArgs(const std::vector<std::string>& args);

struct IppDeleter {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
using IppPtr = std::unique_ptr<ipp_t, IppDeleter>;

// Where a printer's requests go: its printer-uri and the resource on the server.
struct PrinterAddress {
  std::string name;  // what job numbers are said with: "label-3"
  std::string uri;
  std::string resource;
};

// The local server's printer of that name.
PrinterAddress LocalPrinter(const std::string& printer);

class ServerConnection {
 public:
  // Connects to the local socket; Ok() tells whether that worked.
  explicit ServerConnection(const std::string& socketPath);
  // Connects to the server of an ipp://, ipps://, http:// or https:// printer URI (encrypted for
  // ipps and https); `*printer` is its address there. Ok() is false when the URI is not one, and
  // `*printer` then empty.
  ServerConnection(const std::string& printerUri, PrinterAddress* printer);
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  bool Ok() const { return m_http != nullptr; }
  http_t* Http() const { return m_http; }
  // A request for `resource` ("/ipp/print/NAME", "/ipp/system") with its attributes-charset,
  // language and requesting-user-name; the answer, or nullptr (cupsLastErrorString() says why).
  IppPtr Send(ipp_t* request, const std::string& resource);
  // The given printer, else the server's default printer; empty when there is none.
  std::string PrinterOrDefault(const std::string& printer);
  // Get-Printer-Attributes of these attributes (a name ending in "-supported" brings its
  // "-default" too).
  IppPtr PrinterAttributes(const std::string& printer, const std::vector<std::string>& names);
  IppPtr PrinterAttributes(const PrinterAddress& printer, const std::vector<std::string>& names);

 private:
  http_t* m_http = nullptr;
};

std::string PrinterUri(const std::string& printer);
std::string PrinterResource(const std::string& printer);

// A new request addressed to the printer, from this user.
ipp_t* PrinterRequest(ipp_op_t operation, const std::string& printer);
ipp_t* PrinterRequest(ipp_op_t operation, const PrinterAddress& printer);

// The job-state keyword ("completed") of an ipp_jstate_t.
std::string JobStateName(int state);
// An attribute's values as text, joined by ", ".
std::string ValuesText(ipp_attribute_t* attr);

int RunSubmit(const std::string& baseName, const ClientArgs& args, const std::string& socketPath);

}  // namespace qxapp
