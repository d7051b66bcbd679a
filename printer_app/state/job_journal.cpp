#include "printer_app/state/job_journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "printer_app/state/job_recovery.h"
#include "printer_app/state/state_line.h"

namespace qxapp {
namespace {

// A journal this long (some thousand job changes) asks for a whole save, which empties it.
constexpr off_t kSaveDueBytes = 512 * 1024;

std::mutex g_lock;
std::string g_path;
int g_fd = -1;  // under g_lock

std::string AsidePath() { return g_path + ".old"; }

int OpenForAppend(const std::string& path, bool empty) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (empty ? O_TRUNC : 0), 0600);
}

// How far a job has come: a journal line never takes a job back to an earlier step.
int Progress(int state) {
  if (state >= IPP_JSTATE_CANCELED) return 3;
  if (state == IPP_JSTATE_STOPPED) return 2;
  if (state == IPP_JSTATE_PROCESSING) return 1;
  return 0;
}

std::string JobLine(pappl_job_t* job) {
  StateLine line;
  line.directive = "Job";
  auto number = [&](const char* name, long long value, bool always = false) {
    if (value || always) line.pairs.emplace_back(name, std::to_string(value));
  };
  number("printer", papplPrinterGetID(papplJobGetPrinter(job)), true);
  number("id", papplJobGetID(job), true);
  line.pairs.emplace_back("name", WithoutControls(papplJobGetName(job)));
  line.pairs.emplace_back("username", WithoutControls(papplJobGetUsername(job)));
  const char* format = papplJobGetFormat(job);
  line.pairs.emplace_back("format", format ? WithoutControls(format) : "application/octet-stream");
  if (const char* filename = papplJobGetFilename(job))
    line.pairs.emplace_back("filename", WithoutControls(filename));
  number("state", papplJobGetState(job), true);
  number("state_reasons", papplJobGetReasons(job));
  number("created", papplJobGetTimeCreated(job));
  number("processing", papplJobGetTimeProcessed(job));
  number("completed", papplJobGetTimeCompleted(job));
  number("impressions", papplJobGetImpressions(job));
  number("imcompleted", papplJobGetImpressionsCompleted(job));
  FitStateLine(&line, {"name", "username"});
  return FormatStateLine(line) + "\n";
}

// The settings PAPPL saves as "Directive text" lines.
bool IsTextSetting(const std::string& line) {
  for (const char* directive :
       {"DNSSDName ", "Location ", "Geolocation ", "GeoLocation ", "Organization ", "OrganizationalUnit "})
    if (line.compare(0, std::strlen(directive), directive) == 0) return true;
  return false;
}

bool AppendText(int fd, const std::string& text) {
  const off_t before = lseek(fd, 0, SEEK_END);
  if (write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size())) return true;
  // Half a line would join the next one: cut it off.
  if (before >= 0) (void)!ftruncate(fd, before);
  return false;
}

std::string ReadText(const std::string& path) {
  std::string text;
  ReadTextFile(path, &text);
  return text;
}

}  // namespace

bool OpenJobJournal(const std::string& path, bool empty) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_fd >= 0) close(g_fd);
  g_path = path;
  g_fd = OpenForAppend(path, empty);
  if (empty) unlink(AsidePath().c_str());
  return g_fd >= 0;
}

bool JobJournalOpen() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_fd >= 0;
}

JournalWrite JournalJob(pappl_job_t* job) {
  const std::string line = JobLine(job);
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_fd < 0 || !AppendText(g_fd, line)) return JournalWrite::kFailed;
  return lseek(g_fd, 0, SEEK_END) > kSaveDueBytes ? JournalWrite::kWrittenSaveDue : JournalWrite::kWritten;
}

bool WriteJobAttributes(pappl_job_t* job, ipp_t* request) {
  ipp_t* attrs = ippNew();
  if (request) {
    if (ipp_attribute_t* info = ippFindAttribute(request, "client-info", IPP_TAG_BEGIN_COLLECTION)) {
      if (ipp_attribute_t* copy = ippCopyAttribute(attrs, info, 0)) ippSetGroupTag(attrs, &copy, IPP_TAG_JOB);
    }
    ippCopyAttributes(
        attrs, request, 0,
        [](void*, ipp_t*, ipp_attribute_t* attr) -> int {
          return ippGetName(attr) && ippGetGroupTag(attr) == IPP_TAG_JOB;
        },
        nullptr);
  }
  for (const char* name :
       {"job-name", "job-originating-user-name", "job-id", "job-uri", "job-uuid", "job-printer-uri"}) {
    if (ippFindAttribute(attrs, name, IPP_TAG_ZERO)) continue;
    if (ipp_attribute_t* attr = papplJobGetAttribute(job, name)) ippCopyAttribute(attrs, attr, 0);
  }
  char path[1024];
  const int fd = papplJobOpenFile(job, path, sizeof path, nullptr, "ipp", "w");
  bool written = false;
  if (fd >= 0) {
    written = ippWriteFile(fd, attrs) != IPP_STATE_ERROR;
    written = close(fd) == 0 && written;
  }
  ippDelete(attrs);
  return written;
}

