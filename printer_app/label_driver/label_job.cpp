#include "printer_app/label_driver/label_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "common/media/label_sizes.h"
#include "common/tool_error.h"
#include "printer_app/cli/client_message.h"
#include "printer_app/devices/device_delivery.h"
#include "printer_app/devices/device_guard.h"
#include "printer_app/label_driver/barcode_check.h"
#include "printer_app/label_driver/barcode_hold.h"
#include "printer_app/label_driver/host_printer.h"
#include "printer_app/label_driver/job_guard.h"
#include "printer_app/label_driver/job_labels.h"
#include "printer_app/label_driver/raw_stream.h"
#include "printer_app/options/printer_defaults.h"
#include "printer_app/options/setting_map.h"
#include "printer_app/state/saved_state.h"

namespace qxapp {
namespace {

struct LabelJobState {
  PageJob spec;
  BarcodeSettings barcodes;
  RasterPage page;
  bool failed = false;
};

LabelJobState* StateOf(pappl_job_t* job) { return static_cast<LabelJobState*>(papplJobGetData(job)); }

void Fail(pappl_job_t* job, pappl_jreason_t reason, const std::string& message) {
  if (LabelJobState* state = StateOf(job)) state->failed = true;
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
  papplJobSetMessage(job, "%s", WithoutServerPaths(message).c_str());
  if (reason != PAPPL_JREASON_NONE) papplJobSetReasons(job, reason, PAPPL_JREASON_NONE);
}

// The vendor attribute's value as text: the job's, else the printer's xxx-default from `driverAttrs`.
std::string VendorValue(ipp_t* driverAttrs, const pappl_pr_options_t* options, std::string_view name) {
  if (const char* value = cupsGetOption(std::string(name).c_str(), options->num_vendor, options->vendor))
    return value;
  return VendorDefault(driverAttrs, name);
}

JobChoices ChoicesOf(pappl_job_t* job, const pappl_pr_options_t* options) {
  // A copy of the printer's attributes, made once for the job.
  std::unique_ptr<ipp_t, decltype(&ippDelete)> driverAttrs(
      papplPrinterGetDriverAttributes(papplJobGetPrinter(job)), ippDelete);
  JobChoices choices;
  choices.darknessConfigured = options->darkness_configured;
  choices.printDarkness = options->print_darkness;
  choices.printSpeed = options->print_speed;
  choices.tracking = static_cast<int>(options->media.tracking);
  choices.mediaWidth = options->media.size_width;
  choices.mediaLength = options->media.size_length;
  for (const SettingMapping& mapping : kSettingMap) {
    if (!IsVendor(mapping.source)) continue;
    std::string value = VendorValue(driverAttrs.get(), options, mapping.ipp);
    if (!value.empty()) choices.vendor.emplace_back(std::string(mapping.ipp), std::move(value));
  }
  return choices;
}

bool IsCustomSize(const char* sizeName) { return std::strncmp(sizeName, "custom_", 7) == 0; }

// What the job's message says when the device takes less than the whole stream: with the
// device's own reason when it gave one (a folder that cannot be written, say), else the
// system's reason for the failed write.
std::string DeviceWriteFailure(int writeError) {
  std::string message = "Unable to send the label to the printer: the device write failed";
  std::string reason = LastFileDeviceFailure();
  if (reason.empty()) reason = LastDeliveryFailure();
  if (reason.empty() && writeError != 0) reason = std::strerror(writeError);
  return reason.empty() ? message + "." : message + " (" + reason + ")";
}

// Writes the whole stream; a device that takes less aborts the job. The device holds small
// writes until its flush, which reports nothing: its count of bytes written tells.
bool SendToDevice(pappl_job_t* job, pappl_device_t* device, std::span<const uint8_t> stream) {
  pappl_devmetrics_t before, after;
  papplDeviceGetMetrics(device, &before);
  errno = 0;
  bool ok = stream.empty() ||
            papplDeviceWrite(device, stream.data(), stream.size()) == static_cast<ssize_t>(stream.size());
  if (ok) {
    papplDeviceFlush(device);
    papplDeviceGetMetrics(device, &after);
    ok = after.write_bytes - before.write_bytes == stream.size();
  }
  if (!ok) Fail(job, PAPPL_JREASON_NONE, DeviceWriteFailure(errno));
  if (ok) KeepSentStream(job, stream.data(), stream.size());
  return ok;
}

// The end of a job on its device: what printed is delivered whole (a network printer must take
// every byte), what did not is dropped unsent.
bool DeliverOrDrop(pappl_job_t* job, pappl_device_t* device, bool printed) {
  if (!printed || papplJobIsCanceled(job) || papplJobGetState(job) != IPP_JSTATE_PROCESSING) {
    AbandonDelivery(device);
    return printed;
  }
  if (FinishDelivery(device)) return true;
  Fail(job, PAPPL_JREASON_NONE, DeviceWriteFailure(0));
  return false;
}

bool PrintHeldPage(pappl_job_t* job, pappl_device_t* device, LabelJobState& state,
                   const qxvn::PageImage& page, const qxvn::LaidOutFrom* from = nullptr,
                   const std::vector<qxvn::barcode::Symbol>* fromSymbols = nullptr) {
  qxvn::barcode::PreparedPage symbols;
  std::vector<uint8_t> stream;
  std::string error;
  if (!LabelPageStream(job, state.spec, state.barcodes, page, from, fromSymbols, &stream, &error, &symbols)) {
    Fail(job, PAPPL_JREASON_NONE, "The label driver failed: " + error);
    return false;
  }
  const unsigned number = state.spec.pageNumber++;
  if (state.barcodes.check == kBarcodeCheckHold) {
    const std::string failure = CheckLabelStream(job, number, symbols, stream);
    // Cancelled while held: nothing is printed, and nothing failed; at a shutdown the job
    // stops unprinted.
    if (!failure.empty() && !HoldForRelease(job, failure)) return papplJobIsCanceled(job);
  }
  if (!SendToDevice(job, device, stream)) return false;
  // A warning changes nothing of the label: it goes out first, and its dots are read meanwhile.
  if (state.barcodes.check == kBarcodeCheckWarn) {
    const std::string failure = CheckLabelStream(job, number, symbols, stream);
    if (!failure.empty()) {
      papplJobSetMessage(job, "%s", failure.c_str());
      papplJobSetReasons(job, PAPPL_JREASON_WARNINGS_DETECTED, PAPPL_JREASON_NONE);
    }
  }
  return true;
}

}  // namespace

bool LabelPageStream(pappl_job_t* job, const PageJob& spec, const BarcodeSettings& barcodes,
                     const qxvn::PageImage& page, const qxvn::LaidOutFrom* from,
                     const std::vector<qxvn::barcode::Symbol>* fromSymbols, std::vector<uint8_t>* stream,
                     std::string* error, qxvn::barcode::PreparedPage* symbols) {
  // A repair goes into the page's own pixels.
  qxvn::PageImage work = page;
  qxvn::barcode::PreparedPage prepared = PrepareLabelPage(barcodes, work, from, fromSymbols);
  if (symbols) *symbols = std::move(prepared);
  return PrintPage(job, spec, work, stream, error);
}

PageJob PageJobOf(pappl_job_t* job, const pappl_pr_options_t* options, JobChoices* choices) {
  PageJob spec;
  spec.jobId = papplJobGetID(job);
  if (const char* name = papplJobGetName(job)) spec.documentName = name;
  spec.copies = options->copies > 0 ? options->copies : 1;
  spec.customSize = IsCustomSize(options->media.size_name);
  spec.mediaWidth = options->media.size_width;
  spec.mediaLength = options->media.size_length;
  JobChoices resolved = ChoicesOf(job, options);
  spec.printerData = ResolvePrinterData(resolved);
  if (choices) *choices = std::move(resolved);
  return spec;
}

bool StartLabelJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*) {
  if (const std::string refusal = CheckRunFailure(job); !refusal.empty()) {
    Fail(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, refusal);
    return false;
  }
  if (!ClaimPrinter(job)) {
    Fail(job, PAPPL_JREASON_NONE, "Another job is printing on this printer.");
    return false;
  }
  StartSentStream(job);
  auto state = std::make_unique<LabelJobState>();
  JobChoices choices;
  state->spec = PageJobOf(job, options, &choices);
  state->barcodes = BarcodeSettingsOf(choices, state->spec.printerData, options->print_content_optimize);
  state->barcodes.check = CheckAsItPrints(job, state->barcodes.check);
  // The plug-in writes every copy of a page itself; PAPPL must not repeat the pages.
  options->copies = 1;
  papplJobSetData(job, state.release());
  return true;
}

