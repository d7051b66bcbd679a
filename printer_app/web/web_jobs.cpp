#include "printer_app/web/web_jobs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/barcode/check_report.h"
#include "common/barcode/page_check.h"
#include "common/barcode/symbol_reader.h"
#include "common/io/mapped_file.h"
#include "common/tool_error.h"
#include "common/wire/page_dots.h"
#include "common/wire/stream_labels.h"
#include "printer_app/access/access_policy.h"
#include "printer_app/label_driver/job_labels.h"

namespace qxapp {
namespace {

constexpr const char* kJobPath = "/qxvn/job";
constexpr const char* kLabelPath = "/qxvn/label.png";
constexpr const char* kLabelsPath = "/qxvn/labels";
constexpr const char* kDocumentPath = "/qxvn/document";
constexpr int kMaxZoom = 8;
// A job of many copies lists this many pictures; the rest are counted.
constexpr size_t kMaxLabelsShown = 100;
// The bar codes of this many labels are read for the page (each read costs some milliseconds).
constexpr size_t kMaxLabelsChecked = 20;

// A form posted to a page: its fields and whether its token is this session's.
class Form {
 public:
  explicit Form(pappl_client_t* client) : m_count(papplClientGetForm(client, &m_options)) {}
  ~Form() { cupsFreeOptions(m_count, m_options); }
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const char* Get(const char* name) const { return cupsGetOption(name, m_count, m_options); }
  bool Valid(pappl_client_t* client) const { return papplClientIsValidForm(client, m_count, m_options); }

