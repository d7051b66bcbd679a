#include "printer_app/state/job_facts.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace qxapp {
namespace {

constexpr const char* kCopiesKey = "label_copies";
constexpr const char* kSizeKey = "label_size";  // "WIDTHxLENGTH", hundredths of a millimetre
constexpr int kMostHundredths = 100000;         // a metre: no label is longer

using JobKey = std::pair<int, int>;  // printer id, job id

std::mutex g_lock;
std::map<JobKey, JobFacts> g_facts;  // under g_lock

std::optional<JobFacts> FactsOfLine(const StateLine& line) {
  const std::string* copies = line.Find(kCopiesKey);
  if (!copies) return std::nullopt;
  long width = 0, length = 0;
  char end = 0;
  if (const std::string* size = line.Find(kSizeKey);
      !size || std::sscanf(size->c_str(), "%ldx%ld%c", &width, &length, &end) != 2)
    width = length = 0;
  return JobFactsOf(StateInt(copies), width, length);
}

void SetFacts(const JobFacts& facts, StateLine* line) {
  line->Set(kCopiesKey, std::to_string(facts.copies));
  if (facts.width > 0 && facts.length > 0)
    line->Set(kSizeKey, std::to_string(facts.width) + "x" + std::to_string(facts.length));
}

// Calls `each` with the printer id and the parsed line of every job line of a state text.
template <typename Each>
void ForEachJobLine(const std::vector<std::string>& lines, Each each) {
  int printerId = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].compare(0, 9, "<Printer ") == 0) {
      printerId = StateInt(ParseStateLine(lines[i]).Find("id"));
    } else if (lines[i].compare(0, 4, "Job ") == 0) {
      StateLine line = ParseStateLine(lines[i]);
      if (line.parsed) each(printerId, i, line);
    }
  }
}

}  // namespace

std::optional<JobFacts> JobFactsOf(long copies, long width, long length) {
  if (copies < 1 || copies > INT32_MAX) return std::nullopt;
  JobFacts facts;
  facts.copies = static_cast<int>(copies);
  if (width > 0 && length > 0 && width <= kMostHundredths && length <= kMostHundredths) {
    facts.width = static_cast<int>(width);
    facts.length = static_cast<int>(length);
  }
  return facts;
}

void KeepJobFacts(int printerId, int jobId, const JobFacts& facts) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_facts[{printerId, jobId}] = facts;
}

std::optional<JobFacts> KeptJobFacts(int printerId, int jobId) {
  std::lock_guard<std::mutex> hold(g_lock);
  const auto found = g_facts.find({printerId, jobId});
  if (found == g_facts.end()) return std::nullopt;
  return found->second;
}

void ForgetJobFactsUnless(const std::function<bool(int printerId, int jobId)>& exists) {
  std::vector<JobKey> keys;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    for (const auto& [key, facts] : g_facts) keys.push_back(key);
  }
  // Asked without the lock held: finding a job takes PAPPL's locks.
  std::vector<JobKey> gone;
  for (const JobKey& key : keys)
    if (!exists(key.first, key.second)) gone.push_back(key);
  std::lock_guard<std::mutex> hold(g_lock);
  for (const JobKey& key : gone) g_facts.erase(key);
}

void SetJobFactsOn(int printerId, StateLine* jobLine) {
  if (const auto facts = KeptJobFacts(printerId, StateInt(jobLine->Find("id")))) SetFacts(*facts, jobLine);
}

void KeepJobFactsOf(const std::string& stateText) {
  ForEachJobLine(SplitLines(stateText), [](int printerId, size_t, const StateLine& line) {
    if (const auto facts = FactsOfLine(line)) KeepJobFacts(printerId, StateInt(line.Find("id")), *facts);
  });
}

bool SetJobFactsOn(std::string* stateText) {
  std::vector<std::string> lines = SplitLines(*stateText);
  bool changed = false;
  ForEachJobLine(lines, [&](int printerId, size_t index, StateLine& line) {
    if (line.Find(kCopiesKey)) return;
    SetJobFactsOn(printerId, &line);
    if (!line.Find(kCopiesKey)) return;
    lines[index] = FormatStateLine(line);
    changed = true;
  });
  if (changed) *stateText = JoinLines(lines);
  return changed;
}

}  // namespace qxapp
