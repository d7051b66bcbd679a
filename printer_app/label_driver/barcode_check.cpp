#include "printer_app/label_driver/barcode_check.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>

#include "common/barcode/check_report.h"
#include "common/tool_error.h"
#include "common/wire/page_dots.h"
#include "common/wire/wire_reader.h"
#include "printer_app/label_driver/barcode_hold.h"

namespace qxapp {
namespace {

uint32_t ValueOf(const PrinterData& data, std::u16string_view key, uint32_t otherwise) {
  for (const auto& [name, value] : data) {
    if (name != key || value.data.size() != 4) continue;
    uint32_t out = 0;
    std::memcpy(&out, value.data.data(), 4);
    return out;
  }
  return otherwise;
}

class FirstPage : public qxvn::wire::StreamListener {
 public:
  void OnPageEnd(const qxvn::wire::Page& page) override {
    if (!first) first = page;
  }
  std::optional<qxvn::wire::Page> first;
};

// Jobs the check holds, and the ones released since.
std::mutex g_holdLock;
std::condition_variable g_holdChanged;
std::set<pappl_job_t*> g_held, g_released;

}  // namespace

BarcodeSettings BarcodeSettingsOf(const JobChoices& choices, const PrinterData& data,
                                  pappl_content_t content) {
  BarcodeSettings settings;
  if (content == PAPPL_CONTENT_PHOTO) settings.content = qxvn::Content::kPhoto;
  if (content == PAPPL_CONTENT_GRAPHIC) settings.content = qxvn::Content::kGraphics;
  settings.check = AppKeywordValue(choices, "barcode-check");
  switch (AppKeywordValue(choices, "barcode-repair")) {
    case 0:
      settings.repair = qxvn::barcode::RepairMode::kOff;
      break;
    case 2:
      settings.repair = qxvn::barcode::RepairMode::kAlways;
      break;
    default:
      settings.repair = qxvn::barcode::RepairMode::kAuto;
      break;
  }
  settings.threshold = static_cast<uint8_t>(ValueOf(data, u"GrayThreshold", kDefaultGrayThreshold));
  return settings;
}

qxvn::barcode::PreparedPage PrepareLabelPage(const BarcodeSettings& settings, qxvn::PageImage& page,
                                             const qxvn::LaidOutFrom* from,
                                             const std::vector<qxvn::barcode::Symbol>* fromSymbols) {
  const bool diffused = settings.content != qxvn::Content::kAuto;
  if (settings.check == kBarcodeCheckOff && settings.repair == qxvn::barcode::RepairMode::kOff && !diffused)
    return {};
  qxvn::barcode::PreparedPage prepared =
      qxvn::barcode::PreparePage(page, settings.repair, settings.threshold, from, fromSymbols);
  if (diffused)
    qxvn::DiffuseContent(page, settings.content,
                         qxvn::barcode::Surroundings(page, prepared.symbols, settings.threshold));
  return prepared;
}

std::string CheckLabelStream(pappl_job_t* job, unsigned pageNumber,
                             const qxvn::barcode::PreparedPage& prepared,
                             const std::vector<uint8_t>& stream) {
  if (prepared.unchecked)
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Bar code check: page %u not checked: more than %llu pixels.",
                pageNumber, static_cast<unsigned long long>(qxvn::barcode::kMostCheckedPixels));
  if (prepared.symbols.empty()) return {};
  FirstPage reader;
  if (auto error = qxvn::wire::ReadStream(stream, reader); error || !reader.first)
    return "Bar code check: the printed stream cannot be read back" + (error ? ": " + error->message : "") +
           ".";
  qxvn::barcode::PageCheck check;
  try {
    check = qxvn::barcode::CheckPrinted(pageNumber, prepared, qxvn::wire::PageDots(*reader.first).View());
  } catch (const qxvn::ToolError& e) {
    return std::string("Bar code check: ") + e.what() + ".";
  }
  std::string failure;
  for (const qxvn::barcode::SymbolCheck& symbol : check.symbols) {
    const std::string line = qxvn::barcode::CheckLine(check, symbol);
    papplLogJob(job, symbol.passed ? PAPPL_LOGLEVEL_INFO : PAPPL_LOGLEVEL_WARN, "Bar code check: %s",
                line.c_str());
    if (!symbol.passed && failure.empty())
      failure = "Bar code check failed on page " + std::to_string(pageNumber) + ": " +
                qxvn::barcode::SymbolName(symbol.source) + " " + symbol.failure + ".";
  }
  return failure;
}

bool HoldForRelease(pappl_job_t* job, const std::string& reason) {
  papplLogJob(job, PAPPL_LOGLEVEL_WARN, "%s Held until released.", reason.c_str());
  papplJobSetMessage(job, "%s Held until released.", reason.c_str());
  // PAPPL 1.3 drops job-state-reasons whole from its answers when job-hold-until-specified is
  // among them: the hold shows as a warning and in the message.
  papplJobSetReasons(job, PAPPL_JREASON_WARNINGS_DETECTED, PAPPL_JREASON_NONE);
  std::unique_lock<std::mutex> lock(g_holdLock);
  g_held.insert(job);
  bool released = false;
  pappl_system_t* system = papplPrinterGetSystem(papplJobGetPrinter(job));
  // A shutdown ends the wait too: the job stays unprinted, and prints again from its start
  // when the app starts again (as any job printing at a stop does).
  while (!papplJobIsCanceled(job) && !papplSystemIsShutdown(system)) {
    if (g_released.erase(job)) {
      released = true;
      break;
    }
    // Cancelling says nothing to the check: it looks again now and then.
    g_holdChanged.wait_for(lock, std::chrono::milliseconds(200));
  }
  g_held.erase(job);
  lock.unlock();
  if (released) papplJobSetMessage(job, "Released: printing despite the failed bar code check.");
  return released;
}

bool ReleaseCheckHold(pappl_job_t* job) {
  {
    std::lock_guard<std::mutex> lock(g_holdLock);
    if (g_held.count(job)) {
      g_released.insert(job);
      g_holdChanged.notify_all();
      return true;
    }
  }
  return ReleaseBeforeCheck(job);
}

}  // namespace qxapp