 private:
  cups_option_t* m_options = nullptr;
  int m_count = 0;
};

// A whole number in [min, max] that the address's query names ("id=5&zoom=2"), else `fallback`.
int QueryNumber(pappl_client_t* client, const char* name, int fallback, int min, int max) {
  const char* options = papplClientGetOptions(client);
  if (!options) return fallback;
  const std::string query = options;
  const std::string key = std::string(name) + "=";
  for (size_t start = 0; start <= query.size();) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    if (query.compare(start, key.size(), key) == 0) {
      const std::string text = query.substr(start + key.size(), end - start - key.size());
      char* stop = nullptr;
      const long value = std::strtol(text.c_str(), &stop, 10);
      return text.empty() || *stop || value < min || value > max ? fallback : static_cast<int>(value);
    }
    start = end + 1;
  }
  return fallback;
}

// What a picture, document or page of a job is sent with: kept by no cache. CUPS 2.4 knows no
// Cache-Control field, so it follows the content type, which papplClientRespond writes as given.
bool RespondPrivate(pappl_client_t* client, http_status_t status, const std::string& type, size_t length) {
  const std::string field =
      (type == "text/html" ? "text/html; charset=utf-8" : type) + "\r\nCache-Control: no-store";
  return papplClientRespond(client, status, nullptr, field.c_str(), 0, length);
}

bool RespondText(pappl_client_t* client, http_status_t status, const std::string& text) {
  if (!RespondPrivate(client, status, "text/plain; charset=utf-8", text.size())) return false;
  return httpWrite2(papplClientGetHTTP(client), text.data(), text.size()) >= 0;
}

// The job the query names, when this client may see it; otherwise the answer is sent (404,
// 403, or the sign-in that an administrator elsewhere is asked for) and nullptr returned.
pappl_job_t* PermittedJob(pappl_client_t* client, const char* field) {
  const int id = QueryNumber(client, field, 0, 1, INT32_MAX);
  pappl_job_t* job = id ? FindSystemJob(papplClientGetSystem(client), id) : nullptr;
  if (!job) {
    papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
    return nullptr;
  }
  if (MaySeeJobContents(client, job) || papplClientHTMLAuthorize(client)) return job;
  return nullptr;
}

bool SendBytes(pappl_client_t* client, const std::string& type, const uint8_t* bytes, size_t size) {
  if (!RespondPrivate(client, HTTP_STATUS_OK, type, size)) return false;
  return httpWrite2(papplClientGetHTTP(client), reinterpret_cast<const char*>(bytes), size) >= 0;
}

bool LabelPicture(pappl_client_t* client, void*) {
  pappl_job_t* job = PermittedJob(client, "job");
  if (!job) return true;
  const auto label = static_cast<unsigned>(QueryNumber(client, "label", 1, 1, INT32_MAX));
  const JobStream stream = StreamOfJob(job, false);
  if (stream.path.empty()) return RespondText(client, HTTP_STATUS_NOT_FOUND, stream.why + "\n");
  try {
    qxvn::MappedFile bytes(stream.path);
    std::optional<std::vector<uint8_t>> png = qxvn::wire::LabelPng(bytes.Bytes(), label);
    if (!png)
      return RespondText(client, HTTP_STATUS_NOT_FOUND,
                         "The job has no label " + std::to_string(label) + ".\n");
    return SendBytes(client, "image/png", png->data(), png->size());
  } catch (const qxvn::ToolError& e) {
    return RespondText(client, HTTP_STATUS_NOT_FOUND,
                       std::string("Unable to draw the label: ") + e.what() + "\n");
  }
}

struct Survey {
  qxvn::wire::StreamLabels labels;
  JobStream stream;
  std::string problem;  // why there are no labels, or where the stream stops
};

Survey SurveyJob(pappl_job_t* job, bool fresh) {
  Survey survey;
  survey.stream = StreamOfJob(job, fresh);
  if (survey.stream.path.empty()) {
    survey.problem = survey.stream.why;
    return survey;
  }
  try {
    qxvn::MappedFile bytes(survey.stream.path);
    survey.labels = qxvn::wire::SurveyLabels(bytes.Bytes());
    if (survey.labels.error)
      survey.problem = "The stream stops at byte " + std::to_string(survey.labels.error->offset) + ": " +
                       survey.labels.error->message;
    else if (survey.labels.labels.empty())
      survey.problem = "The job's stream holds no label.";
  } catch (const qxvn::ToolError& e) {
    survey.problem = e.what();
  }
  return survey;
}

bool LabelCount(pappl_client_t* client, void*) {
  pappl_job_t* job = PermittedJob(client, "job");
  if (!job) return true;
  const Survey survey = SurveyJob(job, QueryNumber(client, "fresh", 0, 0, 1) == 1);
  return RespondText(client, HTTP_STATUS_OK,
                     std::to_string(survey.labels.labels.size()) + "\n" + survey.problem + "\n");
}

bool JobDocument(pappl_client_t* client, void*) {
  pappl_job_t* job = PermittedJob(client, "job");
  if (!job) return true;
  const char* filename = papplJobGetFilename(job);
  const int fd = filename ? open(filename, O_RDONLY | O_CLOEXEC | O_NOFOLLOW) : -1;
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) close(fd);
    return RespondText(client, HTTP_STATUS_NOT_FOUND, "The job's document is no longer kept.\n");
  }
  const char* format = papplJobGetFormat(job);
  bool ok = RespondPrivate(client, HTTP_STATUS_OK, format ? format : "application/octet-stream",
                           static_cast<size_t>(info.st_size));
  char buffer[16384];
  ssize_t bytes;
  while (ok && (bytes = read(fd, buffer, sizeof buffer)) > 0)
    ok = httpWrite2(papplClientGetHTTP(client), buffer, static_cast<size_t>(bytes)) >= 0;
  close(fd);
  return ok;
}

const char* StateInWords(ipp_jstate_t state) {
  switch (state) {
    case IPP_JSTATE_PENDING:
      return "Waiting to print";
    case IPP_JSTATE_HELD:
      return "Held: prints once released";
    case IPP_JSTATE_PROCESSING:
      return "Printing";
    case IPP_JSTATE_STOPPED:
      return "Stopped";
    case IPP_JSTATE_CANCELED:
      return "Cancelled";
    case IPP_JSTATE_ABORTED:
      return "Failed";
    case IPP_JSTATE_COMPLETED:
      return "Printed";
  }
  return "Unknown";
}