int TakeCopies(pappl_job_t* job) {
  LabelJobState* state = StateOf(job);
  if (!state) return 1;
  const int copies = state->spec.copies;
  state->spec.copies = 1;
  return copies;
}

bool RasterPage::Start(const cups_page_header2_t& header, std::string* error) {
  m_page = qxvn::PageImage{};
  if (header.cupsBitsPerColor != 8 || (header.cupsBitsPerPixel != 8 && header.cupsBitsPerPixel != 24)) {
    *error = "Unsupported raster: " + std::to_string(header.cupsBitsPerPixel) + " bits per pixel.";
    return false;
  }
  // Rasters at a fraction of the head's resolution down the page (CUPS's "Draft" quality sends
  // 300 x 150 dpi) repeat each line; any other resolution would print at the wrong size.
  constexpr unsigned kHeadDpi = qxvn::kDotsPerInch;
  const unsigned across = header.HWResolution[0], down = header.HWResolution[1];
  if ((across != 0 && across != kHeadDpi) || (down != 0 && (down > kHeadDpi || kHeadDpi % down != 0))) {
    *error = "Unsupported raster resolution " + std::to_string(across) + "x" + std::to_string(down) +
             " dpi: this printer prints 300 dpi (or 300 across and 150, 100 or 75 down).";
    return false;
  }
  m_rowRepeat = down == 0 ? 1 : kHeadDpi / down;
  if (header.cupsBitsPerPixel == 24)
    m_layout = LineLayout::Rgb;
  else
    m_layout = header.cupsColorSpace == CUPS_CSPACE_K ? LineLayout::Black : LineLayout::Gray;
  try {
    m_page = qxvn::AllocatePage(header.cupsWidth, header.cupsHeight * m_rowRepeat, 3, "the page");
  } catch (const qxvn::ToolError& e) {
    *error = e.what();
    return false;
  }
  // Rows the document does not fill stay white.
  std::memset(m_page.pixels, 0xFF, m_page.SizeBytes());
  return true;
}

