#include "printer_app/devices/device_guard.h"

#include <avahi-client/client.h>
#include <avahi-common/simple-watch.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <limits.h>
#include <pappl/pappl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "printer_app/devices/device_delivery.h"
#include "printer_app/devices/device_policy.h"
#include "printer_app/label_driver/job_thread.h"

namespace qxapp {
namespace {

// A device always fails to write here: the stand-in for a file device that cannot be opened.
constexpr const char* kFailingDevice = "file:///dev/full";

// Per thread: PAPPL opens a job's device on the job's thread and hands the job code no device
// (only NULL when the open failed), so what went wrong, and the file written, are kept here.
thread_local std::string t_fileFailure;
thread_local std::string t_outputFile;

// The error callback a caller gave, wrapped so that the open's own message is kept too. One per
// distinct callback and data, kept for the process: a device keeps calling it after the open.
struct ErrorRoute {
  pappl_deverror_cb_t callback;
  void* data;
};

void KeepAndPass(const char* message, void* data) {
  auto* route = static_cast<ErrorRoute*>(data);
  t_fileFailure = message ? message : "";
  if (route->callback) route->callback(message, route->data);
}

ErrorRoute* RouteFor(pappl_deverror_cb_t callback, void* data) {
  static std::mutex lock;
  static std::map<std::pair<pappl_deverror_cb_t, void*>, std::unique_ptr<ErrorRoute>> routes;
  std::lock_guard<std::mutex> hold(lock);
  auto& route = routes[{callback, data}];
  if (!route) route.reset(new ErrorRoute{callback, data});
  return route.get();
}

bool HasScheme(const char* uri, const char* scheme) {
  return uri && std::strncmp(uri, scheme, std::strlen(scheme)) == 0;
}

// A folder device's file for the job: "ID-NAME.EXT" (".prn" unless the URI's "?ext=" says
// otherwise), the characters PAPPL would replace replaced, cut to a length every file system takes
// (the job keeps its whole name).
constexpr size_t kMostFileNameBytes = 200;

struct FolderOutput {
  std::string folder;
  std::string file;
  std::string path;
};

// The path a file:// URI names and the extension its "?ext=" asks for ("prn" otherwise).
bool DevicePathOf(const char* uri, std::string* path, std::string* ext) {
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri, scheme, sizeof scheme, userpass, sizeof userpass, host,
                      sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
    return false;
  *path = resource;
  *ext = "prn";
  if (const size_t query = path->find('?'); query != std::string::npos) {
    const std::string options = path->substr(query + 1);
    if (options.compare(0, 4, "ext=") == 0 && options.find('/') == std::string::npos)
      *ext = options.substr(4);
    path->erase(query);
  }
  return true;
}

bool FolderOutputFor(const char* uri, pappl_job_t* job, FolderOutput* out) {
  std::string folder, ext;
  if (!job || !DevicePathOf(uri, &folder, &ext)) return false;
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  const char* jobName = papplJobGetName(job);
  std::string stem = std::to_string(papplJobGetID(job)) + "-" + (jobName ? jobName : "");
  ext.resize(std::min<size_t>(ext.size(), 16));
  stem.resize(std::min(stem.size(), kMostFileNameBytes - ext.size() - 1));
  std::string file = stem + "." + ext;
  for (char& c : file)
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7f || (c & 0x80) || c == '/') c = '_';
  out->folder = folder;
  out->file = file;
  out->path = folder + "/" + file;
  return true;
}

// A device that names one file (or a device node) rather than a folder: its folder and name.
bool FileOutputFor(const char* uri, FolderOutput* out) {
  std::string path, ext;
  if (!DevicePathOf(uri, &path, &ext)) return false;
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return false;
  out->folder = slash == 0 ? "/" : path.substr(0, slash);
  out->file = path.substr(slash + 1);
  out->path = path;
  return true;
}

// The folder opened, checked where it really is: one swapped for a link since the device was
// checked is refused.
int OpenCheckedFolder(const FolderOutput& output, const std::string& checked, std::string* why) {
  const int folder = open(output.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) {
    *why = "Cannot open the folder '" + output.folder + "': " + std::strerror(errno) + ".";
    return -1;
  }
  char real[PATH_MAX + 1];
  const std::string self = "/proc/self/fd/" + std::to_string(folder);
  const ssize_t length = readlink(self.c_str(), real, PATH_MAX);
  std::string where = length > 0 ? std::string(real, static_cast<size_t>(length)) : std::string();
  std::string rule;
  if (where.empty() || !PathAllowedHere(checked.empty() ? where : where + "/" + checked, &rule)) {
    why->assign("The folder '").append(output.folder).append("' was replaced by '").append(where);
    why->append("' since it was checked; not written (").append(rule).append(").");
    close(folder);
    return -1;
  }
  return folder;
}

// Makes the job's file in the folder, or says why not: the folder opened first and checked where
// it really is (one swapped for a link since the device was checked is refused), the file made
// in that very folder as a new file, never through a link. A file of the same name is replaced
// only when it is the app's own plain file (a job printed again).
int CreateOutputFile(const FolderOutput& output, std::string* why) {
  const int folder = OpenCheckedFolder(output, "", why);
  if (folder < 0) return -1;
  constexpr int kNewFile = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = openat(folder, output.file.c_str(), kNewFile, 0666);
  if (fd < 0 && errno == EEXIST) {
    struct stat info;
    const bool found = fstatat(folder, output.file.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (found && S_ISREG(info.st_mode) && info.st_uid == geteuid() && info.st_nlink == 1 &&
        unlinkat(folder, output.file.c_str(), 0) == 0) {
      fd = openat(folder, output.file.c_str(), kNewFile, 0666);
    } else {
      if (found && S_ISLNK(info.st_mode))
        *why = "'" + output.path + "' is a link: not written through.";
      else if (found && S_ISREG(info.st_mode))
        *why = "'" + output.path + "' is another user's file: not written over.";
      else
        *why = "Cannot create '" + output.path +
               "': " + std::strerror(found && S_ISDIR(info.st_mode) ? EISDIR : EEXIST) + ".";
      close(folder);
      return -1;
    }
  }
  if (fd < 0) *why = "Cannot create '" + output.path + "': " + std::strerror(errno) + ".";
  close(folder);
  return fd;
}

// Opens the one file a device names, in its folder held open and never through a link: made new
// when missing; else a device node, or a plain file of the app's own (PAPPL then writes it as
// before). Another user's file, one with other names (hard links) or a link is refused.
int OpenDeviceFile(const FolderOutput& output, std::string* why) {
  const int folder = OpenCheckedFolder(output, output.file, why);
  if (folder < 0) return -1;
  int fd = openat(folder, output.file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST)
    fd = openat(folder, output.file.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  struct stat info;
  if (fd < 0) {
    *why = errno == ELOOP ? "'" + output.path + "' is a link: not written through."
                          : "Cannot open '" + output.path + "': " + std::strerror(errno) + ".";
  } else if (fstat(fd, &info) != 0 ||
             (S_ISREG(info.st_mode) && (info.st_uid != geteuid() || info.st_nlink != 1))) {
    *why = "'" + output.path + "' is another user's file: not written over.";
    close(fd);
    fd = -1;
  }
  close(folder);
  return fd;
}

}  // namespace

bool DnssdAvailable() {
  AvahiSimplePoll* poll = avahi_simple_poll_new();
  if (!poll) return false;
  int error = 0;
  AvahiClient* client =
      avahi_client_new(avahi_simple_poll_get(poll), AvahiClientFlags(0), nullptr, nullptr, &error);
  const bool answers = client != nullptr;
  if (client) avahi_client_free(client);
  avahi_simple_poll_free(poll);
  return answers;
}

std::string LastFileDeviceFailure() { return t_fileFailure; }

std::string TakeJobOutputFile() { return std::exchange(t_outputFile, std::string()); }

void RemoveOutputsOfUnprintedJobs(pappl_system_t* system) {
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t* printer, void*) {
        const char* uri = papplPrinterGetDeviceURI(printer);
        if (!HasScheme(uri, "file:")) return;
        papplPrinterIterateCompletedJobs(
            printer,
            [](pappl_job_t* job, void* data) {
              FolderOutput output;
              if (papplJobGetState(job) == IPP_JSTATE_COMPLETED ||
                  !FolderOutputFor(static_cast<const char*>(data), job, &output))
                return;
              // Only a plain file of the app's own: what a job refused to write over stays.
              struct stat info;
              if (lstat(output.path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                  info.st_uid == geteuid() && unlink(output.path.c_str()) == 0)
                papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Removed the unfinished output of the job.");
            },
            const_cast<char*>(uri), 1, 0);
      },
      nullptr);
}

pappl_devtype_t ListableDeviceTypes(pappl_devtype_t types) {
  if ((types & PAPPL_DEVTYPE_DNS_SD) && !DnssdAvailable()) types &= ~pappl_devtype_t{PAPPL_DEVTYPE_DNS_SD};
  return types;
}

pappl_device_t* OpenGuardedDevice(LibraryDeviceOpen original, const char* device_uri, const char* name,
                                  pappl_deverror_cb_t err_cb, void* err_data) {
  t_fileFailure.clear();
  if (HasScheme(device_uri, "dnssd://") && !DnssdAvailable()) {
    if (err_cb) err_cb("Cannot reach a DNS-SD printer: no Avahi daemon is running.", err_data);
    return nullptr;
  }
  if (const std::string own = DeliveryDeviceUri(device_uri); !own.empty())
    return original(own.c_str(), name, err_cb, err_data);
  if (!HasScheme(device_uri, "file:")) return original(device_uri, name, err_cb, err_data);

  std::string why;
  if (!DeviceAllowedHere(device_uri, &why)) {
    t_fileFailure = why;
    if (err_cb) err_cb(why.c_str(), err_data);
    return original(kFailingDevice, name, err_cb, err_data);
  }
  FolderOutput output;
  const bool toFolder = FolderOutputFor(device_uri, CurrentJob(), &output);
  const bool toFile = !toFolder && FileOutputFor(device_uri, &output);
  std::string uri = device_uri;
  int made = -1;
  if (toFolder || toFile) {
    made = toFolder ? CreateOutputFile(output, &why) : OpenDeviceFile(output, &why);
    if (made < 0) {
      t_fileFailure = why;
      if (err_cb) err_cb(why.c_str(), err_data);
      return original(kFailingDevice, name, err_cb, err_data);
    }
    // PAPPL's file device opens the file checked, by its descriptor: no name is looked up again.
    uri = "file:///proc/self/fd/" + std::to_string(made);
  }
  ErrorRoute* route = RouteFor(err_cb, err_data);
  pappl_device_t* device = original(uri.c_str(), name, KeepAndPass, route);
  if (made >= 0) close(made);
  if (toFolder) t_outputFile = output.path;
  if (device) return device;
  if (t_fileFailure.empty()) t_fileFailure = std::string("Unable to open ") + device_uri + ".";
  return original(kFailingDevice, name, err_cb, err_data);
}

}  // namespace qxapp
