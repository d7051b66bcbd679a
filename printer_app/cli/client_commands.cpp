#include "printer_app/cli/client_commands.h"

#include <cups/cups.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>
#include <stdexcept>

#include "printer_app/cli/client_request.h"
#include "printer_app/devices/usb_autoadd.h"
#include "printer_app/label_driver/label_driver.h"

namespace qxapp {
namespace {

constexpr const char* kCommands[] = {"submit", "status", "options", "drivers"};
constexpr const char* kDriverDescription = "QXVN 300 dpi Label Printer";

bool Unquoted(const std::string& value) {
  return value.empty() || (value.front() != '\'' && value.front() != '"');
}

// The options of one -o argument. A device ID holds spaces ("MDL:Label Printer"): unquoted, the
// rest of the argument is its value.
void AddOptions(const std::string& text, ClientArgs* out) {
  constexpr std::string_view kDeviceId = "device-id=";
  if (text.compare(0, kDeviceId.size(), kDeviceId) == 0 && Unquoted(text.substr(kDeviceId.size()))) {
    out->options.emplace_back("device-id", text.substr(kDeviceId.size()));
    return;
  }
  cups_option_t* parsed = nullptr;
  const int count = cupsParseOptions(text.c_str(), 0, &parsed);
  if (count == 0) throw std::invalid_argument("-o " + text + ": not NAME=VALUE");
  for (int i = 0; i < count; ++i) out->options.emplace_back(parsed[i].name, parsed[i].value);
  cupsFreeOptions(count, parsed);
}

time_t DateOf(ipp_t* response, const char* name) {
  ipp_attribute_t* attr = ippFindAttribute(response, name, IPP_TAG_DATE);
  return attr ? ippDateToTime(ippGetDate(attr, 0)) : 0;
}

// "idle since DATE", then the reasons other than "none" after a colon.
std::string StateLine(const char* state, time_t since, ipp_attribute_t* reasons) {
  std::string line = state;
  if (since > 0) {
    char date[256];
    line += std::string(" since ") + httpGetDateString2(since, date, sizeof date);
  }
  std::string listed;
  for (int i = 0; reasons && i < ippGetCount(reasons); ++i) {
    const char* reason = ippGetString(reasons, i, nullptr);
    if (reason && std::strcmp(reason, "none") != 0)
      listed += (listed.empty() ? "" : ", ") + std::string(reason);
  }
  return listed.empty() ? line : line + ": " + listed;
}

const char* PrinterStateName(int state) {
  switch (state) {
    case IPP_PSTATE_PROCESSING:
      return "processing jobs";
    case IPP_PSTATE_STOPPED:
      return "stopped";
    default:
      return "idle";
  }
}

// The job's state, reasons and message; nullptr answer when the printer has no such job.
IppPtr JobAttributes(ServerConnection& server, const std::string& printer, int jobId) {
  ipp_t* request = PrinterRequest(IPP_OP_GET_JOB_ATTRIBUTES, printer);
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
  static const char* const names[] = {"job-state", "job-state-reasons", "job-state-message", "job-name",
                                      "job-printer-state-message"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 5, nullptr, names);
  IppPtr response = server.Send(request, PrinterResource(printer));
  if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) return nullptr;
  return response;
}

std::vector<std::string> PrinterNames(ServerConnection& server) {
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTERS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr, "ipp://localhost/ipp/system");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
  IppPtr response = server.Send(request, "/ipp/system");
  std::vector<std::string> names;
  for (ipp_attribute_t* attr = ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME); attr;
       attr = ippFindNextAttribute(response.get(), "printer-name", IPP_TAG_NAME))
    names.emplace_back(ippGetString(attr, 0, nullptr));
  return names;
}

