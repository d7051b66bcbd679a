#include "printer_app/cli/server_probe.h"

#include <cups/cups.h>
#include <dirent.h>
#include <pappl/pappl.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "printer_app/cli/control_socket.h"

namespace qxapp {
namespace {

// The sockets of instances with a state folder of their own ("NAME@...sock").
std::vector<std::string> InstanceSockets(const std::string& folder, const std::string& baseName) {
  std::vector<std::string> paths;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return paths;
  const std::string prefix = baseName + "@", suffix = ".sock";
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      paths.push_back(folder + "/" + name);
  }
  closedir(dir);
  std::sort(paths.begin(), paths.end());
  return paths;
}

// Whether a trusted server answers on `path`; an untrusted one is reported in `problem`.
bool Answers(const std::string& path, std::string* problem) {
  const int fd = ConnectToServer(path, problem);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace

ServerSocket FindServerSocket(const std::string& baseName, const std::string& stateDir,
                              const std::string& defaultStateDir) {
  ServerSocket found;
  const std::string name =
      SocketName(baseName, stateDir.empty() ? defaultStateDir : stateDir, defaultStateDir);
  const std::vector<std::string> folders = ClientSocketFolders();
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + name;
    if (Answers(path, &found.problem)) {
      found.path = path;
      return found;
    }
    if (!found.problem.empty()) return found;
    found.tried += (found.tried.empty() ? "" : " or ") + path;
  }
  if (!stateDir.empty()) return found;
  // No --state and no server of the default state folder: the one other instance, if only one runs.
  std::vector<std::string> running;
  for (const std::string& folder : folders)
    for (const std::string& path : InstanceSockets(folder, baseName)) {
      std::string problem;
      if (Answers(path, &problem)) running.push_back(path);
    }
  if (running.size() == 1) {
    found.path = running.front();
  } else if (running.size() > 1) {
    found.problem = "several servers run (";
    for (size_t i = 0; i < running.size(); ++i) found.problem += (i ? ", " : "") + running[i];
    found.problem += "): choose one with --state DIR, its state folder";
  }
  return found;
}

bool ServerHasPrinter(const std::string& socketPath, const std::string& printerName) {
  http_t* http = httpConnect2(socketPath.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                              30000, nullptr);
  if (!http) return false;
  if (!UntrustedPeer(socketPath, httpGetFd(http)).empty()) {
    httpClose(http);
    return false;
  }
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