struct ReasonWords {
  pappl_jreason_t reason;
  const char* words;
};
constexpr ReasonWords kReasonWords[] = {
    {PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "the document could not be read"},
    {PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, "the document cannot be printed"},
    {PAPPL_JREASON_ABORTED_BY_SYSTEM, "stopped by the printer application"},
    {PAPPL_JREASON_JOB_CANCELED_BY_USER, "cancelled by a user"},
    {PAPPL_JREASON_JOB_CANCELED_AT_DEVICE, "cancelled at the printer"},
    {PAPPL_JREASON_JOB_HOLD_UNTIL_SPECIFIED, "held until released"},
    {PAPPL_JREASON_PRINTER_STOPPED, "the printer is stopped"},
    {PAPPL_JREASON_ERRORS_DETECTED, "errors were found"},
};

std::string ReasonInWords(pappl_job_t* job) {
  std::string words;
  const pappl_jreason_t reasons = papplJobGetReasons(job);
  for (const ReasonWords& entry : kReasonWords)
    if (reasons & entry.reason) words += (words.empty() ? "" : "; ") + std::string(entry.words);
  if (const char* message = papplJobGetMessage(job); message && *message)
    words += (words.empty() ? "" : ": ") + std::string(message);
  return words;
}

// "48 x 76 mm": the job's media-col, else the printer's default label.
std::string LabelSizeOf(pappl_job_t* job) {
  int width = 0, length = 0;
  if (!LabelSizeOfJob(job, &width, &length)) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
    width = data.media_default.size_width;
    length = data.media_default.size_length;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%g x %g mm", width / 100.0, length / 100.0);
  return text;
}

// PAPPL's HTML printf knows no size or long long conversions: such text is made here.
template <typename... Args>
void HTMLFormat(pappl_client_t* client, const char* format, Args... args) {
  char text[1024];
  std::snprintf(text, sizeof text, format, args...);
  papplClientHTMLPuts(client, text);
}

void Row(pappl_client_t* client, const char* name, const std::string& value) {
  papplClientHTMLPrintf(client, "<tr><th>%s:</th><td>", name);
  papplClientHTMLEscape(client, value.c_str(), 0);
  papplClientHTMLPuts(client, "</td></tr>\n");
}

// A bar code read from a label's printed dots, with the grade the print-quality check gives
// those dots.
struct LabelBarcode {
  qxvn::barcode::Symbol symbol;
  std::optional<qxvn::barcode::LinearGrade> grade;  // linear symbols only
};

// The bar codes of label `number` of the stream, read and graded as the check reads the printed
// dots. A label whose dots cannot be read gives none.
std::vector<LabelBarcode> BarcodesOf(std::span<const uint8_t> stream, unsigned number) {
  std::vector<LabelBarcode> found;
  try {
    qxvn::wire::WithLabel(stream, number, [&found](const qxvn::wire::Page& page) {
      const qxvn::barcode::GrayImage dots = qxvn::wire::PageDots(page);
      for (qxvn::barcode::Symbol& symbol : qxvn::barcode::ReadSymbols(dots.View())) {
        LabelBarcode code{std::move(symbol), std::nullopt};
        if (code.symbol.linear) code.grade = qxvn::barcode::GradePrinted(dots.View(), code.symbol);
        found.push_back(std::move(code));
      }
    });
  } catch (const qxvn::ToolError&) {
    found.clear();
  }
  return found;
}

