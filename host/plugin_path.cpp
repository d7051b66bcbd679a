// The plug-in an installed program uses (POSIX: the program's own path from /proc).
#include <unistd.h>

#include <string>

#include "host/driver_host.h"

namespace qxhost {

std::string PluginPath() {
  char self[4096];
  const ssize_t size = readlink("/proc/self/exe", self, sizeof self - 1);
  if (size > 0) {
    const std::string program(self, static_cast<size_t>(size));
    const std::string installed = program.substr(0, program.rfind('/') + 1) + QX_INSTALLED_PLUGIN_FROM_BIN;
    if (access(installed.c_str(), R_OK) == 0) return installed;
  }
  return BuiltPluginPath();
}

}  // namespace qxhost
