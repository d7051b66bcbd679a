#include "common/draw/label_pdf.h"

#include <cstdio>
#include <vector>

#include "common/draw/code128.h"

namespace qxdraw {
namespace {

constexpr double kPointsPerDot = 72.0 / 300.0;

std::string Format(const char* format, double a, double b, double c, double d) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

std::string Escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

LabelPdf::LabelPdf(int widthDots, int heightDots) : m_width(widthDots), m_height(heightDots) {}

double LabelPdf::X(double dots) const { return dots * kPointsPerDot; }
double LabelPdf::Y(double dots) const { return (m_height - dots) * kPointsPerDot; }

void LabelPdf::FillRect(int x, int y, int w, int h, double gray) {
  m_content += Format("%.3f g ", gray, 0, 0, 0);
  m_content += Format("%.3f %.3f %.3f %.3f re f\n", X(x), Y(y + h), w * kPointsPerDot, h * kPointsPerDot);
}

void LabelPdf::StrokeRect(int x, int y, int w, int h, int lineDots) {
  // The stroke is centred on the path; inset it so that it stays inside the rectangle.
  double half = lineDots / 2.0;
  m_content += Format("0 G %.3f w ", lineDots * kPointsPerDot, 0, 0, 0);
  m_content += Format("%.3f %.3f %.3f %.3f re S\n", X(x + half), Y(y + h - half),
                      (w - lineDots) * kPointsPerDot, (h - lineDots) * kPointsPerDot);
}

void LabelPdf::Text(int x, int y, double points, bool bold, std::string_view text, double gray) {
  m_content += Format("%.3f g BT ", gray, 0, 0, 0) + (bold ? "/F2 " : "/F1 ");
  m_content += Format("%.2f Tf %.3f %.3f Td ", points, X(x), Y(y), 0);
  m_content += '(';
  m_content += Escaped(text);
  m_content += ") Tj ET\n";
}

int LabelPdf::BarcodeWidth(std::string_view text, int moduleDots) {
  int modules = 0;
  for (int w : Code128B(text)) modules += w;
  return modules * moduleDots;
}

int LabelPdf::Barcode(int x, int y, int moduleDots, int heightDots, std::string_view text) {
  const std::vector<int> widths = Code128B(text);
  const int start = x;
  for (size_t i = 0; i < widths.size(); ++i) {
    if (i % 2 == 0) FillRect(x, y, widths[i] * moduleDots, heightDots);
    x += widths[i] * moduleDots;
  }
  return x - start;
}

std::string PdfFile(const std::vector<std::string>& objects) {
  std::string file = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(file.size());
    file += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  size_t xref = file.size();
  file += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    file += entry;
  }
  file += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
          std::to_string(xref) + "\n%%EOF\n";
  return file;
}

std::string LabelPdf::Finish() const {
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      Format("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %.3f %.3f] ", m_width * kPointsPerDot,
             m_height * kPointsPerDot, 0, 0) +
          "/Resources << /Font << /F1 4 0 R /F2 5 0 R >> >> /Contents 6 0 R >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>",
      "<< /Length " + std::to_string(m_content.size()) + " >>\nstream\n" + m_content + "endstream",
  };
  return PdfFile(objects);
}

}  // namespace qxdraw
