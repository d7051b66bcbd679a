// The library answers IPP through papplClientRespond, draws its job tables with papplJobGetName
// and papplJobGetUsername inside a printer page's header and footer, all through its symbol
// table: the app's versions hide what a viewer may not see before it goes out.
#include "printer_app/access/job_privacy.h"

#include <cstring>
#include <string>
#include <vector>

#include "printer_app/label_driver/barcode_hold.h"
#include "printer_app/pappl_layer/original_symbol.h"

namespace qxapp {
namespace {

constexpr const char* kPrivateAttributes[] = {"job-name",
                                              "job-originating-user-name",
                                              "job-originating-user-uri",
                                              "job-originating-host-name",
                                              "document-name-supplied",
                                              "job-account-id",
                                              "job-accounting-user-id"};

constexpr const char* kHidden = "(hidden)";

// The viewer of the web page this thread draws, and whether it administers.
thread_local pappl_client_t* t_viewer = nullptr;
thread_local bool t_viewerAdministers = false;

bool Administers(pappl_client_t* client) { return papplClientIsAuthorized(client) == HTTP_STATUS_CONTINUE; }

// The name the client goes by: the account it was recognised or signed in as, else the name its
// request gives.
std::string Requester(pappl_client_t* client) {
  if (const char* user = papplClientGetUsername(client)) return user;
  if (ipp_t* request = papplClientGetRequest(client))
    if (ipp_attribute_t* name = ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME))
      if (const char* given = ippGetString(name, 0, nullptr)) return given;
  return "";
}

bool Owns(const std::string& requester, const char* owner) {
  return !requester.empty() && owner && requester == owner;
}

// One job's attributes in an answer: its group, up to the next separator.
struct JobGroup {
  std::vector<ipp_attribute_t*> attributes;
  int id = 0;
  const char* owner = nullptr;  // as the answer gives it
};

// The groups that describe jobs: job groups, or event notifications (whose job is notify-job-id).
std::vector<JobGroup> JobGroups(ipp_t* response, ipp_tag_t tag, const char* idName) {
  std::vector<JobGroup> groups;
  bool open = false;
  for (ipp_attribute_t* attr = ippFirstAttribute(response); attr; attr = ippNextAttribute(response)) {
    if (ippGetGroupTag(attr) != tag || !ippGetName(attr)) {
      open = false;
      continue;
    }
    if (!open) groups.emplace_back();
    open = true;
    JobGroup& group = groups.back();
    group.attributes.push_back(attr);
    const char* name = ippGetName(attr);
    if (std::strcmp(name, idName) == 0) group.id = ippGetInteger(attr, 0);
    if (std::strcmp(name, "job-originating-user-name") == 0) group.owner = ippGetString(attr, 0, nullptr);
  }
  return groups;
}

void HideOthersJobs(pappl_client_t* client) {
  const ipp_op_t op = papplClientGetOperation(client);
  ipp_t* response = papplClientGetResponse(client);
  if ((op != IPP_OP_GET_JOBS && op != IPP_OP_GET_JOB_ATTRIBUTES && op != IPP_OP_GET_NOTIFICATIONS) ||
      !response)
    return;
  const bool events = op == IPP_OP_GET_NOTIFICATIONS;
  std::vector<JobGroup> groups = events ? JobGroups(response, IPP_TAG_EVENT_NOTIFICATION, "notify-job-id")
                                        : JobGroups(response, IPP_TAG_JOB, "job-id");
  if (groups.empty()) return;
  const std::string requester = Requester(client);
  pappl_printer_t* printer = papplClientGetPrinter(client);
  std::vector<ipp_attribute_t*> hide;
  int administers = -1;  // asked once, when needed
  for (const JobGroup& group : groups) {
    if (events && group.id <= 0 && !group.owner) continue;  // not about a job
    pappl_job_t* job = printer && group.id > 0 ? papplPrinterFindJob(printer, group.id) : nullptr;
    if (Owns(requester, job ? papplJobGetUsername(job) : group.owner)) continue;
    if (administers < 0) administers = Administers(client) ? 1 : 0;
    if (administers) return;
    for (ipp_attribute_t* attr : group.attributes)
      if (IsPrivateJobAttribute(ippGetName(attr))) hide.push_back(attr);
  }
  for (ipp_attribute_t* attr : hide) ippDeleteAttribute(response, attr);
}

// Whether the web page's viewer may see the job's name and owner.
bool ViewerSees(pappl_job_t* job) {
  if (!t_viewer || t_viewerAdministers) return true;
  using Fn = const char* (*)(pappl_job_t*);
  static const Fn ownerOf = Original<Fn>("papplJobGetUsername");
  return Owns(Requester(t_viewer), ownerOf(job));
}

}  // namespace