void RemoveJobAttributes(pappl_job_t* job) {
  char path[1024];
  papplJobOpenFile(job, path, sizeof path, nullptr, "ipp", "x");
}

bool SetJournalAside() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_fd < 0) return false;
  if (access(AsidePath().c_str(), F_OK) == 0) {
    // An earlier save did not end: its lines stay aside, these join them.
    const int aside = OpenForAppend(AsidePath(), false);
    const bool moved = aside >= 0 && AppendText(aside, ReadText(g_path));
    if (aside >= 0) close(aside);
    return moved && ftruncate(g_fd, 0) == 0;
  }
  if (rename(g_path.c_str(), AsidePath().c_str()) != 0) return false;
  close(g_fd);
  g_fd = OpenForAppend(g_path, true);
  return g_fd >= 0;
}

void DropSavedJournal() {
  std::lock_guard<std::mutex> hold(g_lock);
  unlink(AsidePath().c_str());
}

std::string ReadJobJournals() {
  std::lock_guard<std::mutex> hold(g_lock);
  return ReadText(AsidePath()) + ReadText(g_path);
}

bool FitSavedLines(std::string* stateText) {
  bool changed = false;
  std::vector<std::string> lines = SplitLines(*stateText);
  for (std::string& text : lines) {
    if (text.size() <= kStateLineBytes) continue;
    if (text.compare(0, 4, "Job ") == 0) {
      StateLine line = ParseStateLine(text);
      if (!line.parsed) continue;
      FitStateLine(&line, {"name", "username"});
      text = FormatStateLine(line);
      changed = true;
    } else if (IsTextSetting(text)) {
      text.resize(CharacterBoundary(text, kStateLineBytes));
      changed = true;
    }
  }
  if (changed) *stateText = JoinLines(lines);
  return changed;
}

bool ApplyJobJournal(const std::string& journal, std::string* stateText) {
  std::map<SavedJobId, StateLine> latest;
  for (const std::string& text : SplitLines(journal)) {
    StateLine line = ParseStateLine(text);
    if (!line.parsed || line.directive != "Job") continue;  // a line cut short by a crash, say
    const SavedJobId key(StateInt(line.Find("printer")), StateInt(line.Find("id")));
    if (key.first <= 0 || key.second <= 0) continue;
    line.Erase("printer");
    auto [at, added] = latest.emplace(key, line);
    if (!added && Progress(StateInt(line.Find("state"))) >= Progress(StateInt(at->second.Find("state"))))
      at->second = std::move(line);
  }
  if (latest.empty()) return false;

  std::vector<std::string> out;
  bool changed = false;
  int printerId = 0;
  for (const std::string& text : SplitLines(*stateText)) {
    if (text.compare(0, 9, "<Printer ") == 0) {
      printerId = StateInt(ParseStateLine(text).Find("id"));
    } else if (text.compare(0, 4, "Job ") == 0) {
      const StateLine saved = ParseStateLine(text);
      auto found = latest.find(SavedJobId(printerId, StateInt(saved.Find("id"))));
      if (found != latest.end()) {
        if (Progress(StateInt(found->second.Find("state"))) >= Progress(StateInt(saved.Find("state")))) {
          out.push_back(FormatStateLine(found->second));
          changed = changed || out.back() != text;
        } else {
          out.push_back(text);
        }
        latest.erase(found);
        continue;
      }
    } else if (text == "</Printer>") {
      for (auto it = latest.lower_bound(SavedJobId(printerId, 0));
           it != latest.end() && it->first.first == printerId;) {
        out.push_back(FormatStateLine(it->second));
        it = latest.erase(it);
        changed = true;
      }
    }
    out.push_back(text);
  }
  if (changed) *stateText = JoinLines(out);
  return changed;
}

}  // namespace qxapp
