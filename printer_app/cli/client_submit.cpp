// `submit`: one Print-Job a file, its -o options typed as the printer announces them, so that
// an option it does not know is refused here and a value it cannot honour by the server; never
// dropped on the way.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>

#include "printer_app/cli/client_request.h"

namespace qxapp {
namespace {

// Members of media-col a command line may give by themselves.
constexpr const char* kMediaMembers[] = {"media-source", "media-tracking", "media-type"};

bool IsMediaMember(const std::string& name) {
  for (const char* member : kMediaMembers)
    if (name == member) return true;
  return false;
}

int WholeNumber(const std::string& name, const std::string& value) {
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end || errno == ERANGE || number < -0x7FFFFFFFL || number > 0x7FFFFFFFL)
    throw std::invalid_argument("-o " + name + "=" + value + ": not a whole number");
  return static_cast<int>(number);
}

int EnumValue(const std::string& name, const std::string& value) {
  if (const int known = ippEnumValue(name.c_str(), value.c_str()); known > 0) return known;
  return WholeNumber(name, value);
}

bool Offers(ipp_attribute_t* list, const std::string& name) {
  return ippContainsString(list, name.c_str()) != 0;
}

// Adds -o NAME=VALUE to the job's attributes, typed by NAME-supported.
void AddJobOption(ipp_t* request, ipp_t* printer, const std::string& name, const std::string& value) {
  ipp_attribute_t* creatable =
      ippFindAttribute(printer, "job-creation-attributes-supported", IPP_TAG_KEYWORD);
  if (!Offers(creatable, name))
    throw std::invalid_argument("-o " + name + ": not an option of this printer (`options` lists them)");
  if (name == "orientation-requested" || name == "print-quality") {
    ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_ENUM, name.c_str(), EnumValue(name, value));
    return;
  }
  if (name == "page-ranges") {
    int first = 0, last = 0;
    char extra = 0;
    if (std::sscanf(value.c_str(), "%d-%d%c", &first, &last, &extra) != 2)
      throw std::invalid_argument("-o page-ranges=" + value + ": not FIRST-LAST");
    ippAddRange(request, IPP_TAG_JOB, "page-ranges", first, last);
    return;
  }
  ipp_attribute_t* supported = ippFindAttribute(printer, (name + "-supported").c_str(), IPP_TAG_ZERO);
  switch (supported ? ippGetValueTag(supported) : IPP_TAG_KEYWORD) {
    case IPP_TAG_INTEGER:
    case IPP_TAG_RANGE:
      ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, name.c_str(), WholeNumber(name, value));
      break;
    case IPP_TAG_ENUM:
      ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_ENUM, name.c_str(), EnumValue(name, value));
      break;
    case IPP_TAG_BOOLEAN:
      if (value != "true" && value != "false")
        throw std::invalid_argument("-o " + name + "=" + value + ": true or false");
      ippAddBoolean(request, IPP_TAG_JOB, name.c_str(), value == "true");
      break;
    case IPP_TAG_NAME:
      ippAddString(request, IPP_TAG_JOB, IPP_TAG_NAME, name.c_str(), nullptr, value.c_str());
      break;
    default:
      ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, name.c_str(), nullptr, value.c_str());
      break;
  }
}

struct Request {
  IppPtr ipp;
  std::string format;
};

Request BuildRequest(const ClientArgs& args, const PrinterAddress& address, ipp_t* printer,
                     const std::string& documentName) {
  Request out{IppPtr(PrinterRequest(IPP_OP_PRINT_JOB, address)), ""};
  ipp_t* request = out.ipp.get();
  std::string title = args.title;
  std::string media;
  std::vector<std::pair<std::string, std::string>> mediaMembers;
  std::vector<std::pair<std::string, std::string>> jobOptions;
  std::string copies = args.copies;
  for (const auto& [name, value] : args.options) {
    if (name == "document-format")
      out.format = value;
    else if (name == "job-name")
      title = value;
    else if (name == "copies")
      copies = value;
    else if (name == "media")
      media = value;
    else if (IsMediaMember(name))
      mediaMembers.emplace_back(name, value);
    else
      jobOptions.emplace_back(name, value);
  }
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
               (title.empty() ? documentName : title).c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr, documentName.c_str());
  if (!out.format.empty())
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 out.format.c_str());
  if (!copies.empty())
    ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", WholeNumber("copies", copies));
  if (!mediaMembers.empty()) {
    ipp_t* col = ippNew();
    if (!media.empty())
      ippAddString(col, IPP_TAG_ZERO, IPP_TAG_KEYWORD, "media-size-name", nullptr, media.c_str());
    for (const auto& [name, value] : mediaMembers)
      ippAddString(col, IPP_TAG_ZERO, IPP_TAG_KEYWORD, name.c_str(), nullptr, value.c_str());
    ippAddCollection(request, IPP_TAG_JOB, "media-col", col);
    ippDelete(col);
  } else if (!media.empty()) {
    ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, media.c_str());
  }
  for (const auto& [name, value] : jobOptions) AddJobOption(request, printer, name, value);
  return out;
}

// "media=48x99mm, label-rotation=sideways": the attributes the server refused.
std::string Unsupported(ipp_t* response) {
  std::string text;
  for (ipp_attribute_t* attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response)) {
    if (ippGetGroupTag(attr) != IPP_TAG_UNSUPPORTED_GROUP || !ippGetName(attr)) continue;
    char value[256];
    ippAttributeString(attr, value, sizeof value);
    text += (text.empty() ? "" : ", ") + std::string(ippGetName(attr)) + "=" + value;
  }
  return text;
}