// Each bar code as a box over the picture, red when graded F, named with its format, data,
// grade and the parameter that set the grade.
void DrawBarcodes(pappl_client_t* client, const std::vector<LabelBarcode>& barcodes, int zoom) {
  for (const LabelBarcode& code : barcodes) {
    const qxvn::barcode::Box& box = code.symbol.box;
    const bool failed = code.grade && code.grade->grade == qxvn::barcode::Grade::kF;
    std::string grade = "not graded";
    if (code.grade) {
      grade = std::string("grade ") + qxvn::barcode::GradeLetter(code.grade->grade);
      if (code.grade->limitedBy != qxvn::barcode::GradeParameter::kNone)
        grade += std::string(" (") + qxvn::barcode::ParameterName(code.grade->limitedBy) + ")";
    }
    HTMLFormat(
        client, "<div class=\"qxvn-barcode%s\" style=\"left:%dpx;top:%dpx;width:%dpx;height:%dpx\" title=\"",
        failed ? " failed" : "", box.left * zoom, box.top * zoom, box.Width() * zoom, box.Height() * zoom);
    const std::string title = qxvn::barcode::SymbolName(code.symbol) + ", " + grade;
    papplClientHTMLEscape(client, title.c_str(), 0);
    papplClientHTMLPuts(client, "\"><span>");
    papplClientHTMLEscape(client, (code.symbol.format + " " + grade).c_str(), 0);
    papplClientHTMLPuts(client, "</span></div>");
  }
}

constexpr const char* kStyle =
    "<style>.qxvn-labels{display:flex;flex-wrap:wrap;gap:16px;align-items:flex-start}"
    ".qxvn-label{margin:0}.qxvn-picture{position:relative;border:1px solid #888;background:#fff}"
    ".qxvn-picture img{display:block;image-rendering:pixelated;image-rendering:crisp-edges}"
    ".qxvn-barcode{position:absolute;border:2px solid #080;box-sizing:border-box}"
    ".qxvn-barcode.failed{border-color:#c00}.qxvn-barcode span{position:absolute;top:-1.4em;left:0;"
    "background:#fff;font-size:12px;white-space:nowrap}.qxvn-zoom a,.qxvn-zoom "
    "b{margin-right:.6em}</style>\n";

void JobActions(pappl_client_t* client, pappl_job_t* job, int zoom) {
  const ipp_jstate_t state = papplJobGetState(job);
  const bool held = state == IPP_JSTATE_HELD;
  const bool cancellable = state < IPP_JSTATE_CANCELED && !papplJobIsCanceled(job);
  if (!held && !cancellable) return;
  const std::string action =
      std::string(kJobPath) + "?id=" + std::to_string(papplJobGetID(job)) + "&zoom=" + std::to_string(zoom);
  papplClientHTMLPuts(client, "<p>");
  if (held) {
    papplClientHTMLStartForm(client, action.c_str(), false);
    papplClientHTMLPuts(client,
                        "<input type=\"hidden\" name=\"action\" value=\"release\"><input type=\"submit\" "
                        "id=\"release\" value=\"Print (release the job)\"></form> ");
  }
  papplClientHTMLStartForm(client, action.c_str(), false);
  papplClientHTMLPuts(client,
                      "<input type=\"hidden\" name=\"action\" value=\"cancel\"><input type=\"submit\" "
                      "id=\"cancel\" value=\"Cancel the job\"></form></p>\n");
}

