#include "printer_app/cli/client_message.h"

namespace qxapp {

std::string WithoutServerPaths(const std::string& message) {
  std::string out;
  size_t at = 0;
  while (at < message.size()) {
    const bool starts = message[at] == '/' && (at == 0 || message[at - 1] == ' ' || message[at - 1] == '\'' ||
                                               message[at - 1] == '"' || message[at - 1] == '(');
    if (!starts) {
      out += message[at++];
      continue;
    }
    // A path runs to a space, a quote or a closing bracket; only its last part is kept.
    size_t end = message.find_first_of(" '\")", at);
    if (end == std::string::npos) end = message.size();
    std::string path = message.substr(at, end - at);
    while (path.size() > 1 && (path.back() == '.' || path.back() == ',' || path.back() == ':')) {
      path.pop_back();
      --end;
    }
    const size_t slash = path.find_last_of('/');
    out += slash + 1 < path.size() ? path.substr(slash + 1) : "(folder)";
    at = end;
  }
  return out;
}

}  // namespace qxapp
