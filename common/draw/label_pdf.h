// A one-page PDF drawn in printer dots (1/300 inch, origin at the top left): filled and
// stroked rectangles in gray levels, and text in the standard Helvetica fonts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qxdraw {

// A PDF file of these objects, numbered from 1 (the first is the catalog), with its cross-reference
// table and trailer.
std::string PdfFile(const std::vector<std::string>& objects);

class LabelPdf {
 public:
  LabelPdf(int widthDots, int heightDots);

  // gray: 0 black to 1 white.
  void FillRect(int x, int y, int w, int h, double gray = 0);
  void StrokeRect(int x, int y, int w, int h, int lineDots);
  // `y` is the text's baseline; `points` its size; bold or regular.
  void Text(int x, int y, double points, bool bold, std::string_view text, double gray = 0);

  // `text` as a Code 128 barcode of `moduleDots` a module, its top left at x, y. Returns its
  // width in dots; 0 (and nothing drawn) for text Code 128 set B cannot hold.
  int Barcode(int x, int y, int moduleDots, int heightDots, std::string_view text);
  static int BarcodeWidth(std::string_view text, int moduleDots);

  // The complete file.
  std::string Finish() const;

 private:
  double X(double dots) const;
  double Y(double dots) const;

  int m_width;
  int m_height;
  std::string m_content;
};

}  // namespace qxdraw