int ShowJobStatus(const std::string& baseName, ServerConnection& server, const ClientArgs& args) {
  char* end = nullptr;
  const long jobId = std::strtol(args.jobId.c_str(), &end, 10);
  if (args.jobId.empty() || *end || jobId < 1 || jobId > 0x7FFFFFFF) {
    std::fprintf(stderr, "%s: -j %s: not a job number\n", baseName.c_str(), args.jobId.c_str());
    return 2;
  }
  // Job numbers are a printer's own: without -d, the first printer that has the job answers.
  std::vector<std::string> printers = args.printer.empty() ? PrinterNames(server) : std::vector{args.printer};
  for (const std::string& printer : printers) {
    IppPtr job = JobAttributes(server, printer, static_cast<int>(jobId));
    if (!job) continue;
    const int state = ippGetInteger(ippFindAttribute(job.get(), "job-state", IPP_TAG_ENUM), 0);
    std::string line = printer + "-" + std::to_string(jobId) + " " +
                       StateLine(JobStateName(state).c_str(), 0,
                                 ippFindAttribute(job.get(), "job-state-reasons", IPP_TAG_KEYWORD));
    if (const char* message =
            ippGetString(ippFindAttribute(job.get(), "job-state-message", IPP_TAG_TEXT), 0, nullptr);
        message && *message)
      line += std::string(line.find(": ") == std::string::npos ? ": " : "; ") + message;
    std::printf("%s\n", line.c_str());
    return 0;
  }
  std::fprintf(stderr, "%s: no job %ld on %s\n", baseName.c_str(), jobId,
               args.printer.empty() ? "any printer" : ("printer '" + args.printer + "'").c_str());
  return 1;
}

int ShowStatus(const std::string& baseName, ServerConnection& server, const ClientArgs& args) {
  if (!args.jobId.empty()) return ShowJobStatus(baseName, server, args);
  IppPtr response;
  std::string state;
  time_t since = 0;
  ipp_attribute_t* reasons = nullptr;
  if (!args.printer.empty()) {
    response = server.PrinterAttributes(
        args.printer, {"printer-state", "printer-state-change-date-time", "printer-state-reasons"});
    state =
        PrinterStateName(ippGetInteger(ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM), 0));
    since = DateOf(response.get(), "printer-state-change-date-time");
    reasons = ippFindAttribute(response.get(), "printer-state-reasons", IPP_TAG_KEYWORD);
  } else {
    ipp_t* request = ippNewRequest(IPP_OP_GET_SYSTEM_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr,
                 "ipp://localhost/ipp/system");
    static const char* const names[] = {"system-state", "system-state-change-date-time",
                                        "system-state-reasons"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, names);
    response = server.Send(request, "/ipp/system");
    state =
        PrinterStateName(ippGetInteger(ippFindAttribute(response.get(), "system-state", IPP_TAG_ENUM), 0));
    since = DateOf(response.get(), "system-state-change-date-time");
    reasons = ippFindAttribute(response.get(), "system-state-reasons", IPP_TAG_KEYWORD);
  }
  if (!response || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
    std::fprintf(stderr, "%s: cannot get the state: %s\n", baseName.c_str(), cupsLastErrorString());
    return 1;
  }
  std::printf("Running, %s.\n", StateLine(state.c_str(), since, reasons).c_str());
  return 0;
}

// The job options not listed as choices: they are the command line's own (-n, -t), set per
// document or not a label's.
const std::set<std::string, std::less<>> kUnlisted = {"copies",         "document-format",
                                                      "document-name",  "ipp-attribute-fidelity",
                                                      "job-hold-until", "job-hold-until-time",
                                                      "job-name",       "job-priority",
                                                      "media-col",      "multiple-document-handling",
                                                      "output-bin",     "printer-resolution",
                                                      "sides",          "page-ranges"};

std::string ValueText(ipp_attribute_t* attr, int index) {
  const std::string name = ippGetName(attr);
  switch (ippGetValueTag(attr)) {
    case IPP_TAG_ENUM: {
      const std::string base = name.substr(0, name.rfind('-'));
      return ippEnumString(base.c_str(), ippGetInteger(attr, index));
    }
    case IPP_TAG_INTEGER:
      return std::to_string(ippGetInteger(attr, index));
    case IPP_TAG_BOOLEAN:
      return ippGetBoolean(attr, index) ? "true" : "false";
    default: {
      const char* text = ippGetString(attr, index, nullptr);
      return text ? text : "";
    }
  }
}

void PrintOption(ipp_t* response, const std::string& name) {
  ipp_attribute_t* supported = ippFindAttribute(response, (name + "-supported").c_str(), IPP_TAG_ZERO);
  if (!supported) return;
  ipp_attribute_t* fallback = ippFindAttribute(response, (name + "-default").c_str(), IPP_TAG_ZERO);
  const std::string defaultValue = fallback ? ValueText(fallback, 0) : "";
  if (ippGetValueTag(supported) == IPP_TAG_RANGE) {
    int upper = 0;
    const int lower = ippGetRange(supported, 0, &upper);
    std::printf("  -o %s=%d to %d%s\n", name.c_str(), lower, upper,
                defaultValue.empty() ? "" : (" (default " + defaultValue + ")").c_str());
    return;
  }
  if (name == "print-darkness" && ippGetValueTag(supported) == IPP_TAG_INTEGER) {
    std::printf("  -o print-darkness=-100 to 100 (default %s)\n",
                defaultValue.empty() ? "0" : defaultValue.c_str());
    return;
  }
  if (ippGetValueTag(supported) == IPP_TAG_BOOLEAN) return;  // "supported" flags, not choices
  for (int i = 0; i < ippGetCount(supported); ++i) {
    const std::string value = ValueText(supported, i);
    std::printf("  -o %s=%s%s\n", name.c_str(), value.c_str(), value == defaultValue ? " (default)" : "");
  }
}

