#include "printer_app/label_driver/settings_label.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/barcode/linear_grade.h"
#include "common/draw/code128.h"
#include "common/draw/label_pdf.h"
#include "common/media/label_sizes.h"
#include "printer_app/options/printer_defaults.h"

namespace qxapp {
namespace {

int Dots(int hundredthsMm) { return static_cast<int>(hundredthsMm * qxvn::kDotsPerInch / 2540.0 + 0.5); }

uint32_t Value(const PrinterData& data, std::u16string_view key) {
  for (const auto& [name, value] : data) {
    if (name == key && value.data.size() == 4) {
      uint32_t out = 0;
      std::memcpy(&out, value.data.data(), 4);
      return out;
    }
  }
  return 0;
}

const SettingMapping& Mapping(std::u16string_view key) {
  for (const SettingMapping& mapping : kSettingMap)
    if (mapping.key == key) return mapping;
  return kSettingMap.front();
}

std::string Printf(const char* format, auto... values) {
  char text[160];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

constexpr int kFrameDots = 4;

// The label's own barcode graded from its dots: drawn at whole dots a module, it prints as
// drawn, between white `quietDots` wide on each side.
std::string BarcodeGrade(const std::string& code, int moduleDots, int quietDots) {
  std::vector<uint32_t> elements;
  for (int modules : qxdraw::Code128B(code)) elements.push_back(static_cast<uint32_t>(modules * moduleDots));
  const auto quiet = static_cast<uint32_t>(std::max(quietDots, 0));
  const qxvn::barcode::ScanGrade scan =
      qxvn::barcode::GradeScan({elements, quiet, quiet}, *qxvn::barcode::LinearRuleFor("Code128"));
  const qxvn::barcode::ScanGrade scans[] = {scan};
  const qxvn::barcode::LinearGrade grade = qxvn::barcode::CombineScans(scans, qxvn::kDotsPerInch);
  std::string text = Printf("Barcode grade %c, X %.2f mm (%d dots)", qxvn::barcode::GradeLetter(grade.grade),
                            grade.xMillimetres, moduleDots);
  if (grade.limitedBy != qxvn::barcode::GradeParameter::kNone)
    text += std::string(": ") + qxvn::barcode::ParameterName(grade.limitedBy);
  return text;
}

}  // namespace

std::string DrawTestLabel(const JobChoices& choices) {
  const int width = std::clamp(Dots(choices.mediaWidth), 60, qxvn::kHeadDots);
  const int height = std::clamp(Dots(choices.mediaLength), 60, 20000);
  const PrinterData data = ResolvePrinterData(choices);
  qxdraw::LabelPdf pdf(width, height);
  pdf.StrokeRect(0, 0, width, height, kFrameDots);

  // The text scales with the label: 7.5 points fill a 48 mm line, and a short label gets smaller
  // lines so that the barcode and the ramp still fit below them.
  const double scale = std::min({width / 567.0, height / 500.0, 1.0});
  const double points = std::max(7.5 * scale, 3.5);
  const int lineDots = static_cast<int>(points * 300 / 72 * 1.25);
  const int left = 12 + static_cast<int>(10 * scale);
  int y = 10 + lineDots;
  auto line = [&](const std::string& text, bool bold = false) {
    if (y < height - 10) pdf.Text(left, y, bold ? points * 1.2 : points, bold, text);
    y += bold ? lineDots * 6 / 5 : lineDots;
  };
  line("TEST LABEL", true);
  line(Printf("%.1f x %.1f mm, %d x %d dots", choices.mediaWidth / 100.0, choices.mediaLength / 100.0, width,
              height));
  const int darkness = std::clamp(choices.darknessConfigured + choices.printDarkness, 0, 100);
  line(Printf("Darkness %d%% (level %u of 0-%d)", darkness, Value(data, u"PrintDarkness"),
              kDarknessLevels - 1));
  line(Printf("Speed %u in/s%s", Value(data, u"PrintSpeed") + 1, choices.printSpeed > 0 ? "" : " (Auto)"));
  line(Printf("Threshold %u: darker grays print", Value(data, u"GrayThreshold")));
  line(Printf("Gap %u dots, %s", Value(data, u"GapLength"),
              std::string(KeywordFor(Mapping(u"GapType"), Value(data, u"GapType"))).c_str()));

  // The barcode at two dots a module where it fits, one where it does not.
  const std::string code = "QXVN TEST";
  const int module = qxdraw::LabelPdf::BarcodeWidth(code, 2) <= width - 24 ? 2 : 1;
  const int barcodeWidth = qxdraw::LabelPdf::BarcodeWidth(code, module);
  line(BarcodeGrade(code, module, (width - barcodeWidth) / 2 - kFrameDots));
  const int rampHeight = std::max(height / 12, 16);
  const int barcodeHeight = std::max(height / 7, 24);
  const int barcodeTop = std::max(y, height - 16 - rampHeight - lineDots - barcodeHeight);
  if (barcodeWidth <= width - 16 && barcodeTop + barcodeHeight + lineDots < height - rampHeight - 12) {
    pdf.Barcode((width - barcodeWidth) / 2, barcodeTop, module, barcodeHeight, code);
    pdf.Text((width - barcodeWidth) / 2, barcodeTop + barcodeHeight + lineDots * 4 / 5, points, false, code);
  }

  // Eight steps from black to white: the threshold shows where the dots stop.
  const int rampTop = height - 8 - rampHeight;
  const int step = (width - 16) / 8;
  for (int i = 0; i < 8; ++i) pdf.FillRect(8 + i * step, rampTop, step, rampHeight, i / 8.0);
  pdf.StrokeRect(8, rampTop, step * 8, rampHeight, 2);
  return pdf.Finish();
}

const char* WriteTestLabel(pappl_printer_t* printer, char* buffer, size_t size) {
  const std::string pdf = DrawTestLabel(DefaultChoices(printer));
  const std::string pattern = std::string(papplGetTempDir()) + "/qxvn-test-label-XXXXXX.pdf";
  if (pattern.size() >= size) return nullptr;
  std::memcpy(buffer, pattern.c_str(), pattern.size() + 1);
  const int fd = mkstemps(buffer, 4);
  if (fd < 0) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Cannot write the test label to '%s': %s", buffer,
                    std::strerror(errno));
    return nullptr;
  }
  const bool written = write(fd, pdf.data(), pdf.size()) == static_cast<ssize_t>(pdf.size());
  close(fd);
  if (!written) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Cannot write the test label to '%s'.", buffer);
    unlink(buffer);
    return nullptr;
  }
  return buffer;
}

}  // namespace qxapp
