#include "common/input/document_format.h"

#include <array>
#include <cstring>

namespace qxvn {
namespace {

struct FormatEntry {
  DocumentFormat format;
  std::string_view magic;  // the first bytes; empty: told otherwise
  std::string_view mimeType;
  std::string_view name;
};

// In the order they are tried: signatures first, text last.
constexpr std::array<FormatEntry, 8> kFormats{{
    {DocumentFormat::kPdf, "%PDF-", "application/pdf", "PDF"},
    {DocumentFormat::kPng, "\x89PNG\r\n\x1a\n", "image/png", "PNG"},
    {DocumentFormat::kJpeg, "\xFF\xD8\xFF", "image/jpeg", "JPEG"},
    {DocumentFormat::kPwgRaster, std::string_view("RaS2PwgR", 8), "image/pwg-raster", "PWG raster"},
    {DocumentFormat::kAppleRaster, std::string_view("UNIRAST\0", 8), "image/urf", "Apple raster"},
    {DocumentFormat::kPnm, "", "image/x-portable-anymap", "PNM"},
    {DocumentFormat::kText, "", "text/plain", "plain text"},
    {DocumentFormat::kUnknown, "", "application/octet-stream", "an unknown format"},
}};

bool StartsWith(std::span<const uint8_t> head, std::string_view magic) {
  return head.size() >= magic.size() && std::memcmp(head.data(), magic.data(), magic.size()) == 0;
}

// P1 to P6, white space and comments, then the width's first digit (so that a text starting
// "P1 is ..." stays text).
bool IsPnm(std::span<const uint8_t> head) {
  if (head.size() < 3 || head[0] != 'P' || head[1] < '1' || head[1] > '6') return false;
  size_t i = 2;
  bool separated = false;
  while (i < head.size()) {
    const uint8_t c = head[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      separated = true;
      ++i;
    } else if (c == '#') {
      while (i < head.size() && head[i] != '\n') ++i;
      separated = true;
    } else {
      return separated && c >= '0' && c <= '9';
    }
  }
  return separated;  // the probe ends in a comment: still a PNM header
}

bool IsText(std::span<const uint8_t> head) {
  if (head.empty()) return false;
  size_t i = 0;
  while (i < head.size()) {
    const uint8_t byte = head[i];
    if (byte < 0x80) {
      if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f') return false;
      if (byte == 0x7F) return false;
      ++i;
      continue;
    }
    const size_t length = byte >= 0xF0 && byte <= 0xF4  ? 4
                          : byte >= 0xE0                ? 3
                          : byte >= 0xC2 && byte < 0xE0 ? 2
                                                        : 0;
    if (length == 0 || byte > 0xF4) return false;
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= head.size()) return true;  // cut by the probe's end
      if ((head[i + k] & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

const FormatEntry& EntryOf(DocumentFormat format) {
  for (const FormatEntry& entry : kFormats)
    if (entry.format == format) return entry;
  return kFormats.back();
}

}  // namespace

DocumentFormat FormatOfBytes(std::span<const uint8_t> head) {
  head = head.first(std::min(head.size(), kFormatProbeBytes));
  for (const FormatEntry& entry : kFormats)
    if (!entry.magic.empty() && StartsWith(head, entry.magic)) return entry.format;
  if (IsPnm(head)) return DocumentFormat::kPnm;
  // A byte order mark is text's.
  if (StartsWith(head, "\xEF\xBB\xBF")) head = head.subspan(3);
  if (IsText(head)) return DocumentFormat::kText;
  return DocumentFormat::kUnknown;
}

std::string_view MimeTypeOf(DocumentFormat format) { return EntryOf(format).mimeType; }

std::string_view NameOf(DocumentFormat format) { return EntryOf(format).name; }

std::string_view PrintableFormatList() {
  return "PDF, PNG, JPEG, PNM, PWG raster, Apple raster or plain text";
}

}  // namespace qxvn
