#include "printer_app/server_probe.h"

#include <cups/cups.h>
#include <pappl/pappl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace qxapp {
namespace {

bool Connects(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

}  // namespace

// The paths are PAPPL's: the user's own server's in the temporary folder, then the system-wide
// one (Debian's PAPPL puts it in /run; the service's unit links it to its own).
std::string FindServerSocket(const std::string& baseName, std::string* tried) {
  std::vector<std::string> paths;
  if (getuid() != 0)
    paths.push_back(std::string(papplGetTempDir()) + "/" + baseName + std::to_string(getuid()) + ".sock");
  paths.push_back("/run/" + baseName + ".sock");
  for (const std::string& path : paths) {
    if (Connects(path)) return path;
    *tried += (tried->empty() ? "" : " or ") + path;
  }
  return "";
}

bool ServerHasPrinter(const std::string& socketPath, const std::string& printerName) {
  http_t* http = httpConnect2(socketPath.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                              30000, nullptr);
  if (!http) return false;
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/ipp/print/%s",
                   printerName.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
  ippDelete(cupsDoRequest(http, request, "/ipp/print"));
  const bool found = cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
  httpClose(http);
  return found;
}

}  // namespace qxapp
