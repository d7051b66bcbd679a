#include "common/draw/text_pdf.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/draw/label_pdf.h"

namespace qxdraw {
namespace {

constexpr double kPointsPerDot = 72.0 / 300.0;
constexpr double kCourierAdvance = 0.6;  // of the font's size, every character
constexpr double kLineSpacing = 1.2;
constexpr int kTabColumns = 8;

// The next character as a WinAnsi (Latin-1) byte; '?' for what it cannot show.
char NextCharacter(std::string_view text, size_t* at) {
  const auto byte = static_cast<unsigned char>(text[*at]);
  size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 0;
  if (length == 0 || *at + length > text.size()) {
    ++*at;
    return '?';
  }
  uint32_t code = length == 1 ? byte : byte & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[*at + k]);
    if ((next & 0xC0) != 0x80) {
      ++*at;
      return '?';
    }
    code = (code << 6) | (next & 0x3F);
  }
  *at += length;
  if (code == 0xFEFF) return 0;  // a byte order mark prints nothing
  if (code < 0x20) return static_cast<char>(code);
  if ((code >= 0x20 && code < 0x7F) || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  return '?';
}

// The text as lines of at most `columns` characters; "\f" alone is a page break.
std::vector<std::string> Lines(std::string_view text, size_t columns) {
  std::vector<std::string> lines;
  std::string line;
  size_t lastSpace = std::string::npos;
  auto endLine = [&] {
    lines.push_back(line);
    line.clear();
    lastSpace = std::string::npos;
  };
  for (size_t at = 0; at < text.size();) {
    const char c = NextCharacter(text, &at);
    if (c == 0) continue;
    if (c == '\r') {
      if (at < text.size() && text[at] == '\n') ++at;
      endLine();
      continue;
    }
    if (c == '\n') {
      endLine();
      continue;
    }
    if (c == '\f') {
      if (!line.empty()) endLine();
      lines.emplace_back("\f");
      continue;
    }
    if (c == '\t') {
      const size_t spaces = kTabColumns - line.size() % kTabColumns;
      for (size_t i = 0; i < spaces && line.size() < columns; ++i) line += ' ';
      lastSpace = line.size() - 1;
      if (line.size() >= columns) endLine();
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20) continue;
    if (line.size() == columns) {
      if (c == ' ') {
        endLine();
        continue;
      }
      // Broken after the last space; a word as long as the line is cut.
      std::string rest;
      if (lastSpace != std::string::npos) {
        rest = line.substr(lastSpace + 1);
        line.resize(lastSpace);
      }
      endLine();
      line = rest;
    }
    if (c == ' ') lastSpace = line.size();
    line += c;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

}  // namespace

std::string TextPdf(std::string_view utf8, const TextPage& page) {
  const double width = page.widthDots * kPointsPerDot;
  const double height = page.heightDots * kPointsPerDot;
  const double margin = page.marginDots * kPointsPerDot;
  const double advance = page.points * kCourierAdvance;
  const double leading = page.points * kLineSpacing;
  const auto columns = static_cast<size_t>(std::max(1.0, (width - 2 * margin) / advance));
  const auto rows = static_cast<size_t>(std::max(1.0, (height - 2 * margin) / leading));

  std::vector<std::string> contents(1);
  size_t row = 0;
  for (const std::string& line : Lines(utf8, columns)) {
    if (line == "\f" || row == rows) {
      contents.emplace_back();
      row = 0;
      if (line == "\f") continue;
    }
    if (!line.empty())
      contents.back() += "BT /F1 " + Number(page.points) + " Tf " + Number(margin) + " " +
                         Number(height - margin - page.points - row * leading) + " Td (" + Escaped(line) +
                         ") Tj ET\n";
    ++row;
  }

  // 1 catalog, 2 pages, 3 font, then a page and its content for each page.
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "",
                                      "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding "
                                      "/WinAnsiEncoding >>"};
  std::string kids;
  for (const std::string& content : contents) {
    const size_t pageObject = objects.size() + 1;
    kids += std::to_string(pageObject) + " 0 R ";
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + Number(width) + " " + Number(height) +
                      "] /Resources << /Font << /F1 3 0 R >> >> /Contents " + std::to_string(pageObject + 1) +
                      " 0 R >>");
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                      "endstream");
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(contents.size()) + " >>";
  return PdfFile(objects);
}

}  // namespace qxdraw
