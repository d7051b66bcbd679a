#include "printer_app/tls_credentials.h"

#include <cups/cups.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "printer_app/original_symbol.h"

namespace qxapp {
namespace {

std::mutex g_lock;
std::string g_folder;

}  // namespace

void KeepKeysPrivate(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() < 5 || name.compare(name.size() - 4, 4, ".key") != 0) continue;
    struct stat info;
    if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
        info.st_uid == geteuid() && (info.st_mode & 077) != 0)
      fchmodat(dirfd(dir), entry->d_name, info.st_mode & 0700, 0);
  }
  closedir(dir);
}

void KeepNewKeysPrivate() {
  std::string folder;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    folder = g_folder;
  }
  if (!folder.empty()) KeepKeysPrivate(folder);
}

bool KeepTlsCredentialsIn(pappl_system_t* system, const std::string& folder) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_folder = folder;
  }
  KeepKeysPrivate(folder);  // keys made before
  char host[256] = "";
  papplSystemGetHostName(system, host, sizeof host);
  return cupsSetServerCredentials(nullptr, host[0] ? host : "localhost", 1) != 0;
}

}  // namespace qxapp

extern "C" {

// PAPPL names no folder (CUPS's own then); the app's is given instead.
__attribute__((visibility("default"))) int cupsSetServerCredentials(const char* path, const char* common_name,
                                                                    int auto_create) {
  using Fn = int (*)(const char*, const char*, int);
  static const Fn original = qxapp::Original<Fn>("cupsSetServerCredentials");
  std::string folder;
  {
    std::lock_guard<std::mutex> hold(qxapp::g_lock);
    folder = qxapp::g_folder;
  }
  return original(path || folder.empty() ? path : folder.c_str(), common_name, auto_create);
}

}  // extern "C"