void LabelPictures(pappl_client_t* client, pappl_job_t* job, const Survey& survey, int zoom) {
  const int id = papplJobGetID(job);
  const size_t count = survey.labels.labels.size();
  HTMLFormat(client, "<h2 class=\"title\">%s (%zu)</h2>\n",
             survey.stream.waiting ? "Labels as they will print" : "Labels as printed", count);
  papplClientHTMLPuts(client, "<p class=\"qxvn-zoom\">Zoom: ");
  for (int z = 1; z <= 4; ++z) {
    if (z == zoom)
      papplClientHTMLPrintf(client, "<b>%d&times;</b>", z);
    else
      papplClientHTMLPrintf(client, "<a href=\"%s?id=%d&zoom=%d\">%d&times;</a>", kJobPath, id, z, z);
  }
  papplClientHTMLPuts(client, " (at 1&times; one dot is one pixel)</p>\n");
  if (!survey.problem.empty()) {
    papplClientHTMLPuts(client, "<p class=\"qxvn-problem\">");
    papplClientHTMLEscape(client, survey.problem.c_str(), 0);
    papplClientHTMLPuts(client, "</p>\n");
  }
  papplClientHTMLPuts(client, "<div class=\"qxvn-labels\">\n");
  std::unique_ptr<qxvn::MappedFile> stream;
  try {
    if (count > 0) stream = std::make_unique<qxvn::MappedFile>(survey.stream.path);
  } catch (const qxvn::ToolError&) {
    stream.reset();
  }
  for (size_t i = 0; i < count && i < kMaxLabelsShown; ++i) {
    const qxvn::wire::LabelSize& size = survey.labels.labels[i];
    const auto width = static_cast<unsigned long long>(size.width) * static_cast<unsigned>(zoom);
    const auto height = static_cast<unsigned long long>(size.height) * static_cast<unsigned>(zoom);
    HTMLFormat(
        client,
        "<figure class=\"qxvn-label\"><div class=\"qxvn-picture\" style=\"width:%llupx;height:%llupx\">"
        "<img src=\"%s?job=%d&label=%zu\" width=\"%llu\" height=\"%llu\" alt=\"Label %zu\">",
        width, height, kLabelPath, id, i + 1, width, height, i + 1);
    if (stream && i < kMaxLabelsChecked)
      DrawBarcodes(client, BarcodesOf(stream->Bytes(), static_cast<unsigned>(i + 1)), zoom);
    HTMLFormat(client, "</div><figcaption>Label %zu of %zu: %u &times; %llu dots</figcaption></figure>\n",
               i + 1, count, size.width, static_cast<unsigned long long>(size.height));
  }
  papplClientHTMLPuts(client, "</div>\n");
  if (count > kMaxLabelsShown)
    HTMLFormat(client, "<p>And %zu more labels, the same pages again.</p>\n", count - kMaxLabelsShown);
}

// Release or cancel: for the job's owner and the administrators. The outcome in words.
std::string TakeAction(pappl_client_t* client, pappl_job_t* job, const Form& form) {
  if (!form.Valid(client)) return "Invalid form submission.";
  const char* action = form.Get("action");
  const char* user = papplClientGetUsername(client);
  if (action && std::strcmp(action, "release") == 0) {
    if (papplJobGetState(job) != IPP_JSTATE_HELD) return "The job is not held.";
    return papplJobRelease(job, user ? user : "guest") ? "Job released: it prints now."
                                                       : "The job cannot be released.";
  }
  if (action && std::strcmp(action, "cancel") == 0) {
    if (papplJobGetState(job) >= IPP_JSTATE_CANCELED) return "The job has ended already.";
    papplJobCancel(job);
    return "Job cancelled.";
  }
  return "Missing action.";
}

