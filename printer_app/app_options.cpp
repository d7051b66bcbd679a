#include "printer_app/app_options.h"

#include <charconv>
#include <cstring>
#include <stdexcept>

namespace qxapp {

const char* const kAppUsage =
    "  --state DIR        saved settings, spool and the default printer's output folder\n"
    "  --port N           IPP and web port (default 8631)\n"
    "  --network          listen on every network address (default: localhost only)\n"
    "  --printer NAME=URI add a printer: file:///FOLDER, socket://HOST:9100, usb://...\n"
    "                     (default when none is saved: label=file://DIR/output)\n"
    "  --log FILE|-       the log (default DIR/app.log; - for standard error)\n"
    "  --log-level LEVEL  error, warn, info (default) or debug\n";

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
    } else if (arg == "--state") {
      options.stateDir = value();
    } else if (arg == "--port") {
      const std::string text = value();
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), options.port);
      if (error != std::errc() || end != text.data() + text.size() || options.port < 1 ||
          options.port > 65535)
        throw std::runtime_error("--port " + text + ": not a port number");
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
    } else {
      throw std::runtime_error("unknown option " + arg);
    }
  }
  return options;
}

}  // namespace qxapp
