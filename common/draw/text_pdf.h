// Plain text set on label-size pages, as a spooler's text path prints it: a fixed-pitch font,
// lines broken at spaces to fit the label's width (a word longer than a line is cut), tabs to
// every eighth column, a form feed or a full page starting the next page.
#pragma once

#include <string>
#include <string_view>

namespace qxdraw {

struct TextPage {
  int widthDots = 0;
  int heightDots = 0;
  int marginDots = 0;  // on every side
  double points = 8;   // the font's size
};

// A PDF of the text (UTF-8; a character the standard fonts lack, or a malformed byte, prints
// as '?'), at least one page.
std::string TextPdf(std::string_view utf8, const TextPage& page);

}  // namespace qxdraw
