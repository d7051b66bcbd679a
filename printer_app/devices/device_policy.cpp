#include "printer_app/devices/device_policy.h"

#include <cups/cups.h>
#include <pappl/pappl.h>
#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "printer_app/state/new_printer_id.h"

namespace qxapp {
namespace {

std::mutex g_foldersLock;
std::vector<std::string> g_folders;

// The path with every link of its existing part resolved; the part that does not exist yet
// (a file a job will create) is kept as written. Empty when the path is not absolute.
std::string ResolvedPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return "";
  std::string existing = path;
  std::string rest;
  while (true) {
    if (char* real = realpath(existing.c_str(), nullptr)) {
      std::string resolved = real;
      free(real);
      if (rest.empty()) return resolved;
      return resolved == "/" ? "/" + rest : resolved + "/" + rest;
    }
    const size_t slash = existing.find_last_of('/');
    if (slash == std::string::npos) return "";
    const std::string last = existing.substr(slash + 1);
    // ".." of a folder that does not exist cannot be resolved safely.
    if (last == "..") return "";
    if (!last.empty() && last != ".") rest = rest.empty() ? last : last + "/" + rest;
    existing = slash == 0 ? "/" : existing.substr(0, slash);
  }
}

bool Inside(const std::string& path, const std::string& folder) {
  if (folder == "/") return true;
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            path[folder.size()] == '/');
}

std::string FolderList(const std::vector<std::string>& folders) {
  std::string list;
  for (const std::string& folder : folders) list += (list.empty() ? "" : ", ") + folder;
  return list.empty() ? "none" : list;
}

bool PathAllowed(const std::string& path, const std::vector<std::string>& allowedFolders, std::string* why) {
  const std::string resolved = ResolvedPath(path);
  for (const std::string& folder : allowedFolders) {
    const std::string allowed = ResolvedPath(folder);
    if (!resolved.empty() && !allowed.empty() && Inside(resolved, allowed)) return true;
  }
  *why = "file:// devices may only write inside the allowed folders (" + FolderList(allowedFolders) +
         "; --allowed-folder adds one), links resolved";
  return false;
}

std::vector<std::string> FoldersSet() {
  std::lock_guard<std::mutex> hold(g_foldersLock);
  return g_folders;
}

}  // namespace

bool DeviceAllowed(const std::string& uri, const std::vector<std::string>& allowedFolders, std::string* why) {
  if (uri.compare(0, 5, "file:") != 0) return true;
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  std::string path;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, userpass, sizeof userpass,
                      host, sizeof host, &port, resource, sizeof resource) >= HTTP_URI_STATUS_OK) {
    path = resource;
    path = path.substr(0, path.find('?'));  // PAPPL's options (ext=) follow the path
  }
  return PathAllowed(path, allowedFolders, why);
}

void SetAllowedFolders(std::vector<std::string> folders) {
  std::lock_guard<std::mutex> hold(g_foldersLock);
  g_folders = std::move(folders);
}

bool DeviceAllowedHere(const std::string& uri, std::string* why) {
  return DeviceAllowed(uri, FoldersSet(), why);
}

bool PathAllowedHere(const std::string& path, std::string* why) {
  return PathAllowed(path, FoldersSet(), why);
}

namespace {
// Why the last printer this thread tried to add was refused, for the web form's message.
thread_local std::string t_refusal;
}  // namespace

// Printers restored from the saved state are kept, so that nothing saved is lost: their jobs
// are refused when they open the device (device_guard.cpp) until the folder is allowed.
pappl_printer_t* CreateAllowedPrinter(pappl_system_t* system, int printer_id, const char* printer_name,
                                      const char* driver_name, const char* device_id,
                                      const char* device_uri) {
  std::string why;
  t_refusal.clear();
  if (device_uri && !DeviceAllowedHere(device_uri, &why)) {
    if (printer_id > 0) {
      papplLog(system, PAPPL_LOGLEVEL_ERROR, "Printer '%s' (%s): %s; its jobs are refused until it is.",
               printer_name ? printer_name : "", device_uri, why.c_str());
    } else {
      papplLog(system, PAPPL_LOGLEVEL_ERROR, "Not adding printer '%s' (%s): %s.",
               printer_name ? printer_name : "", device_uri, why.c_str());
      t_refusal = "Not added: " + why + ".";
      errno = EACCES;
      return nullptr;
    }
  }
  return CreatePrinterWithItsId(system, printer_id, printer_name, driver_name, device_id, device_uri);
}

bool RefusedCreatePrinter(pappl_client_t* client) {
  if (papplClientGetOperation(client) != IPP_OP_CREATE_PRINTER ||
      papplClientIsAuthorized(client) != HTTP_STATUS_CONTINUE)
    return false;
  ipp_attribute_t* attr =
      ippFindAttribute(papplClientGetRequest(client), "smi55357-device-uri", IPP_TAG_ZERO);
  const char* uri = attr ? ippGetString(attr, 0, nullptr) : nullptr;
  std::string why;
  if (!uri || DeviceAllowedHere(uri, &why)) return false;
  papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "Create-Printer of %s refused: %s.", uri, why.c_str());
  papplClientRespondIPP(client, IPP_STATUS_ERROR_NOT_POSSIBLE, "%s.", why.c_str());
  return true;
}

const char* RefusalInPlaceOf(const char* text) {
  if (!t_refusal.empty() && text && std::strcmp(text, std::strerror(EACCES)) == 0) return t_refusal.c_str();
  return nullptr;
}

}  // namespace qxapp
