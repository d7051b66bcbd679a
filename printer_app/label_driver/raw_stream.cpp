#include "printer_app/label_driver/raw_stream.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "common/tool_error.h"
#include "common/wire/wire_reader.h"
#include "printer_app/label_driver/label_driver.h"
#include "printer_app/pappl_layer/original_symbol.h"
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

}  // namespace qxapp

extern "C" {

// The success answer of a document's request whose raw stream was refused becomes the refusal.
// The job itself ends aborted with the same reason when its turn comes, sending nothing.
__attribute__((visibility("default"))) ipp_t* papplClientRespondIPP(pappl_client_t* client,
                                                                    ipp_status_t status, const char* message,
                                                                    ...) {
  using Fn = ipp_t* (*)(pappl_client_t*, ipp_status_t, const char*, ...);
  static const Fn original = qxapp::Original<Fn>("papplClientRespondIPP");
  const ipp_op_t op = papplClientGetOperation(client);
  if (status == IPP_STATUS_OK && !message && (op == IPP_OP_PRINT_JOB || op == IPP_OP_SEND_DOCUMENT)) {
    // Print-Job's job is the printer's newest; should another have come since, the refusal is
    // not answered, and the job still ends aborted with it.
    pappl_printer_t* printer = papplClientGetPrinter(client);
    pappl_job_t* job = op == IPP_OP_SEND_DOCUMENT ? papplClientGetJob(client)
                       : printer ? papplPrinterFindJob(printer, papplPrinterGetNextJobID(printer) - 1)
                                 : nullptr;
    const std::string why = job ? qxapp::TakeRefusal(job) : std::string();
    if (!why.empty()) return original(client, IPP_STATUS_ERROR_DOCUMENT_FORMAT_ERROR, "%s", why.c_str());
  }
  if (!message) return original(client, status, nullptr);
  char text[2048];
  va_list args;
  va_start(args, message);
  std::vsnprintf(text, sizeof text, message, args);
  va_end(args);
  return original(client, status, "%s", text);
}

}  // extern "C"
