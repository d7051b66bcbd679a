#include "tools/qxvn/print/print_options.h"

#include <algorithm>

#include "common/media/label_sizes.h"
#include "common/tool_error.h"
#include "tools/qxvn/cli/args.h"

namespace qxvn {
namespace {

// Millimetres with at most one decimal, as tenths; 0 when malformed or out of range.
int32_t Tenths(std::string_view text) {
  int32_t tenths = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    tenths = tenths * 10 + (text[i] - '0');
    if (tenths > 3276) return 0;
  }
  if (i == 0) return 0;
  tenths *= 10;
  if (i < text.size()) {
    if (text[i] != '.' || i + 2 != text.size() || text[i + 1] < '0' || text[i + 1] > '9') return 0;
    tenths += text[i + 1] - '0';
  }
  return tenths;
}

std::pair<std::string, uint32_t> ParseSetting(const std::string& text) {
  size_t eq = text.find('=');
  if (eq == std::string::npos || eq == 0) throw UsageError("--set takes NAME=VALUE, not '" + text + "'");
  uint32_t value = 0;
  if (!ParseDword(text.substr(eq + 1), &value))
    throw UsageError("--set " + text.substr(0, eq) +
                     " takes a decimal or 0x-hexadecimal 32-bit number, not '" + text.substr(eq + 1) + "'");
  return {text.substr(0, eq), value};
}

// Tenths of a millimetre in whole dots, as the printer application sizes a label.
uint32_t Dots(int16_t tenths) { return static_cast<uint32_t>(int32_t{tenths} * kDotsPerInch / 254); }

}  // namespace

std::optional<LayoutChoice> LayoutOf(const PrintOptions& options) {
  if (!options.paper || (!options.scaling && !options.orientation)) return std::nullopt;
  LayoutChoice choice;
  // Turned as asked, the page is otherwise printed at its own size.
  choice.scaling = options.scaling.value_or(Scaling::kNone);
  choice.orientation = options.orientation.value_or(Orientation::kAutomatic);
  choice.label.width = std::max(1u, Dots(options.paper->widthTenths));
  choice.label.height = std::max(1u, Dots(options.paper->lengthTenths));
  choice.label.dpi = kDotsPerInch;
  return choice;
}

PaperSize ParsePaper(const std::string& text) {
  size_t x = text.find_first_of("xX");
  int32_t width = x == std::string::npos ? 0 : Tenths(std::string_view(text).substr(0, x));
  int32_t length = x == std::string::npos ? 0 : Tenths(std::string_view(text).substr(x + 1));
  if (width <= 0 || length <= 0)
    throw UsageError("--paper takes WIDTHxLENGTH in millimetres from 0.1 to 3276.7, e.g. 48x76, not '" +
                     text + "'");
  return PaperSize{static_cast<int16_t>(width), static_cast<int16_t>(length)};
}

PrintOptions ParsePrintOptions(int argc, char** argv, int first) {
  PrintOptions o;
  ArgCursor args(argc, argv, first);
  std::string value;
  while (!args.Done()) {
    if (args.TakeFlag("--help", "-h")) {
      o.help = true;
      return o;
    }
    if (args.TakeValue("--output", "-o", &o.output)) continue;
    if (args.TakeValue("--printer-data", "", &o.printerData)) continue;
    if (args.TakeValue("--preview", "", &o.preview)) continue;
    if (args.TakeValue("--set", "", &value)) {
      o.settings.push_back(ParseSetting(value));
      continue;
    }
    if (args.TakeValue("--paper", "", &value)) {
      o.paper = ParsePaper(value);
      continue;
    }
    if (args.TakeValue("--scaling", "", &value)) {
      o.scaling = ScalingNamed(value);
      if (!o.scaling)
        throw UsageError("--scaling takes auto, auto-fit, fit, fill or none, not '" + value + "'");
      continue;
    }
    if (args.TakeValue("--orientation", "", &value)) {
      o.orientation = OrientationNamed(value);
      if (!o.orientation)
        throw UsageError(
            "--orientation takes portrait, landscape, reverse-landscape or reverse-portrait, not '" + value +
            "'");
      continue;
    }
    if (args.TakeValue("--copies", "", &value)) {
      o.copies = ParseUnsigned(value, 1, 32767, "--copies");
      continue;
    }
    if (args.TakeFlag("--collate", "")) {
      o.collate = true;
      continue;
    }
    if (args.TakeValue("--bpp", "", &value)) {
      if (value != "24" && value != "32") throw UsageError("--bpp takes 24 or 32, not '" + value + "'");
      o.bitsPerPixel = value == "24" ? 24 : 32;
      continue;
    }
    if (args.TakeValue("--job-id", "", &value)) {
      o.jobId = ParseUnsigned(value, 1, 0xFFFFFFFF, "--job-id");
      continue;
    }
    if (args.TakeValue("--band-rows", "", &value)) {
      o.bandRows = ParseUnsigned(value, 1, 0x7FFFFFFF, "--band-rows");
      continue;
    }
    if (args.TakeValue("--dpi", "", &value)) {
      o.dpi = ParseUnsigned(value, 10, 2400, "--dpi");
      continue;
    }
    if (args.TakeValue("--max-pixels", "", &value)) {
      o.limits.maxPixels = ParseUnsigned(value, 1, 0xFFFFFFFF, "--max-pixels");
      continue;
    }
    if (args.TakeValue("--max-memory", "", &value)) {
      o.limits.maxMemoryBytes = uint64_t{ParseUnsigned(value, 64, 1048576, "--max-memory")} << 20;
      continue;
    }
    if (args.TakeValue("--max-seconds", "", &value)) {
      o.limits.maxSeconds = ParseUnsigned(value, 1, 86400, "--max-seconds");
      continue;
    }
    if (args.TakeValue("--trace", "", &o.traceFile)) continue;
    if (args.TakeFlag("--verify", "")) {
      o.verify = true;
      continue;
    }
    if (args.TakeValue("--content", "", &value)) {
      const auto content = ContentNamed(value);
      if (!content) throw UsageError("--content takes auto, photo, graphics or text, not '" + value + "'");
      o.content = *content;
      continue;
    }
    if (args.TakeValue("--repair", "", &value)) {
      const auto mode = barcode::RepairModeNamed(value);
      if (!mode) throw UsageError("--repair takes auto, always or off, not '" + value + "'");
      o.repair = *mode;
      continue;
    }
    if (args.TakeFlag("--verbose", "-v")) {
      o.verbose = true;
      continue;
    }
    if (args.TakeOperand(&value)) {
      o.inputs.push_back(value);
      continue;
    }
    args.RejectCurrent();
  }
  if (o.inputs.empty()) throw UsageError("print needs at least one INPUT");
  if (o.output.empty()) throw UsageError("print needs -o OUT");
  if ((o.scaling || o.orientation) && !o.paper)
    throw UsageError(std::string(o.scaling ? "--scaling" : "--orientation") +
                     " needs --paper WxH, the label the pages are laid out on");
  return o;
}

}  // namespace qxvn
