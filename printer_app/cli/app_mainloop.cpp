#include "printer_app/cli/app_mainloop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "printer_app/cli/client_commands.h"
#include "printer_app/cli/control_socket.h"
#include "printer_app/cli/preview_command.h"
#include "printer_app/cli/server_probe.h"
#include "printer_app/devices/usb_autoadd.h"
#include "printer_app/label_driver/label_driver.h"
#include "printer_app/web/web_text.h"

namespace qxapp {
namespace {

constexpr const char* kFooter = "QXVN Label Printer Application";

constexpr std::string_view kSubcommands[] = {"add",      "autoadd", "cancel", "default",  "delete", "devices",
                                             "drivers",  "jobs",    "modify", "options",  "pause",  "preview",
                                             "printers", "resume",  "server", "shutdown", "status", "submit"};
// Sub-commands that need no running server.
constexpr std::string_view kLocalSubcommands[] = {"server", "devices", "drivers"};
// PAPPL's short options that take a value (-d PRINTER, -o NAME=VALUE, ...).
constexpr std::string_view kValueOptions[] = {"-d", "-h", "-j", "-m", "-n", "-o", "-t", "-u", "-v"};

// PAPPL's -o server settings this app takes, each the same as one of its long options.
struct ServerSetting {
  const char* name;
  const char* longOption;
};
constexpr ServerSetting kServerSettings[] = {{"state-directory", "--state"},
                                             {"server-port", "--port"},
                                             {"log-file", "--log"},
                                             {"log-level", "--log-level"},
                                             {"admin-group", "--admin-group"},
                                             {"auth-service", "--auth-service"},
                                             {"print-group", "--print-group"},
                                             {"allowed-folder", "--allowed-folder"},
                                             {"max-memory", "--max-memory"},
                                             {"max-seconds", "--max-seconds"}};

struct Context {
  SystemFactory createSystem;
  std::string baseName;
  std::string subcommand;
  std::vector<std::string> appArgs;  // the long options, after PAPPL's arguments
  std::string serverSocket;          // the server's control socket, removed at exit
};

template <size_t N>
bool OneOf(std::string_view word, const std::string_view (&list)[N]) {
  for (std::string_view entry : list)
    if (word == entry) return true;
  return false;
}

bool IsAppOption(std::string_view arg) {
  return arg.size() > 2 && arg.substr(0, 2) == "--" && arg != "--help" && arg != "--version" &&
         arg != "--wait";
}

AppOptions ParseArgs(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return ParseAppOptions(static_cast<int>(args.size()), argv.data());
}

bool MakeFolder(const std::string& path) { return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST; }

// Where the server keeps its state when --state is not given: the service's state directory,
// /var/lib for root, else the user's XDG state folder.
std::string DefaultStateDir(const std::string& baseName, bool create) {
  if (const char* dir = std::getenv("STATE_DIRECTORY"); dir && *dir) {
    const std::string dirs = dir;  // systemd lists several with ':'
    return dirs.substr(0, dirs.find(':'));
  }
  if (getuid() == 0) return "/var/lib/" + baseName;
  std::string base;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    if (create) MakeFolder(std::string(home) + "/.local");
    base = std::string(home) + "/.local/state";
  } else {
    return "";
  }
  if (create) MakeFolder(base);
  return base + "/" + baseName;
}

// A small system that only knows the driver, for the `drivers` sub-command: it must neither
// listen nor touch the server's state.
pappl_system_t* DriverListSystem() {
  pappl_system_t* system = papplSystemCreate(PAPPL_SOPTIONS_NONE, kFooter, 0, nullptr, papplGetTempDir(), "-",
                                             PAPPL_LOGLEVEL_ERROR, nullptr, false);
  if (system) RegisterLabelDriver(system);
  return system;
}

// The server's options: PAPPL's -o settings as the long options they stand for, then the long
// options given. Throws std::runtime_error for a wrong command line.
AppOptions ServerOptions(const Context& context, int numOptions, cups_option_t* options) {
  std::vector<std::string> args = {context.baseName};
  for (const ServerSetting& setting : kServerSettings) {
    if (const char* value = cupsGetOption(setting.name, numOptions, options)) {
      args.emplace_back(setting.longOption);
      args.emplace_back(value);
    }
  }
  args.insert(args.end(), context.appArgs.begin(), context.appArgs.end());
  AppOptions appOptions = ParseArgs(args);
  if (appOptions.help || appOptions.version) return appOptions;
  if (appOptions.stateDir.empty()) appOptions.stateDir = DefaultStateDir(context.baseName, true);
  if (appOptions.stateDir.empty()) throw std::runtime_error("no state folder: give --state DIR");
  CheckDevices(appOptions);
  return appOptions;
}

pappl_system_t* CreateFromMainloop(int numOptions, cups_option_t* options, void* data) {
  auto* context = static_cast<Context*>(data);
  if (context->subcommand == "drivers") return DriverListSystem();
  AppOptions appOptions;
  try {
    appOptions = ServerOptions(*context, numOptions, options);
  } catch (const std::runtime_error& e) {
    std::fprintf(stderr, "%s: %s\n", context->baseName.c_str(), e.what());
    return nullptr;
  }
  // The instance's control socket, before anything else: a server that cannot have it does not
  // start (its sub-commands would reach another one, or none).
  std::string problem;
  const std::string folder = SocketFolder(getuid(), true, &problem);
  const std::string socket =
      folder + "/" +
      SocketName(context->baseName, appOptions.stateDir, DefaultStateDir(context->baseName, false));
  if (folder.empty() || !(problem = ClaimSocket(socket)).empty()) {
    std::fprintf(stderr, "%s: %s\n", context->baseName.c_str(), problem.c_str());
    return nullptr;
  }
  pappl_system_t* system = context->createSystem(appOptions);
  if (system) {
    UseSocket(socket);
    context->serverSocket = socket;
  }
  // A socket of the service's own, which a link at PAPPL's system-wide path leads to.
  const char* localSocket = cupsGetOption("local-socket", numOptions, options);
  if (system && localSocket && !papplSystemAddListeners(system, localSocket)) {
    std::fprintf(stderr, "%s: cannot listen on %s\n", context->baseName.c_str(), localSocket);
    papplSystemDelete(system);
    return nullptr;
  }
  return system;
}

void PrintUsage(void* data) {
  const char* name = static_cast<Context*>(data)->baseName.c_str();
  std::printf(
      "usage: %s server [-o NAME=VALUE]... [SERVER OPTIONS]\n"
      "       %s [SERVER OPTIONS]                (the same as `server`)\n"
      "       %s SUB-COMMAND [OPTIONS] [FILE]\n"
      "\n"
      "Sub-commands (all but server, devices and drivers talk to the running server):\n"
      "  server             run the printer application\n"
      "  submit [FILE]...   print files (standard input without one): -d PRINTER (or -u PRINTER-URI,\n"
      "                     a printer of any server), -n or -c COPIES, -t TITLE, -o NAME=VALUE as\n"
      "                     `options` lists them (media=48x50mm, gray-threshold=100, ...), --wait\n"
      "                     for the job's end (exit 1 if it failed)\n"
      "  jobs [-d PRINTER]  list the jobs       cancel -j ID | -a  cancel jobs\n"
      "  preview -j ID [-o FILE.png]  write the job's labels as pictures (see preview --help)\n"
      "  status             the server's, a printer's (-d) or a job's (-j ID) state\n"
      "  printers           list the printers   options -d PRINTER  list a printer's options\n"
      "  devices            list the connected devices (USB, network, DNS-SD)\n"
      "  drivers            list the drivers (-o device-id=ID: the one for that device)\n"
      "  add -d PRINTER -v DEVICE-URI [-m qxvn|auto]  add a printer\n"
      "  modify -d PRINTER -o NAME=VALUE...  change its settings    delete -d PRINTER\n"
      "  default [-d PRINTER]  show or set the default printer\n"
      "  pause / resume -d PRINTER\n"
      "  autoadd            add the connected USB label printers that have no printer yet\n"
      "  shutdown           stop the server\n"
      "  A sub-command talks to the server of --state DIR, given last (default: the default\n"
      "  state folder's server, else the only one running).\n"
      "  --version          the version\n"
      "\n"
      "Server settings as -o NAME=VALUE: state-directory=DIR, server-port=N, log-file=FILE|-,\n"
      "log-level=LEVEL, admin-group=GROUP, auth-service=NAME, print-group=GROUP,\n"
      "allowed-folder=DIR, max-memory=MIB, max-seconds=N (each as the option of that name below),\n"
      "local-socket=PATH (one more local socket to listen on).\n"
      "\n"
      "SERVER OPTIONS (after the sub-command and its -o settings):\n%s"
      "  Without --state: $STATE_DIRECTORY (the service's), /var/lib/%s for root, else\n"
      "  $XDG_STATE_HOME/%s (~/.local/state/%s).\n"
      "\n%s",
      name, name, name, kAppUsage, name, name, name, kAppAccessSummary);
}

}  // namespace