int ShowOptions(const std::string& baseName, ServerConnection& server, const ClientArgs& args) {
  const std::string printer = server.PrinterOrDefault(args.printer);
  if (printer.empty()) {
    std::fprintf(stderr, "%s: no printer given and no default printer\n", baseName.c_str());
    return 1;
  }
  IppPtr response =
      server.PrinterAttributes(printer, {"job-creation-attributes-supported", "copies-supported",
                                         "printer-darkness-supported", "printer-darkness-configured"});
  ipp_attribute_t* jobAttributes =
      ippFindAttribute(response.get(), "job-creation-attributes-supported", IPP_TAG_KEYWORD);
  if (!jobAttributes) {
    std::fprintf(stderr, "%s: cannot get the options of '%s': %s\n", baseName.c_str(), printer.c_str(),
                 cupsLastErrorString());
    return 1;
  }
  std::vector<std::string> names;
  for (int i = 0; i < ippGetCount(jobAttributes); ++i) {
    const std::string name = ippGetString(jobAttributes, i, nullptr);
    if (!kUnlisted.count(name)) names.push_back(name);
  }
  response = server.PrinterAttributes(printer, [&] {
    std::vector<std::string> wanted = {"copies-supported", "printer-darkness-supported"};
    for (const std::string& name : names) wanted.push_back(name + "-supported");
    return wanted;
  }());
  int maxCopies = 999;
  if (ipp_attribute_t* copies = ippFindAttribute(response.get(), "copies-supported", IPP_TAG_RANGE))
    ippGetRange(copies, 0, &maxCopies);
  std::printf("Print job options:\n  -n COPIES or -c COPIES (1 to %d)\n  -t TITLE\n", maxCopies);
  for (const std::string& name : names) PrintOption(response.get(), name);
  std::printf("\nPrinter options (modify -d %s -o NAME=VALUE):\n", printer.c_str());
  if (ippFindAttribute(response.get(), "printer-darkness-supported", IPP_TAG_ZERO))
    std::printf("  -o printer-darkness=0 to 100\n");
  std::printf(
      "  -o printer-geo-location='geo:LATITUDE,LONGITUDE'\n  -o printer-location='LOCATION'\n"
      "  -o printer-organization='ORGANIZATION'\n  -o printer-organizational-unit='UNIT/SECTION'\n");
  return 0;
}

// Needs no server: the one driver, for every device ID or the one given.
int ShowDrivers(const ClientArgs& args) {
  for (const auto& [name, value] : args.options)
    if (name == "device-id" && !IsLabelPrinterId(value.c_str())) return 0;
  std::printf("%s \"%s\" \"%s\"\n", kDriverName, kDriverDescription, kDeviceId);
  return 0;
}

}  // namespace

ClientArgs ParseClientArgs(const std::vector<std::string>& args) {
  ClientArgs out;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      out.files.insert(out.files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (arg == "--wait") {
      out.wait = true;
      continue;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      out.files.push_back(arg);
      continue;
    }
    if (arg.size() != 2 || std::strchr("dcjnotu", arg[1]) == nullptr)
      throw std::invalid_argument("unknown option '" + arg + "'");
    if (i + 1 >= args.size()) throw std::invalid_argument("a value must follow " + arg);
    const std::string& value = args[++i];
    switch (arg[1]) {
      case 'd':
        out.printer = value;
        break;
      case 'j':
        out.jobId = value;
        break;
      case 'c':
      case 'n':
        out.copies = value;
        break;
      case 't':
        out.title = value;
        break;
      case 'u':
        out.printerUri = value;
        break;
      case 'o':
        AddOptions(value, &out);
        break;
    }
  }
  return out;
}

ServerConnection::ServerConnection(const std::string& socketPath) {
  m_http = httpConnect2(socketPath.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000,
                        nullptr);
}

