#include "printer_app/cli/preview_command.h"

#include <cups/cups.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/io/atomic_output.h"
#include "common/tool_error.h"

namespace qxapp {
namespace {

constexpr const char* kUsage =
    "usage: %s preview -j JOB [-o FILE.png]\n"
    "\n"
    "Writes every label of job JOB as it prints (for a job still waiting, as it will print): one\n"
    "1-bit PNG a label at 300 dpi, one pixel a dot, the same pictures as `qxvn decode` draws of\n"
    "the job's stream. FILE.png for one label, FILE-1.png, FILE-2.png... for several (default\n"
    "job-JOB.png). Only the job's owner and the administrators may.\n";

// The body of a GET of `resource`, and its status.
http_status_t Get(http_t* http, const std::string& resource, std::string* body) {
  httpClearFields(http);
  httpSetField(http, HTTP_FIELD_HOST, "localhost");
  if (httpGet(http, resource.c_str()) != 0) return HTTP_STATUS_ERROR;
  http_status_t status;
  while ((status = httpUpdate(http)) == HTTP_STATUS_CONTINUE) {
  }
  body->clear();
  char buffer[16384];
  ssize_t bytes;
  while ((bytes = httpRead2(http, buffer, sizeof buffer)) > 0)
    body->append(buffer, static_cast<size_t>(bytes));
  return status;
}

std::string PicturePath(const std::string& out, size_t label, size_t labels) {
  if (labels == 1) return out;
  std::string base = out;
  std::string suffix;
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".png") == 0) {
    base.resize(base.size() - 4);
    suffix = ".png";
  }
  return base + "-" + std::to_string(label) + suffix;
}

int Fail(const std::string& baseName, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", baseName.c_str(), message.c_str());
  return 1;
}

std::string Refusal(http_status_t status, const std::string& job) {
  if (status == HTTP_STATUS_FORBIDDEN || status == HTTP_STATUS_UNAUTHORIZED)
    return "not allowed: the labels of job " + job + " are for its owner and the administrators";
  if (status == HTTP_STATUS_NOT_FOUND) return "no job " + job;
  return std::string("the server answered ") + httpStatus(status);
}

}  // namespace

int RunPreviewCommand(const std::string& baseName, const std::string& socket,
                      const std::vector<std::string>& args) {
  if (socket.empty()) {  // --help
    std::printf(kUsage, baseName.c_str());
    return 0;
  }
  std::string job, out;
  const size_t argc = args.size();
  for (size_t i = 0; i < argc; ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::printf(kUsage, baseName.c_str());
      return 0;
    }
    if (arg == "-j" && i + 1 < argc) {
      job = args[++i];
      continue;
    }
    if (arg == "-o" && i + 1 < argc) {
      out = args[++i];
      continue;
    }
    if (arg == "-d" && i + 1 < argc) {  // job ids are the system's: the printer changes nothing
      ++i;
      continue;
    }
    std::fprintf(stderr, "%s: preview: unexpected '%s'\n", baseName.c_str(), arg.c_str());
    std::fprintf(stderr, kUsage, baseName.c_str());
    return 2;
  }
  char* end = nullptr;
  const long id = job.empty() ? 0 : std::strtol(job.c_str(), &end, 10);
  if (id <= 0 || *end) {
    std::fprintf(stderr, "%s: preview needs -j JOB, a job id\n", baseName.c_str());
    return 2;
  }
  if (out.empty()) out = "job-" + job + ".png";

  std::unique_ptr<http_t, decltype(&httpClose)> http(
      httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 30000, nullptr),
      &httpClose);
  if (!http) return Fail(baseName, "cannot reach the server on " + socket);

  std::string body;
  http_status_t status = Get(http.get(), "/qxvn/labels?fresh=1&job=" + job, &body);
  if (status != HTTP_STATUS_OK) return Fail(baseName, Refusal(status, job));
  const size_t newline = body.find('\n');
  const size_t count = std::strtoul(body.c_str(), nullptr, 10);
  std::string problem = newline == std::string::npos ? "" : body.substr(newline + 1);
  while (!problem.empty() && problem.back() == '\n') problem.pop_back();
  if (count == 0) return Fail(baseName, "job " + job + " has no labels to show: " + problem);

  // Every label is fetched before any file appears, so a failure leaves no partial set behind.
  try {
    std::vector<std::unique_ptr<qxvn::AtomicOutput>> outputs;
    for (size_t label = 1; label <= count; ++label) {
      status = Get(http.get(), "/qxvn/label.png?job=" + job + "&label=" + std::to_string(label), &body);
      if (status != HTTP_STATUS_OK) return Fail(baseName, Refusal(status, job));
      outputs.push_back(std::make_unique<qxvn::AtomicOutput>(PicturePath(out, label, count)));
      if (!outputs.back()->Write(body.data(), body.size()))
        throw qxvn::ToolError(outputs.back()->FailureText());
      outputs.back()->Seal();
    }
    for (size_t i = 0; i < outputs.size(); ++i) {
      outputs[i]->Commit();
      std::printf("%s: label %zu of %zu\n", outputs[i]->Path().c_str(), i + 1, count);
    }
  } catch (const qxvn::ToolError& e) {
    return Fail(baseName, e.what());
  }
  if (!problem.empty()) std::fprintf(stderr, "%s: warning: %s\n", baseName.c_str(), problem.c_str());
  return 0;
}

}  // namespace qxapp