bool RasterPage::AddLine(unsigned y, const unsigned char* line) {
  if (!m_page.pixels || uint64_t{y} * m_rowRepeat >= m_page.height) return false;
  const unsigned row = y * m_rowRepeat;
  uint8_t* out = m_page.Row(row);
  const uint32_t width = m_page.width;
  switch (m_layout) {
    case LineLayout::Rgb:
      for (uint32_t x = 0; x < width; ++x, line += 3, out += 3) {
        out[0] = line[2];
        out[1] = line[1];
        out[2] = line[0];
      }
      break;
    case LineLayout::Gray:
      for (uint32_t x = 0; x < width; ++x, out += 3) out[0] = out[1] = out[2] = line[x];
      break;
    case LineLayout::Black:
      for (uint32_t x = 0; x < width; ++x, out += 3)
        out[0] = out[1] = out[2] = static_cast<uint8_t>(255 - line[x]);
      break;
  }
  for (unsigned copy = 1; copy < m_rowRepeat; ++copy)
    std::memcpy(m_page.Row(row + copy), m_page.Row(row), size_t{width} * 3);
  return true;
}

bool StartLabelPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
  LabelJobState* state = StateOf(job);
  if (!state) return false;
  std::string error;
  if (state->page.Start(options->header, &error)) return true;
  Fail(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, error);
  return false;
}

bool WriteLabelLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y,
                    const unsigned char* line) {
  LabelJobState* state = StateOf(job);
  return state && state->page.AddLine(y, line);
}

bool EndLabelPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device, unsigned) {
  LabelJobState* state = StateOf(job);
  if (!state || !state->page.Image().pixels) return false;
  const bool printed = papplJobIsCanceled(job) || PrintHeldPage(job, device, *state, state->page.Image());
  state->page.Clear();
  return printed;
}

bool EndLabelJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
  const LabelJobState* state = StateOf(job);
  return FinishLabelJob(job, device, state && !state->failed);
}

bool FinishLabelJob(pappl_job_t* job, pappl_device_t* device, bool printed) {
  delete StateOf(job);
  papplJobSetData(job, nullptr);
  const bool delivered = DeliverOrDrop(job, device, printed);
  ReleasePrinter(job);
  return delivered;
}

bool PrintDecodedPage(pappl_job_t* job, pappl_device_t* device, const qxvn::PageImage& page,
                      const qxvn::LaidOutFrom* from, const std::vector<qxvn::barcode::Symbol>* fromSymbols) {
  LabelJobState* state = StateOf(job);
  return state && PrintHeldPage(job, device, *state, page, from, fromSymbols);
}

qxvn::KeepWhole KeepBarcodesWhole(std::optional<std::vector<qxvn::barcode::Symbol>>* found) {
  return [found](const qxvn::PageImage& document) {
    std::vector<qxvn::barcode::Symbol> symbols;
    std::vector<qxvn::DocumentArea> areas = qxvn::barcode::SymbolAreas(document, &symbols);
    *found = std::move(symbols);
    return areas;
  };
}

bool PrintRawFile(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  const char* filename = papplJobGetFilename(job);
  std::string why;
  const auto stream = ReadRawStream(filename ? filename : "", &why);
  if (!stream) {
    Fail(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, "Unable to print the label stream: " + why + ".");
    return false;
  }
  // The stream carries its own settings; only its copies are the job's.
  const int copies = options && options->copies > 0 ? options->copies : 1;
  bool ok = true;
  StartSentStream(job);
  for (int copy = 0; ok && copy < copies && !papplJobIsCanceled(job); ++copy)
    ok = SendToDevice(job, device, stream->Bytes());
  return DeliverOrDrop(job, device, ok);
}

}  // namespace qxapp
