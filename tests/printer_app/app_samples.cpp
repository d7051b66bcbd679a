#include "tests/printer_app/app_samples.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace qxtest {

Image LabelPattern(bool colour) {
  return PatternImage(kLabelWidth, kLabelHeight, colour ? ColourPalette() : GrayPalette(), 7);
}

void WritePwgRaster(const std::string& path, const Image& image, bool apple) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  cups_raster_t* raster = cupsRasterOpen(fd, apple ? CUPS_RASTER_WRITE_APPLE : CUPS_RASTER_WRITE_PWG);
  cups_page_header2_t header;
  cupsRasterInitPWGHeader(&header, pwgMediaForPWG("om_48x76mm_48x76mm"), "srgb_8", 300, 300, "one-sided",
                          "normal");
  header.cupsWidth = image.width;
  header.cupsHeight = image.height;
  header.cupsBytesPerLine = image.width * 3;
  header.cupsInteger[CUPS_RASTER_PWG_TotalPageCount] = 1;
  cupsRasterWriteHeader2(raster, &header);
  std::vector<unsigned char> row(header.cupsBytesPerLine);
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      row[x * 3] = image.At(x, y).r;
      row[x * 3 + 1] = image.At(x, y).g;
      row[x * 3 + 2] = image.At(x, y).b;
    }
    cupsRasterWritePixels(raster, row.data(), header.cupsBytesPerLine);
  }
  cupsRasterClose(raster);
  close(fd);
}

void WriteTwoPagePdf(const std::string& path) {
  WriteLabelPdf(path, {"20 150 90 40 re f", "40 30 60 120 re f"});
}

void WriteLongPdf(const std::string& path, int pages) {
  std::vector<std::string> bars;
  for (int page = 0; page < pages; ++page)
    bars.push_back(std::to_string(10 + page % 100) + " 30 20 150 re f");
  WriteLabelPdf(path, bars);
}

void WriteLabelPdf(const std::string& path, const std::vector<std::string>& bars) {
  // 136 x 215 points is the 48 x 76 mm label; each page has its bar in another place.
  std::string kids;
  for (size_t page = 0; page < bars.size(); ++page) kids += std::to_string(3 + 2 * page) + " 0 R ";
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(bars.size()) + " >>"};
  for (const std::string& bar : bars) {
    const std::string content = bar;
    const size_t contentObject = objects.size() + 2;
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 136 215] /Contents " +
                      std::to_string(contentObject) + " 0 R >>");
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                      "\nendstream");
  }
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  char entry[32];
  for (size_t offset : offsets) {
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  std::fwrite(pdf.data(), 1, pdf.size(), out);
  std::fclose(out);
}

}  // namespace qxtest
