// The format table both `qxvn print` and the printer application tell documents by: signatures,
// PNM headers, and text, at the edges where one could pass for another.
#include "common/input/document_format.h"

#include <gtest/gtest.h>

#include <string>

namespace qxvn {
namespace {

DocumentFormat Of(const std::string& bytes) {
  return FormatOfBytes(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

TEST(DocumentFormat, EachFormatByItsFirstBytes) {
  const struct {
    std::string bytes;
    DocumentFormat format;
  } cases[] = {
      {"%PDF-1.4\n", DocumentFormat::kPdf},
      {"\x89PNG\r\n\x1a\n\0\0", DocumentFormat::kPng},
      {"\xFF\xD8\xFF\xE0\0\x10JFIF", DocumentFormat::kJpeg},
      {"\xFF\xD8\xFF\xDB\0\x43", DocumentFormat::kJpeg},  // no JFIF or Exif segment first
      {std::string("RaS2PwgR\0\0", 10), DocumentFormat::kPwgRaster},
      {std::string("UNIRAST\0\0\0\0\1", 12), DocumentFormat::kAppleRaster},
      {"P6\n# made by hand\n576 900\n255\n", DocumentFormat::kPnm},
      {"P1 is the first point of the list\n", DocumentFormat::kText},
      {"P4\n# a comment the probe cuts", DocumentFormat::kPnm},
      {"Parcel note\r\n\tTo: A. Person\f", DocumentFormat::kText},
      {"\xEF\xBB\xBFStra\xC3\x9F"
       "e 1",
       DocumentFormat::kText},                 // byte order mark, UTF-8
      {"Caf\xC3", DocumentFormat::kText},      // a character cut by the probe's end
      {"Caf\xC3(", DocumentFormat::kUnknown},  // not UTF-8
      {"text\x01with a control", DocumentFormat::kUnknown},
      {std::string("\0\0\0\0", 4), DocumentFormat::kUnknown},
      {"\xEF\xBB\xBF", DocumentFormat::kUnknown},
      {"", DocumentFormat::kUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(Of(c.bytes), c.format) << c.bytes;
  EXPECT_EQ(MimeTypeOf(DocumentFormat::kUnknown), "application/octet-stream");
  EXPECT_EQ(MimeTypeOf(DocumentFormat::kJpeg), "image/jpeg");
  // Only the probe's bytes count: a long text with a control character after them is text.
  EXPECT_EQ(Of(std::string(kFormatProbeBytes, 'a') + "\x01"), DocumentFormat::kText);
}

}  // namespace
}  // namespace qxvn