// Polls the job until it ends; 0 when it completed.
int WaitForVerdict(const std::string& baseName, ServerConnection& server, const PrinterAddress& address,
                   int jobId) {
  const char* printer = address.name.c_str();
  static const char* const names[] = {"job-state", "job-state-reasons", "job-state-message"};
  int toldState = 0;  // a held or stopped job is said once, so that a wait for it is understood
  for (;;) {
    ipp_t* request = PrinterRequest(IPP_OP_GET_JOB_ATTRIBUTES, printer);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, names);
    IppPtr job = server.Send(request, address.resource);
    if (!job || cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
      std::fprintf(stderr, "%s: lost job %s-%d: %s\n", baseName.c_str(), printer, jobId,
                   cupsLastErrorString());
      return 1;
    }
    const int state = ippGetInteger(ippFindAttribute(job.get(), "job-state", IPP_TAG_ENUM), 0);
    if (state == IPP_JSTATE_COMPLETED) return 0;
    if (state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED) {
      const char* message =
          ippGetString(ippFindAttribute(job.get(), "job-state-message", IPP_TAG_TEXT), 0, nullptr);
      std::fprintf(stderr, "%s: job %s-%d %s: %s (%s)\n", baseName.c_str(), printer, jobId,
                   JobStateName(state).c_str(), message && *message ? message : "no reason given",
                   ValuesText(ippFindAttribute(job.get(), "job-state-reasons", IPP_TAG_KEYWORD)).c_str());
      return 1;
    }
    if ((state == IPP_JSTATE_HELD || state == IPP_JSTATE_STOPPED) && state != toldState) {
      std::fprintf(stderr, "%s: job %s-%d is %s (%s); waiting for it to end\n", baseName.c_str(), printer,
                   jobId, JobStateName(state).c_str(),
                   ValuesText(ippFindAttribute(job.get(), "job-state-reasons", IPP_TAG_KEYWORD)).c_str());
      toldState = state;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

}  // namespace

int RunSubmit(const std::string& baseName, const ClientArgs& args, const std::string& socketPath) {
  std::vector<std::string> files = args.files;
  if (files.empty()) {
    if (isatty(STDIN_FILENO)) {
      std::fprintf(stderr, "%s submit: no file to print (give one, or '-' for standard input)\n",
                   baseName.c_str());
      return 2;
    }
    files.emplace_back("-");
  }
  // -u: a printer of any server, reached as it is by the URI; otherwise the local server's.
  if (!args.printerUri.empty() && !args.printer.empty()) {
    std::fprintf(stderr, "%s submit: -d and -u both name the printer; give one\n", baseName.c_str());
    return 2;
  }
  PrinterAddress printer;
  std::unique_ptr<ServerConnection> connection =
      args.printerUri.empty() ? std::make_unique<ServerConnection>(socketPath)
                              : std::make_unique<ServerConnection>(args.printerUri, &printer);
  ServerConnection& server = *connection;
  if (!server.Ok()) {
    if (args.printerUri.empty())
      std::fprintf(stderr, "%s: cannot connect to the server on %s\n", baseName.c_str(), socketPath.c_str());
    else
      std::fprintf(stderr, "%s: cannot connect to the printer %s: %s\n", baseName.c_str(),
                   args.printerUri.c_str(),
                   printer.uri.empty() ? "not an ipp:// or ipps:// URI" : "nothing answers there");
    return 1;
  }
  if (args.printerUri.empty()) {
    printer = LocalPrinter(server.PrinterOrDefault(args.printer));
    if (printer.name.empty()) {
      std::fprintf(stderr, "%s: no printer given and no default printer\n", baseName.c_str());
      return 1;
    }
  }
  IppPtr attrs = server.PrinterAttributes(printer, {"job-creation-attributes-supported"});
  std::vector<std::string> names;
  if (ipp_attribute_t* list =
          ippFindAttribute(attrs.get(), "job-creation-attributes-supported", IPP_TAG_KEYWORD))
    for (int i = 0; i < ippGetCount(list); ++i)
      names.push_back(std::string(ippGetString(list, i, nullptr)) + "-supported");
  names.push_back("job-creation-attributes-supported");
  IppPtr printerAttrs = server.PrinterAttributes(printer, names);

  int status = 0;
  for (const std::string& file : files) {
    const bool fromStdin = file == "-";
    const int fd = fromStdin ? STDIN_FILENO : open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      std::fprintf(stderr, "%s: cannot open %s: %s\n", baseName.c_str(), file.c_str(), std::strerror(errno));
      return 1;
    }
    const size_t slash = file.rfind('/');
    const std::string documentName =
        fromStdin ? "(stdin)" : file.substr(slash == std::string::npos ? 0 : slash + 1);
    Request request;
    try {
      request = BuildRequest(args, printer, printerAttrs.get(), documentName);
    } catch (const std::invalid_argument& e) {
      if (!fromStdin) close(fd);
      std::fprintf(stderr, "%s submit: %s\n", baseName.c_str(), e.what());
      return 2;
    }
    IppPtr response(cupsDoIORequest(server.Http(), request.ipp.release(), printer.resource.c_str(), fd, -1));
    if (!fromStdin) close(fd);
    ipp_attribute_t* jobId = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
    if (!jobId || cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
      const std::string refused = Unsupported(response.get());
      std::fprintf(stderr, "%s: cannot print %s: %s%s\n", baseName.c_str(), file.c_str(),
                   cupsLastErrorString(), refused.empty() ? "" : (" (" + refused + ")").c_str());
      return 1;
    }
    std::printf("%s-%d\n", printer.name.c_str(), ippGetInteger(jobId, 0));
    std::fflush(stdout);
    if (args.wait && WaitForVerdict(baseName, server, printer, ippGetInteger(jobId, 0)) != 0) status = 1;
  }
  return status;
}

}  // namespace qxapp
