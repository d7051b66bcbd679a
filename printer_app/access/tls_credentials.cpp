#include "printer_app/access/tls_credentials.h"

#include <cups/cups.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <ctime>
#include <mutex>

namespace qxapp {
namespace {

std::mutex g_lock;
std::string g_folder;

// The name CUPS gives a common name's files: letters, digits, '-' and '.' kept, '_' for the rest.
std::string CredentialFileStem(const std::string& commonName) {
  std::string stem = commonName;
  for (char& c : stem)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') c = '_';
  if (!stem.empty() && stem.back() == '.') stem.pop_back();
  return stem;
}

// CUPS writes the key it makes readable by all: it is made in a private folder of its own,
// made the app's alone, and only then given its name (never over a pair already there).
void MakeCredentialsPrivately(const std::string& folder, const std::string& commonName) {
  const std::string stem = folder + "/" + CredentialFileStem(commonName);
  if (commonName.empty() ||
      (access((stem + ".crt").c_str(), F_OK) == 0 && access((stem + ".key").c_str(), F_OK) == 0))
    return;
  std::string making = folder + "/.making-XXXXXX";
  if (!mkdtemp(making.data())) return;
  if (cupsMakeServerCredentials(making.c_str(), commonName.c_str(), 0, nullptr,
                                time(nullptr) + 365 * 86400)) {
    const std::string made = making + "/" + CredentialFileStem(commonName);
    chmod((made + ".key").c_str(), 0600);
    // The key first: a certificate without its key would make CUPS fail rather than make one.
    if (link((made + ".key").c_str(), (stem + ".key").c_str()) == 0)
      link((made + ".crt").c_str(), (stem + ".crt").c_str());
  }
  if (DIR* dir = opendir(making.c_str())) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') unlinkat(dirfd(dir), entry->d_name, 0);
    closedir(dir);
  }
  rmdir(making.c_str());
}

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

int SetServerCredentials(const char* path, const char* commonName, int autoCreate,
                         int (*cupsSet)(const char*, const char*, int)) {
  std::string folder;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    folder = g_folder;
  }
  if (path || folder.empty()) return cupsSet(path, commonName, autoCreate);
  if (autoCreate && commonName) MakeCredentialsPrivately(folder, commonName);
  return cupsSet(folder.c_str(), commonName, autoCreate);
}

}  // namespace qxapp
