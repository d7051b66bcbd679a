#include "printer_app/label_driver/raw_stream.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "common/tool_error.h"
#include "common/wire/wire_reader.h"
#include "printer_app/label_driver/label_driver.h"
#include "stream/commands.h"

namespace qxapp {
namespace {

class PageCounter : public qxvn::wire::StreamListener {
 public:
  void OnPageEnd(const qxvn::wire::Page&) override { ++pages; }
  unsigned pages = 0;
};

// Jobs (by id: never given twice) whose spooled stream was refused, until their request is
// answered. A document uploaded on the web interface gets no IPP answer; its refusal stays.
std::mutex g_lock;
std::map<std::pair<pappl_printer_t*, int>, std::string> g_refused;

std::pair<pappl_printer_t*, int> KeyOf(pappl_job_t* job) {
  return {papplJobGetPrinter(job), papplJobGetID(job)};
}

std::string TakeRefusal(pappl_job_t* job) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto refused = g_refused.find(KeyOf(job));
  if (refused == g_refused.end()) return {};
  std::string why = std::move(refused->second);
  g_refused.erase(refused);
  return why;
}

}  // namespace

std::unique_ptr<qxvn::MappedFile> ReadRawStream(const std::string& path, std::string* why) {
  std::unique_ptr<qxvn::MappedFile> file;
  try {
    file = std::make_unique<qxvn::MappedFile>(path);
  } catch (const qxvn::ToolError& e) {
    *why = e.what();
    return nullptr;
  }
  PageCounter counter;
  if (const auto error = qxvn::wire::ReadStream(file->Bytes(), counter)) {
    *why = "the label stream is malformed at byte " + std::to_string(error->offset) + ": " + error->message;
    return nullptr;
  }
  if (counter.pages == 0) {
    *why = "the label stream holds no label";
    return nullptr;
  }
  return file;
}

const char* SniffRawStream(const unsigned char* header, size_t size, void*) {
  static constexpr unsigned char kPageBegin[] = {PACKAGE_HEAD, CMD_PAGE_BEGIN, 0, PACKAGE_TAIL};
  return size >= sizeof kPageBegin && std::memcmp(header, kPageBegin, sizeof kPageBegin) == 0 ? kPrinterFormat
                                                                                              : nullptr;
}

void CheckSubmittedStream(pappl_job_t* job, const char* filename) {
  const char* format = papplJobGetFormat(job);
  if (!format || std::strcmp(format, kPrinterFormat) != 0 || !filename) return;
  std::string why;
  if (ReadRawStream(filename, &why)) return;
  std::lock_guard<std::mutex> hold(g_lock);
  g_refused[KeyOf(job)] = "Unable to print the label stream: " + why + ".";
}

std::string StreamRefusalFor(pappl_client_t* client, ipp_status_t status, const char* message) {
  const ipp_op_t op = papplClientGetOperation(client);
  if (status != IPP_STATUS_OK || message || (op != IPP_OP_PRINT_JOB && op != IPP_OP_SEND_DOCUMENT)) return "";
  // Print-Job's job is the printer's newest; should another have come since, the refusal is
  // not answered, and the job still ends aborted with it.
  pappl_printer_t* printer = papplClientGetPrinter(client);
  pappl_job_t* job = op == IPP_OP_SEND_DOCUMENT ? papplClientGetJob(client)
                     : printer ? papplPrinterFindJob(printer, papplPrinterGetNextJobID(printer) - 1)
                               : nullptr;
  return job ? TakeRefusal(job) : std::string();
}

}  // namespace qxapp
