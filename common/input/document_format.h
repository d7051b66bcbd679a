// A document's format told by its first bytes, never by its name or what a sender declares:
// the one table of the formats the tools and the printer application print.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qxvn {

enum class DocumentFormat { kUnknown, kPdf, kPng, kJpeg, kPnm, kPwgRaster, kAppleRaster, kText };

// How many first bytes FormatOfBytes looks at, at most.
inline constexpr size_t kFormatProbeBytes = 4096;

// `head` is the document's start (all of it when shorter). Text is UTF-8 (or ASCII) without
// control characters other than tab, line ends and form feed; a character cut at the end of
// `head` still counts as text.
DocumentFormat FormatOfBytes(std::span<const uint8_t> head);

// The IPP document-format of a format ("application/octet-stream" for kUnknown).
std::string_view MimeTypeOf(DocumentFormat format);
// The name a message gives it ("PNG").
std::string_view NameOf(DocumentFormat format);

// "PDF, PNG, JPEG, PNM, PWG raster, Apple raster or plain text".
std::string_view PrintableFormatList();

}  // namespace qxvn