ServerConnection::ServerConnection(const std::string& printerUri, PrinterAddress* printer) {
  *printer = {};
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, printerUri.c_str(), scheme, sizeof scheme, userpass,
                      sizeof userpass, host, sizeof host, &port, resource,
                      sizeof resource) < HTTP_URI_STATUS_OK)
    return;
  const std::string kind = scheme;
  if (kind != "ipp" && kind != "ipps" && kind != "http" && kind != "https") return;
  const bool encrypted = kind == "ipps" || kind == "https";
  printer->uri = printerUri;
  m_http = httpConnect2(host, port, nullptr, AF_UNSPEC,
                        encrypted ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr);
  if (!m_http) return;
  const std::string path = resource;
  const size_t slash = path.find_last_of('/');
  printer->name = slash == std::string::npos || slash + 1 == path.size() ? host : path.substr(slash + 1);
  printer->resource = path;
}

ServerConnection::~ServerConnection() {
  if (m_http) httpClose(m_http);
}

IppPtr ServerConnection::Send(ipp_t* request, const std::string& resource) {
  if (!ippFindAttribute(request, "requesting-user-name", IPP_TAG_ZERO))
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  return IppPtr(cupsDoRequest(m_http, request, resource.c_str()));
}

std::string ServerConnection::PrinterOrDefault(const std::string& printer) {
  if (!printer.empty()) return printer;
  ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
  IppPtr response = Send(request, "/ipp/system");
  const char* name = ippGetString(ippFindAttribute(response.get(), "printer-name", IPP_TAG_NAME), 0, nullptr);
  return name ? name : "";
}

IppPtr ServerConnection::PrinterAttributes(const std::string& printer,
                                           const std::vector<std::string>& names) {
  return PrinterAttributes(LocalPrinter(printer), names);
}

IppPtr ServerConnection::PrinterAttributes(const PrinterAddress& printer,
                                           const std::vector<std::string>& names) {
  ipp_t* request = PrinterRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, printer);
  std::vector<std::string> wanted;
  for (const std::string& name : names) {
    wanted.push_back(name);
    const std::string suffix = "-supported";
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      wanted.push_back(name.substr(0, name.size() - suffix.size()) + "-default");
  }
  std::vector<const char*> pointers;
  for (const std::string& name : wanted) pointers.push_back(name.c_str());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(pointers.size()), nullptr, pointers.data());
  return Send(request, printer.resource);
}

std::string PrinterUri(const std::string& printer) {
  char uri[1024];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0, "/ipp/print/%s",
                   printer.c_str());
  return uri;
}

std::string PrinterResource(const std::string& printer) { return "/ipp/print/" + printer; }

PrinterAddress LocalPrinter(const std::string& printer) {
  return {printer, PrinterUri(printer), PrinterResource(printer)};
}

ipp_t* PrinterRequest(ipp_op_t operation, const std::string& printer) {
  return PrinterRequest(operation, LocalPrinter(printer));
}

ipp_t* PrinterRequest(ipp_op_t operation, const PrinterAddress& printer) {
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printer.uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  return request;
}

std::string JobStateName(int state) {
  const char* name = ippEnumString("job-state", state);
  return name ? name : "unknown";
}

std::string ValuesText(ipp_attribute_t* attr) {
  std::string text;
  for (int i = 0; attr && i < ippGetCount(attr); ++i) text += (i ? ", " : "") + ValueText(attr, i);
  return text;
}

bool IsClientCommand(std::string_view subcommand) {
  for (const char* command : kCommands)
    if (subcommand == command) return true;
  return false;
}

int RunClientCommand(const std::string& baseName, const std::string& subcommand,
                     const std::vector<std::string>& args, const std::string& socketPath) {
  ClientArgs parsed;
  try {
    parsed = ParseClientArgs(args);
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "%s %s: %s (see --help)\n", baseName.c_str(), subcommand.c_str(), e.what());
    return 2;
  }
  if (subcommand == "drivers") return ShowDrivers(parsed);
  if (subcommand == "submit") return RunSubmit(baseName, parsed, socketPath);
  ServerConnection server(socketPath);
  if (!server.Ok()) {
    std::fprintf(stderr, "%s: cannot connect to the server on %s\n", baseName.c_str(), socketPath.c_str());
    return 1;
  }
  if (subcommand == "status") return ShowStatus(baseName, server, parsed);
  return ShowOptions(baseName, server, parsed);
}

}  // namespace qxapp
