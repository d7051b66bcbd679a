#include "printer_app/state/job_journal.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "printer_app/state/job_facts.h"
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

// The job attributes PAPPL's loader reads back for a job not yet printed: the job's description
// and every value its printing reads (PAPPL's print options; the driver's settings are added).
constexpr const char* kKeptAttributes[] = {"job-name",
                                           "job-originating-user-name",
                                           "job-id",
                                           "job-uri",
                                           "job-uuid",
                                           "job-printer-uri",
                                           "client-info",
                                           "job-hold-until",
                                           "job-hold-until-time",
                                           "job-priority",
                                           "job-impressions",
                                           "multiple-document-handling",
                                           "copies",
                                           "finishings",
                                           "finishings-col",
                                           "media",
                                           "media-col",
                                           "orientation-requested",
                                           "output-bin",
                                           "page-ranges",
                                           "print-color-mode",
                                           "print-content-optimize",
                                           "print-darkness",
                                           "print-quality",
                                           "print-scaling",
                                           "print-speed",
                                           "printer-resolution",
                                           "sides"};

// Keys of a journal line that PAPPL's state does not have.
constexpr const char* kAttributesKey = "attributes";
constexpr const char* kAttributesFileKey = "attributes_file";

ssize_t AppendBytes(void* out, ipp_uchar_t* bytes, size_t size) {
  static_cast<std::string*>(out)->append(reinterpret_cast<const char*>(bytes), size);
  return static_cast<ssize_t>(size);
}

// The job's attributes, IPP encoded as PAPPL writes them to the job's file. Only while PAPPL
// reports the job's creation: it then holds the job's lock for reading only.
std::string EncodedAttributes(pappl_job_t* job) {
  ipp_t* attrs = ippNew();
  auto keep = [&](const char* name) {
    if (ipp_attribute_t* attr = papplJobGetAttribute(job, name)) ippCopyAttribute(attrs, attr, 0);
  };
  for (const char* name : kKeptAttributes) keep(name);
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
  for (int i = 0; i < data.num_vendor; ++i) keep(data.vendor[i]);
  std::string bytes;
  const bool written = ippWriteIO(&bytes, AppendBytes, 1, nullptr, attrs) != IPP_STATE_ERROR;
  ippDelete(attrs);
  return written ? bytes : std::string();
}

std::string Base64(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  httpEncode64_2(text.data(), static_cast<int>(text.size()), bytes.data(), static_cast<int>(bytes.size()));
  text.resize(std::strlen(text.c_str()));
  return text;
}

std::string FromBase64(const std::string& text) {
  std::string bytes(text.size() * 3 / 4 + 3, '\0');
  int size = static_cast<int>(bytes.size());
  if (!httpDecode64_2(bytes.data(), &size, text.c_str())) return {};
  bytes.resize(static_cast<size_t>(std::max(size, 0)));
  return bytes;
}

// The name of the job's attributes file, without its folder.
std::string AttributesFileName(pappl_job_t* job) {
  char path[1024];
  const int fd = papplJobOpenFile(job, path, sizeof path, nullptr, "ipp", "r");
  if (fd >= 0) close(fd);
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

std::string JobLine(pappl_job_t* job, bool withAttributes) {
  StateLine line;
  line.directive = "Job";
  auto number = [&](const char* name, long long value, bool always = false) {
    if (value || always) line.pairs.emplace_back(name, std::to_string(value));
  };
  // As PAPPL saves a job cancelled while it prints: cancelled.
  const bool cancelled = papplJobIsCanceled(job);
  number("printer", papplPrinterGetID(papplJobGetPrinter(job)), true);
  number("id", papplJobGetID(job), true);
  line.pairs.emplace_back("name", WithoutControls(papplJobGetName(job)));
  line.pairs.emplace_back("username", WithoutControls(papplJobGetUsername(job)));
  const char* format = papplJobGetFormat(job);
  line.pairs.emplace_back("format", format ? WithoutControls(format) : "application/octet-stream");
  if (const char* filename = papplJobGetFilename(job))
    line.pairs.emplace_back("filename", WithoutControls(filename));
  number("state", cancelled ? IPP_JSTATE_CANCELED : papplJobGetState(job), true);
  number("state_reasons", papplJobGetReasons(job));
  number("created", papplJobGetTimeCreated(job));
  number("processing", papplJobGetTimeProcessed(job));
  const time_t completed = papplJobGetTimeCompleted(job);
  number("completed", completed || !cancelled ? completed : time(nullptr));
  number("impressions", papplJobGetImpressions(job));
  number("imcompleted", papplJobGetImpressionsCompleted(job));
  SetJobFactsOn(papplPrinterGetID(papplJobGetPrinter(job)), &line);
  FitStateLine(&line, {"name", "username"});
  // The attributes never reach PAPPL's loader as a line (ApplyJobJournal): they need not fit.
  if (withAttributes) {
    const std::string attrs = EncodedAttributes(job);
    if (!attrs.empty()) {
      line.pairs.emplace_back(kAttributesKey, Base64(attrs));
      line.pairs.emplace_back(kAttributesFileKey, AttributesFileName(job));
    }
  }
  return FormatStateLine(line) + "\n";
}

// A file name of PAPPL's spool for a job's attributes, nothing else.
bool IsAttributesFileName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos && name[0] != '.' && name.size() > 4 &&
         name.compare(name.size() - 4, 4, ".ipp") == 0;
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

JournalWrite JournalJob(pappl_job_t* job, bool withAttributes) {
  const std::string line = JobLine(job, withAttributes);
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_fd < 0 || !AppendText(g_fd, line)) return JournalWrite::kFailed;
  return lseek(g_fd, 0, SEEK_END) > kSaveDueBytes ? JournalWrite::kWrittenSaveDue : JournalWrite::kWritten;
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

bool JobJournalShort() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_fd < 0) return false;
  struct stat aside {};
  const off_t asideBytes = stat(AsidePath().c_str(), &aside) == 0 ? aside.st_size : 0;
  return asideBytes + lseek(g_fd, 0, SEEK_END) <= kSaveDueBytes;
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