void SetWebViewer(pappl_client_t* client) {
  t_viewer = client;
  t_viewerAdministers = client && Administers(client);
}

bool IsPrivateJobAttribute(const char* name) {
  if (!name) return false;
  for (const char* hidden : kPrivateAttributes)
    if (std::strcmp(name, hidden) == 0) return true;
  return false;
}

void DescribeJobPrivacy(ipp_t* printerAttributes) {
  if (!ippFindAttribute(printerAttributes, "job-privacy-attributes", IPP_TAG_ZERO))
    ippAddString(printerAttributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "job-privacy-attributes", nullptr,
                 "default");
  if (!ippFindAttribute(printerAttributes, "job-privacy-scope", IPP_TAG_ZERO))
    ippAddString(printerAttributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "job-privacy-scope", nullptr, "owner");
}

}  // namespace qxapp

extern "C" {

__attribute__((visibility("default"))) bool papplClientRespond(pappl_client_t* client, http_status_t code,
                                                               const char* content_coding, const char* type,
                                                               time_t last_modified, size_t length) {
  using Fn = bool (*)(pappl_client_t*, http_status_t, const char*, const char*, time_t, size_t);
  static const Fn original = qxapp::Original<Fn>("papplClientRespond");
  if (client && code == HTTP_STATUS_OK && type && std::strcmp(type, "application/ipp") == 0) {
    qxapp::HideOthersJobs(client);
    qxapp::ShowHoldReasons(client);
    // The length PAPPL gave was the answer's before these changes.
    if (ipp_t* response = papplClientGetResponse(client)) length = ippLength(response);
  }
  return original(client, code, content_coding, type, last_modified, length);
}

__attribute__((visibility("default"))) const char* papplJobGetName(pappl_job_t* job) {
  using Fn = const char* (*)(pappl_job_t*);
  static const Fn original = qxapp::Original<Fn>("papplJobGetName");
  return !job || qxapp::ViewerSees(job) ? original(job) : qxapp::kHidden;
}

__attribute__((visibility("default"))) const char* papplJobGetUsername(pappl_job_t* job) {
  using Fn = const char* (*)(pappl_job_t*);
  static const Fn original = qxapp::Original<Fn>("papplJobGetUsername");
  return !job || qxapp::ViewerSees(job) ? original(job) : qxapp::kHidden;
}

// A printer's web page (its home and jobs pages among them) is drawn between its header and
// footer: the viewer is known from one to the other.
__attribute__((visibility("default"))) void papplClientHTMLPrinterHeader(pappl_client_t* client,
                                                                         pappl_printer_t* printer,
                                                                         const char* title, int refresh,
                                                                         const char* label,
                                                                         const char* path_or_url) {
  using Fn = void (*)(pappl_client_t*, pappl_printer_t*, const char*, int, const char*, const char*);
  static const Fn original = qxapp::Original<Fn>("papplClientHTMLPrinterHeader");
  qxapp::SetWebViewer(client);
  original(client, printer, title, refresh, label, path_or_url);
}

__attribute__((visibility("default"))) void papplClientHTMLPrinterFooter(pappl_client_t* client) {
  using Fn = void (*)(pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("papplClientHTMLPrinterFooter");
  original(client);
  qxapp::SetWebViewer(nullptr);
}

}  // extern "C"
