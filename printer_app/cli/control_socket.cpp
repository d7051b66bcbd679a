#include "printer_app/cli/control_socket.h"

#include <cups/cups.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace qxapp {
namespace {

// The package's service runs as this account (packaging/qxvn-printer-app.service).
constexpr const char* kServiceAccount = "qxvn-printer-app";

std::mutex g_usedMutex;
std::string g_used;

std::string AccountName(uid_t uid) {
  char buffer[4096];
  passwd entry{}, *found = nullptr;
  if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return "";
  return found->pw_name;
}

// Why `folder` is not a folder only `uid` may use; empty when it is.
std::string NotPrivate(const std::string& folder, uid_t uid) {
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0) return folder + ": " + std::strerror(errno);
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
  if (!S_ISDIR(info.st_mode)) return folder + " is not a folder";
  if (info.st_uid != uid || (info.st_mode & 077) != 0)
    return folder + " is not a private folder of yours (owner uid " + std::to_string(info.st_uid) +
           ", mode " + mode + "); remove it, or set XDG_RUNTIME_DIR to a folder of your own";
  return "";
}

bool SocketAddress(const std::string& path, sockaddr_un* address) {
  *address = sockaddr_un{};
  if (path.size() >= sizeof address->sun_path) return false;
  address->sun_family = AF_UNIX;
  std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
  return true;
}

std::string Canonical(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::weakly_canonical(folder, error);
  return error ? std::filesystem::path(folder).lexically_normal().string() : path.string();
}

}  // namespace

std::string PrivateTempFolder(uid_t uid) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/qxvn-printer-app-" + std::to_string(uid);
}

std::vector<std::string> ClientSocketFolders() {
  std::vector<std::string> folders;
  if (getuid() != 0) {
    std::string problem;
    const std::string own = SocketFolder(getuid(), false, &problem);
    if (!own.empty()) folders.push_back(own);
    // A server started where XDG_RUNTIME_DIR was not set uses the other folder.
    const std::string temp = PrivateTempFolder(getuid());
    if (own != temp && NotPrivate(temp, getuid()).empty()) folders.push_back(temp);
  }
  folders.push_back("/run");
  return folders;
}

std::string SocketFolder(uid_t uid, bool create, std::string* problem) {
  if (uid == 0) return "/run";
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
    if (NotPrivate(runtime, uid).empty()) return runtime;
  }
  const std::string folder = PrivateTempFolder(uid);
  if (create && mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    *problem = "cannot make " + folder + ": " + std::strerror(errno);
    return "";
  }
  *problem = NotPrivate(folder, uid);
  return problem->empty() ? folder : "";
}

std::string SocketName(const std::string& baseName, const std::string& stateDir,
                       const std::string& defaultStateDir) {
  const std::string state = Canonical(stateDir);
  if (defaultStateDir.empty() || state == Canonical(defaultStateDir)) return baseName + ".sock";
  // The folder's own name, readable, and a hash of its whole path, which tells apart folders
  // of one name.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : state) hash = (hash ^ c) * 1099511628211ull;
  std::string name = std::filesystem::path(state).filename().string().substr(0, 24);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') c = '_';
  char hex[17];
  std::snprintf(hex, sizeof hex, "%012llx", static_cast<unsigned long long>(hash & 0xffffffffffffull));
  return baseName + "@" + name + "-" + hex + ".sock";
}

std::string ClaimSocket(const std::string& path) {
  sockaddr_un address{};
  if (!SocketAddress(path, &address)) return path + ": the path is too long for a local socket";
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode)) return path + " exists and is not a socket";
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool answers =
        probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (probe >= 0) close(probe);
    if (answers)
      return path + " is taken: another server answers there (stop it, or give this one another --state)";
    // Left by a server that ended without removing it.
    if (unlink(path.c_str()) != 0)
      return "cannot remove the old socket " + path + ": " + std::strerror(errno);
  }
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::string("cannot make a local socket: ") + std::strerror(errno);
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  const int error = errno;
  close(fd);
  if (!bound) return "cannot listen on " + path + ": " + std::strerror(error);
  unlink(path.c_str());  // PAPPL makes its listener there
  return "";
}

std::string UntrustedPeer(const std::string& path, int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
    return path + ": cannot tell who serves it (" + std::strerror(errno) + "); nothing was sent to it";
  if (IsTrustedServer(peer.uid)) return "";
  const std::string name = AccountName(peer.uid);
  return path + " is served by uid " + std::to_string(peer.uid) + (name.empty() ? "" : " (" + name + ")") +
         ", neither you nor root: nothing was sent to it";
}

bool IsTrustedServer(uid_t uid) {
  if (uid == 0 || uid == getuid()) return true;
  char buffer[4096];
  passwd entry{}, *found = nullptr;
  return getpwnam_r(kServiceAccount, &entry, buffer, sizeof buffer, &found) == 0 && found &&
         found->pw_uid == uid;
}

int ConnectToServer(const std::string& path, std::string* problem) {
  sockaddr_un address{};
  if (!SocketAddress(path, &address)) return -1;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  if (std::string why = UntrustedPeer(path, fd); !why.empty()) {
    *problem = why;
    close(fd);
    return -1;
  }
  return fd;
}

void UseSocket(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_usedMutex);
  g_used = path;
}

std::string UsedSocket() {
  std::lock_guard<std::mutex> lock(g_usedMutex);
  return g_used;
}

char* ServerSocketPath(const char* baseName, uid_t uid, char* buffer, size_t bufsize) {
  std::string path = UsedSocket();
  if (path.empty()) {
    std::string problem;
    const std::string folder = SocketFolder(uid, false, &problem);
    path = folder.empty() ? "" : folder + "/" + std::string(baseName ? baseName : "") + ".sock";
  }
  if (buffer && bufsize > 0) std::snprintf(buffer, bufsize, "%s", path.c_str());
  return buffer;
}

http_t* ConnectToUsedSocket(const char* baseName) {
  const std::string path = UsedSocket();
  const char* name = baseName ? baseName : "";
  if (path.empty()) {
    std::fprintf(stderr, "%s: no server socket is known\n", name);
    return nullptr;
  }
  http_t* http =
      httpConnect2(path.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr);
  if (!http) {
    std::fprintf(stderr, "%s: cannot connect to the server on %s: %s\n", name, path.c_str(),
                 cupsLastErrorString());
    return nullptr;
  }
  if (std::string problem = UntrustedPeer(path, httpGetFd(http)); !problem.empty()) {
    std::fprintf(stderr, "%s: %s\n", name, problem.c_str());
    httpClose(http);
    return nullptr;
  }
  return http;
}

}  // namespace qxapp
