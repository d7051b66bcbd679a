// A symbol's own upright frame on a page: u along its reading direction, v down its height,
// whichever quarter turn the page gives it. Scanning and redrawing a symbol work in this frame.
#pragma once

#include <algorithm>
#include <cstdint>

#include "common/barcode/symbol.h"

namespace qxvn::barcode {

struct Point {
  int32_t x = 0;
  int32_t y = 0;
};

class UprightFrame {
 public:
  // `orientation` is rounded to the nearest quarter turn.
  UprightFrame(int orientation, uint32_t pageWidth, uint32_t pageHeight)
      : m_turns(((orientation + 45) / 90) % 4),
        m_pageWidth(static_cast<int32_t>(pageWidth)),
        m_pageHeight(static_cast<int32_t>(pageHeight)) {}

  int Turns() const { return m_turns; }
  int32_t Width() const { return m_turns % 2 ? m_pageHeight : m_pageWidth; }
  int32_t Height() const { return m_turns % 2 ? m_pageWidth : m_pageHeight; }

  // The page pixel at (u, v) of the frame.
  Point PagePoint(int32_t u, int32_t v) const {
    switch (m_turns) {
      case 1:
        return {m_pageWidth - 1 - v, u};
      case 2:
        return {m_pageWidth - 1 - u, m_pageHeight - 1 - v};
      case 3:
        return {v, m_pageHeight - 1 - u};
      default:
        return {u, v};
    }
  }
  // A box of the frame as a box of the page, and the reverse.
  Box PageBox(const Box& upright) const { return Bounds(upright, false); }
  Box UprightBox(const Box& page) const { return Bounds(page, true); }

 private:
  Point FramePoint(int32_t x, int32_t y) const {
    switch (m_turns) {
      case 1:
        return {y, m_pageWidth - 1 - x};
      case 2:
        return {m_pageWidth - 1 - x, m_pageHeight - 1 - y};
      case 3:
        return {m_pageHeight - 1 - y, x};
      default:
        return {x, y};
    }
  }
  Box Bounds(const Box& box, bool toFrame) const {
    const Point a = toFrame ? FramePoint(box.left, box.top) : PagePoint(box.left, box.top);
    const Point b =
        toFrame ? FramePoint(box.right - 1, box.bottom - 1) : PagePoint(box.right - 1, box.bottom - 1);
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1, std::max(a.y, b.y) + 1};
  }

  int m_turns;
  int32_t m_pageWidth;
  int32_t m_pageHeight;
};

}  // namespace qxvn::barcode