bool JobPage(pappl_client_t* client, void*) {
  // The job and the zoom are in the address; a POST's body is its form.
  pappl_job_t* job = PermittedJob(client, "id");
  if (!job) return true;
  std::string outcome;
  if (papplClientGetMethod(client) == HTTP_STATE_POST) {
    Form form(client);
    outcome = TakeAction(client, job, form);
  }
  const int zoom = QueryNumber(client, "zoom", 1, 1, kMaxZoom);
  const int id = papplJobGetID(job);
  const Survey survey = SurveyJob(job, true);
  if (!RespondPrivate(client, HTTP_STATUS_OK, "text/html", 0)) return false;
  const std::string title = "Job " + std::to_string(id);
  const ipp_jstate_t state = papplJobGetState(job);
  papplClientHTMLHeader(client, title.c_str(), state == IPP_JSTATE_PROCESSING ? 5 : 0);
  papplClientHTMLPuts(client, kStyle);
  char jobs[256];
  pappl_printer_t* printer = papplJobGetPrinter(job);
  papplPrinterGetPath(printer, "jobs", jobs, sizeof jobs);
  papplClientHTMLPrintf(
      client, "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">\n<h1 class=\"title\">");
  papplClientHTMLEscape(client, title.c_str(), 0);
  papplClientHTMLPrintf(client, " on <a href=\"%s\">", jobs);
  papplClientHTMLEscape(client, papplPrinterGetName(printer), 0);
  papplClientHTMLPuts(client, "</a></h1>\n");
  if (!outcome.empty()) {
    papplClientHTMLPuts(client, "<div class=\"banner\">");
    papplClientHTMLEscape(client, outcome.c_str(), 0);
    papplClientHTMLPuts(client, "</div>\n");
  }
  papplClientHTMLPuts(client, "<table class=\"form\"><tbody>\n");
  Row(client, "Name", papplJobGetName(job) ? papplJobGetName(job) : "");
  Row(client, "Owner", papplJobGetUsername(job) ? papplJobGetUsername(job) : "");
  Row(client, "Pages",
      papplJobGetImpressions(job) > 0 ? std::to_string(papplJobGetImpressions(job)) : "not known yet");
  Row(client, "Copies", std::to_string(CopiesOfJob(job)));
  Row(client, "Label size", LabelSizeOf(job));
  Row(client, "State", StateInWords(state));
  if (const std::string reason = ReasonInWords(job); !reason.empty())
    Row(client, state == IPP_JSTATE_ABORTED ? "Why it failed" : "Reason", reason);
  const char* format = papplJobGetFormat(job) ? papplJobGetFormat(job) : "the document";
  if (const char* document = papplJobGetFilename(job); document && access(document, R_OK) == 0) {
    papplClientHTMLPrintf(client, "<tr><th>Document:</th><td><a href=\"%s?job=%d\">", kDocumentPath, id);
    papplClientHTMLEscape(client, format, 0);
    papplClientHTMLPuts(client, "</a></td></tr>\n");
  } else {
    papplClientHTMLPuts(client, "<tr><th>Document:</th><td>");
    papplClientHTMLEscape(client, format, 0);
    papplClientHTMLPuts(client, ", no longer kept</td></tr>\n");
  }
  papplClientHTMLPuts(client, "</tbody></table>\n");
  JobActions(client, job, zoom);
  LabelPictures(client, job, survey, zoom);
  papplClientHTMLPuts(client, "</div></div></div>\n");
  papplClientHTMLFooter(client);
  return true;
}

}  // namespace

const char* const kJobListScript =
    "<style>.qxvn-thumb{display:block;max-width:72px;max-height:96px;border:1px solid #888;"
    "background:#fff;image-rendering:pixelated}</style>"
    "<script>(function(){document.querySelectorAll('table.list').forEach(function(t){"
    "var h=t.querySelector('thead tr');if(!h||!/^Job/.test(h.cells[0].textContent))return;"
    "var th=document.createElement('th');th.textContent='Label';h.insertBefore(th,h.firstChild);"
    "t.querySelectorAll('tbody tr').forEach(function(r){var id=parseInt(r.cells[0].textContent,10);"
    "var td=document.createElement('td');if(id>0){var "
    "a=document.createElement('a');a.href='/qxvn/job?id='+id;"
    "var i=document.createElement('img');i.className='qxvn-thumb';i.alt='Label 1 of job '+id;"
    "i.src='/qxvn/label.png?job='+id+'&label=1';i.onerror=function(){i.remove();a.textContent='Labels';};"
    "a.appendChild(i);td.appendChild(a);var n=r.cells[1];if(n){var "
    "b=document.createElement('a');b.href=a.href;"
    "while(n.firstChild)b.appendChild(n.firstChild);n.appendChild(b);}}r.insertBefore(td,r.firstChild);});});"
    "})();</script>";

void AddJobPages(pappl_system_t* system) {
  papplSystemAddResourceCallback(system, kJobPath, "text/html", JobPage, nullptr);
  papplSystemAddResourceCallback(system, kLabelPath, "image/png", LabelPicture, nullptr);
  papplSystemAddResourceCallback(system, kLabelsPath, "text/plain", LabelCount, nullptr);
  papplSystemAddResourceCallback(system, kDocumentPath, "application/octet-stream", JobDocument, nullptr);
}

}  // namespace qxapp