int RunMainloop(int argc, char** argv, SystemFactory createSystem) {
  Context context{createSystem, "", "", {}, ""};
  const char* slash = std::strrchr(argv[0], '/');
  context.baseName = slash ? slash + 1 : argv[0];
  // PAPPL's own answer is the bare number.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("qxvn-printer-app %s\n", kAppVersion);
    return 0;
  }
  std::vector<char*> papplArgs = {argv[0]};
  int i = 1;
  bool printerUri = false, helpOrVersion = false;
  std::string printerName;
  std::vector<std::string> commandArgs;  // the sub-command's own arguments
  int numSettings = 0;
  cups_option_t* settings = nullptr;  // the -o settings, for checking the server's options
  struct SettingsFree {
    int& count;
    cups_option_t*& options;
    ~SettingsFree() { cupsFreeOptions(count, options); }
  } settingsFree{numSettings, settings};
  for (; i < argc && !IsAppOption(argv[i]); ++i) {
    const std::string_view arg = argv[i];
    papplArgs.push_back(argv[i]);
    if ((arg == "--" || OneOf(arg, kValueOptions)) && i + 1 < argc) {
      commandArgs.emplace_back(argv[i]);
      papplArgs.push_back(argv[++i]);  // a file or a value, whatever it says
      commandArgs.emplace_back(argv[i]);
      if (arg == "-d") printerName = argv[i];
      if (arg == "-u") printerUri = true;
      if (arg == "-o") numSettings = cupsParseOptions(argv[i], numSettings, &settings);
    } else if (OneOf(arg, kSubcommands) && context.subcommand.empty()) {
      context.subcommand = arg;
    } else if (arg == "--help" || arg == "--version") {
      helpOrVersion = true;
    } else {
      commandArgs.emplace_back(arg);
    }
  }
  for (; i < argc; ++i) context.appArgs.emplace_back(argv[i]);

  std::string clientStateDir;
  if (!context.appArgs.empty() && context.subcommand != "server" && !context.subcommand.empty() &&
      context.appArgs.size() == 2 && context.appArgs.front() == "--state") {
    clientStateDir = context.appArgs.back();  // which instance the sub-command talks to
    context.appArgs.clear();
  } else if (!context.appArgs.empty() && context.subcommand != "server" && !context.subcommand.empty() &&
             context.appArgs.front() == "--state") {
    std::fprintf(stderr, "%s: `--state DIR` (the server to talk to) comes last, after `%s`'s own options\n",
                 context.baseName.c_str(), context.subcommand.c_str());
    return 2;
  }
  if (!context.appArgs.empty()) {
    std::vector<std::string> args = {context.baseName};
    args.insert(args.end(), context.appArgs.begin(), context.appArgs.end());
    try {
      if (ServerOptions(context, numSettings, settings).help) {
        PrintUsage(&context);
        return 0;
      }
    } catch (const std::runtime_error& e) {
      std::fprintf(stderr, "%s: %s (see --help)\n", context.baseName.c_str(), e.what());
      return 2;
    }
    if (context.subcommand.empty()) {
      context.subcommand = "server";
      papplArgs.push_back(context.subcommand.data());
    } else if (context.subcommand != "server") {
      std::fprintf(stderr, "%s: %s is an option of `server`, not of `%s`\n", context.baseName.c_str(),
                   context.appArgs.front().c_str(), context.subcommand.c_str());
      return 2;
    }
  }
  if (argc == 1 && isatty(STDIN_FILENO)) {
    PrintUsage(&context);
    return 2;
  }
  // `preview` is the app's own sub-command, which PAPPL's main loop does not know.
  if (context.subcommand == "preview" && helpOrVersion)
    return RunPreviewCommand(context.baseName, "", commandArgs);
  // `submit -u URI` goes to that printer itself, not through the local server.
  if (!helpOrVersion && (context.subcommand == "drivers" || (context.subcommand == "submit" && printerUri)))
    return RunClientCommand(context.baseName, context.subcommand, commandArgs, "");
  if (!helpOrVersion && !printerUri && !OneOf(context.subcommand, kLocalSubcommands)) {
    const ServerSocket server =
        FindServerSocket(context.baseName, clientStateDir, DefaultStateDir(context.baseName, false));
    const std::string& socket = server.path;
    if (!server.problem.empty()) {
      std::fprintf(stderr, "%s: %s\n", context.baseName.c_str(), server.problem.c_str());
      return 1;
    }
    if (socket.empty()) {
      std::fprintf(stderr,
                   "%s: no server is running (none answers on %s); start one with `%s server` or "
                   "`systemctl start qxvn-printer-app`\n",
                   context.baseName.c_str(), server.tried.c_str(), context.baseName.c_str());
      return 1;
    }
    if (context.subcommand == "preview") return RunPreviewCommand(context.baseName, socket, commandArgs);
    UseSocket(socket);
    // `add -d NAME` names the printer it makes.
    if (!printerName.empty() && context.subcommand != "add" && !ServerHasPrinter(socket, printerName)) {
      std::fprintf(stderr, "%s: no printer named '%s' (`%s printers` lists them)\n", context.baseName.c_str(),
                   printerName.c_str(), context.baseName.c_str());
      return 1;
    }
    if (IsClientCommand(context.subcommand))
      return RunClientCommand(context.baseName, context.subcommand, commandArgs, socket);
  }
  papplArgs.push_back(nullptr);
  const int status = papplMainloop(static_cast<int>(papplArgs.size()) - 1, papplArgs.data(), kAppVersion,
                                   kFooter, 0, nullptr, AutoAddDriver, nullptr, nullptr, nullptr,
                                   CreateFromMainloop, PrintUsage, &context);
  if (!context.serverSocket.empty()) unlink(context.serverSocket.c_str());
  return status;
}

}  // namespace qxapp
