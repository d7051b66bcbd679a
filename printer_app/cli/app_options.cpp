#include "printer_app/cli/app_options.h"

#include <charconv>
#include <cstring>
#include <stdexcept>

#include "printer_app/access/access_policy.h"
#include "printer_app/access/tls_credentials.h"
#include "printer_app/devices/device_policy.h"

namespace qxapp {

const char* const kAppUsage =
    "  --state DIR        saved settings, spool and the default printer's output folder\n"
    "  --port N           IPP and web port (default 8631)\n"
    "  --network          listen on every network address (default: localhost only)\n"
    "  --printer NAME=URI add a printer: file:///FOLDER, socket://HOST:9100, usb://...\n"
    "                     (default when none is saved: label=file://DIR/output);\n"
    "                     for a saved printer NAME, its device becomes URI\n"
    "  --max-memory MIB   memory reading one PDF document may take (default 512)\n"
    "  --max-seconds N    processor seconds a PDF document may take for its page count and\n"
    "                     for each page, twice that in wall-clock time (default 20)\n"
    "  --max-document-mib N  refuse a document larger than N MiB (default 64), and a\n"
    "                     web form larger than that and 64 KiB\n"
    "  --request-timeout S   close a connection that sends nothing for S seconds:\n"
    "                     before its first request, in a request's headers, or\n"
    "                     between pieces of its body (default 30)\n"
    "  --max-client-connections N  connections one address or local account may\n"
    "                     hold at once; administrators are never refused (default 64)\n"
    "  --allowed-folder DIR  file:// devices may write only inside DIR/output and these\n"
    "                     folders; checked again, links resolved, at every job\n"
    "  --admin-group GROUP   its members administer the app too\n"
    "  --auth-service NAME   PAM service with which others sign in to administer,\n"
    "                     only over TLS (https://, ipps://); default: none\n"
    "  --print-group GROUP   only its members and administrators may print\n"
    "                     (default: anyone who reaches the port may print)\n"
    "  --log FILE|-       the log (default DIR/app.log; - for standard error)\n"
    "  --log-level LEVEL  error, warn, info (default) or debug\n";

const char* const kAppAccessSummary =
    "Who may administer (settings, printers, devices, other users' jobs): root and the\n"
    "app's own user, recognised from their local connection, and --admin-group members.\n"
    "Anyone else only after signing in over TLS: with the password set on the web\n"
    "interface's Security page (web only), or through --auth-service. Without either,\n"
    "nobody else may. TLS is on: a self-signed certificate, or your own in DIR/ssl.\n";

namespace {

uint32_t Bounded(const std::string& option, const std::string& text, uint32_t min, uint32_t max) {
  uint32_t number = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number < min || number > max)
    throw std::runtime_error(option + " " + text + ": expected a number from " + std::to_string(min) +
                             " to " + std::to_string(max));
  return number;
}

}  // namespace

AppOptions ParseAppOptions(int argc, char** argv) {
  AppOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--state") {
      options.stateDir = value();
    } else if (arg == "--port") {
      const std::string text = value();
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), options.port);
      if (error != std::errc() || end != text.data() + text.size() || options.port < 1 ||
          options.port > 65535)
        throw std::runtime_error("--port " + text + ": not a port number");
    } else if (arg == "--max-memory") {
      options.documentLimits.maxMemoryBytes = uint64_t{Bounded(arg, value(), 64, 1048576)} << 20;
    } else if (arg == "--max-seconds") {
      options.documentLimits.maxSeconds = Bounded(arg, value(), 1, 86400);
    } else if (arg == "--max-document-mib") {
      options.requestLimits.maxDocumentBytes = uint64_t{Bounded(arg, value(), 1, 4096)} << 20;
    } else if (arg == "--request-timeout") {
      options.requestLimits.timeoutSeconds = static_cast<int>(Bounded(arg, value(), 1, 3600));
    } else if (arg == "--max-client-connections") {
      options.requestLimits.maxConnectionsPerClient = Bounded(arg, value(), 1, 10000);
    } else if (arg == "--network") {
      options.network = true;
    } else if (arg == "--log") {
      options.logFile = value();
    } else if (arg == "--log-level") {
      options.logLevel = value();
      if (options.logLevel != "error" && options.logLevel != "warn" && options.logLevel != "info" &&
          options.logLevel != "debug")
        throw std::runtime_error("--log-level " + options.logLevel + ": unknown level");
    } else if (arg == "--printer") {
      const std::string text = value();
      const size_t equals = text.find('=');
      if (equals == 0 || equals == std::string::npos || equals + 1 == text.size())
        throw std::runtime_error("--printer " + text + ": expected NAME=DEVICE-URI");
      options.printers.emplace_back(text.substr(0, equals), text.substr(equals + 1));
    } else if (arg == "--allowed-folder") {
      options.allowedFolders.push_back(value());
    } else if (arg == "--admin-group") {
      options.adminGroup = value();
    } else if (arg == "--auth-service") {
      options.authService = value();
    } else if (arg == "--print-group") {
      options.printGroup = value();
    } else {
      throw std::runtime_error("unknown option " + arg);
    }
  }
  if (options.help || options.version) return options;
  for (const std::string* group : {&options.adminGroup, &options.printGroup})
    if (!group->empty() && !GroupId(*group)) throw std::runtime_error("no group named " + *group);
  return options;
}

std::vector<std::string> AllowedFolders(const AppOptions& options) {
  // The default printer's own folder stays allowed whatever else is.
  std::vector<std::string> folders = {options.stateDir + "/output"};
  folders.insert(folders.end(), options.allowedFolders.begin(), options.allowedFolders.end());
  return folders;
}

void CheckDevices(const AppOptions& options) {
  for (const auto& [name, uri] : options.printers) {
    std::string why;
    if (!DeviceAllowed(uri, AllowedFolders(options), &why))
      throw std::runtime_error("--printer " + name + "=" + uri + ": " + why);
  }
}

void ApplyAccessPolicy(pappl_system_t* system, const AppOptions& options) {
  SetAccessPolicy(system, options.printGroup, options.adminGroup, !options.authService.empty());
  SetAllowedFolders(AllowedFolders(options));
  if (!KeepTlsCredentialsIn(system, options.stateDir + "/ssl"))
    papplLog(system, PAPPL_LOGLEVEL_ERROR, "Cannot make the folder for the TLS certificate in '%s'.",
             options.stateDir.c_str());
}

}  // namespace qxapp