bool ApplyJobJournal(const std::string& journal, std::string* stateText,
                     std::vector<JobAttributesFile>* attributeFiles) {
  std::map<SavedJobId, StateLine> latest;
  std::map<SavedJobId, JobAttributesFile> attributes;
  for (const std::string& text : SplitLines(journal)) {
    StateLine line = ParseStateLine(text);
    if (!line.parsed || line.directive != "Job") continue;  // a line cut short by a crash, say
    const SavedJobId key(StateInt(line.Find("printer")), StateInt(line.Find("id")));
    if (key.first <= 0 || key.second <= 0) continue;
    line.Erase("printer");
    const std::string* encoded = line.Find(kAttributesKey);
    const std::string* file = line.Find(kAttributesFileKey);
    if (encoded && file && IsAttributesFileName(*file)) attributes[key] = {*file, FromBase64(*encoded)};
    line.Erase(kAttributesKey);
    line.Erase(kAttributesFileKey);
    auto [at, added] = latest.emplace(key, line);
    if (!added && Progress(StateInt(line.Find("state"))) >= Progress(StateInt(at->second.Find("state"))))
      at->second = std::move(line);
  }
  if (latest.empty()) return false;

  std::vector<std::string> out;
  bool changed = false;
  int printerId = 0;
  // A job the journal leaves unended is loaded from its attributes file.
  auto kept = [&](const SavedJobId& key, const StateLine& line) {
    auto found = attributes.find(key);
    if (attributeFiles && found != attributes.end() && !found->second.bytes.empty() &&
        StateInt(line.Find("state")) < IPP_JSTATE_STOPPED)
      attributeFiles->push_back(std::move(found->second));
    return FormatStateLine(line);
  };
  for (const std::string& text : SplitLines(*stateText)) {
    if (text.compare(0, 9, "<Printer ") == 0) {
      printerId = StateInt(ParseStateLine(text).Find("id"));
    } else if (text.compare(0, 4, "Job ") == 0) {
      const StateLine saved = ParseStateLine(text);
      const SavedJobId key(printerId, StateInt(saved.Find("id")));
      auto found = latest.find(key);
      if (found != latest.end()) {
        if (Progress(StateInt(found->second.Find("state"))) >= Progress(StateInt(saved.Find("state")))) {
          out.push_back(kept(key, found->second));
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
        out.push_back(kept(it->first, it->second));
        it = latest.erase(it);
        changed = true;
      }
    }
    out.push_back(text);
  }
  if (changed) *stateText = JoinLines(out);
  return changed;
}

bool TrimJobHistory(std::string* stateText, std::vector<std::string>* droppedFiles) {
  std::vector<std::string> lines = SplitLines(*stateText);
  std::vector<bool> dropped(lines.size(), false);
  bool changed = false;
  int limit = 0;
  struct Ended {
    long long completed;
    int id;
    size_t line;
  };
  std::vector<Ended> ended;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& text = lines[i];
    if (text.compare(0, 9, "<Printer ") == 0) {
      limit = 0;
      ended.clear();
    } else if (text.compare(0, 17, "MaxCompletedJobs ") == 0) {
      const std::string value = text.substr(17);
      limit = StateInt(&value);
    } else if (text.compare(0, 4, "Job ") == 0) {
      const StateLine job = ParseStateLine(text);
      if (job.parsed && StateInt(job.Find("state")) >= IPP_JSTATE_CANCELED)
        ended.push_back({StateInt(job.Find("completed")), StateInt(job.Find("id")), i});
    } else if (text == "</Printer>" && limit > 0 && ended.size() > static_cast<size_t>(limit)) {
      // The most recently ended first, as PAPPL keeps them.
      std::sort(ended.begin(), ended.end(), [](const Ended& a, const Ended& b) {
        return a.completed != b.completed ? a.completed > b.completed : a.id > b.id;
      });
      for (size_t n = static_cast<size_t>(limit); n < ended.size(); ++n) {
        dropped[ended[n].line] = true;
        if (droppedFiles)
          if (const std::string* file = ParseStateLine(lines[ended[n].line]).Find("filename"))
            droppedFiles->push_back(*file);
      }
      changed = true;
    }
  }
  if (!changed) return false;
  std::vector<std::string> out;
  for (size_t i = 0; i < lines.size(); ++i)
    if (!dropped[i]) out.push_back(std::move(lines[i]));
  *stateText = JoinLines(out);
  return true;
}

}  // namespace qxapp
