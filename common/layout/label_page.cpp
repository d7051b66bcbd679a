#include "common/layout/label_page.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qxvn {
namespace {

// Filter weights are fixed point with this many fraction bits; each output's weights sum to one.
constexpr int kWeightBits = 14;
constexpr uint32_t kOne = 1u << kWeightBits;
// The horizontal pass keeps 8 fraction bits of each average for the vertical one.
constexpr int kCarryBits = 8;

// For each output sample of one axis, the input samples it covers and how much of each: output
// i spans input [i * in / out, (i + 1) * in / out), and each input sample weighs the part of it
// inside that span. Only outputs [first, last) are kept.
struct AreaTaps {
  std::vector<uint32_t> start;   // first input sample of each output
  std::vector<uint32_t> offset;  // index of its first weight in `weights`; one more at the end
  std::vector<uint16_t> weights;

  AreaTaps(uint32_t in, uint32_t out, uint32_t first, uint32_t last) {
    start.reserve(last - first);
    offset.reserve(last - first + 1);
    for (uint64_t i = first; i < last; ++i) {
      // Sample j of the input spans [j * out, (j + 1) * out) in these units, output i spans
      // [i * in, (i + 1) * in): whole numbers, so the weights are exact before they are scaled.
      const uint64_t from = i * in, to = (i + 1) * in;
      const uint64_t j0 = from / out, j1 = (to + out - 1) / out;
      start.push_back(static_cast<uint32_t>(j0));
      offset.push_back(static_cast<uint32_t>(weights.size()));
      // Rounded down, the weights fall short of one; the largest takes up the rest.
      uint32_t sum = 0;
      size_t largest = weights.size();
      for (uint64_t j = j0; j < j1; ++j) {
        const uint64_t overlap = std::min((j + 1) * out, to) - std::max(j * out, from);
        const auto w = static_cast<uint16_t>(overlap * kOne / in);
        weights.push_back(w);
        if (w > weights[largest]) largest = weights.size() - 1;
        sum += w;
      }
      weights[largest] = static_cast<uint16_t>(weights[largest] + (kOne - sum));
    }
    offset.push_back(static_cast<uint32_t>(weights.size()));
  }

  size_t Count(size_t k) const { return offset[k + 1] - offset[k]; }
  const uint16_t* Weights(size_t k) const { return weights.data() + offset[k]; }
};

// The visible part of the placed page on the label, in label and in placed coordinates.
struct Window {
  uint32_t labelX = 0, labelY = 0;  // top-left on the label
  uint32_t x = 0, y = 0;            // the same point in the placed page
  uint32_t width = 0, height = 0;
};

Window VisibleWindow(const Placement& p) {
  Window w;
  const int64_t x0 = std::max<int64_t>(p.left, 0), y0 = std::max<int64_t>(p.top, 0);
  const int64_t x1 = std::min<int64_t>(p.left + p.width, p.labelWidth);
  const int64_t y1 = std::min<int64_t>(p.top + p.height, p.labelHeight);
  if (x1 <= x0 || y1 <= y0) return w;
  w.labelX = static_cast<uint32_t>(x0);
  w.labelY = static_cast<uint32_t>(y0);
  w.x = static_cast<uint32_t>(x0 - p.left);
  w.y = static_cast<uint32_t>(y0 - p.top);
  w.width = static_cast<uint32_t>(x1 - x0);
  w.height = static_cast<uint32_t>(y1 - y0);
  return w;
}

// Writes one pixel of `channels` values (1: gray) in the output's layout.
inline void PutPixel(uint8_t* out, uint32_t bytesPerPixel, const uint8_t* value, uint32_t channels) {
  if (channels == 1) {
    out[0] = out[1] = out[2] = value[0];
  } else {
    out[0] = value[0];
    out[1] = value[1];
    out[2] = value[2];
  }
  if (bytesPerPixel == 4) out[3] = 0xFF;
}

void CopyWindow(const PageImage& page, const Window& w, PageImage& label, uint32_t channels) {
  // Pixels of the same layout are copied a row at a time.
  const bool sameLayout = channels == 3 && page.bytesPerPixel == label.bytesPerPixel;
  for (uint32_t row = 0; row < w.height; ++row) {
    const uint8_t* in = page.Row(w.y + row) + size_t{w.x} * page.bytesPerPixel;
    uint8_t* out = label.Row(w.labelY + row) + size_t{w.labelX} * label.bytesPerPixel;
    if (sameLayout) {
      std::memcpy(out, in, size_t{w.width} * label.bytesPerPixel);
      continue;
    }
    // A gray page (a PDF renderer's, mostly) onto B, G, R, at strides the compiler knows.
    if (channels == 1 && page.bytesPerPixel == 1 && label.bytesPerPixel == 3) {
      for (uint32_t x = 0; x < w.width; ++x)
        out[3 * size_t{x}] = out[3 * size_t{x} + 1] = out[3 * size_t{x} + 2] = in[x];
      continue;
    }
    for (uint32_t x = 0; x < w.width; ++x, in += page.bytesPerPixel, out += label.bytesPerPixel)
      PutPixel(out, label.bytesPerPixel, in, channels);
  }
}

// Separable area averaging: each input row that the window needs is filtered across once (and
// kept while the next output row may still use it), then the rows are summed down.
void ResampleWindow(const PageImage& page, const Placement& p, const Window& w, PageImage& label,
                    uint32_t channels) {
  const AreaTaps across(page.width, p.width, w.x, w.x + w.width);
  const AreaTaps down(page.height, p.height, w.y, w.y + w.height);
  const size_t samples = size_t{w.width} * channels;
  std::vector<uint16_t> filtered(samples);
  std::vector<uint32_t> sums(samples);
  int64_t filteredRow = -1;
  std::vector<uint8_t> pixel(channels);

  auto filterRow = [&](uint32_t y) {
    const uint8_t* in = page.Row(y);
    uint16_t* out = filtered.data();
    for (size_t k = 0; k < w.width; ++k) {
      const uint8_t* from = in + size_t{across.start[k]} * page.bytesPerPixel;
      const uint16_t* weight = across.Weights(k);
      const size_t count = across.Count(k);
      uint32_t acc[3] = {0, 0, 0};
      for (size_t t = 0; t < count; ++t, from += page.bytesPerPixel)
        for (uint32_t c = 0; c < channels; ++c) acc[c] += uint32_t{weight[t]} * from[c];
      for (uint32_t c = 0; c < channels; ++c)
        *out++ = static_cast<uint16_t>(acc[c] >> (kWeightBits - kCarryBits));
    }
  };

  for (uint32_t row = 0; row < w.height; ++row) {
    std::fill(sums.begin(), sums.end(), 0u);
    const uint16_t* weight = down.Weights(row);
    for (size_t t = 0; t < down.Count(row); ++t) {
      const uint32_t y = down.start[row] + static_cast<uint32_t>(t);
      if (y != filteredRow) {
        filterRow(y);
        filteredRow = y;
      }
      const uint32_t wy = weight[t];
      for (size_t s = 0; s < samples; ++s) sums[s] += wy * filtered[s];
    }
    uint8_t* out = label.Row(w.labelY + row) + size_t{w.labelX} * label.bytesPerPixel;
    constexpr int kShift = kWeightBits + kCarryBits;
    for (size_t x = 0; x < w.width; ++x, out += label.bytesPerPixel) {
      for (uint32_t c = 0; c < channels; ++c)
        pixel[c] = static_cast<uint8_t>((sums[x * channels + c] + (1u << (kShift - 1))) >> kShift);
      PutPixel(out, label.bytesPerPixel, pixel.data(), channels);
    }
  }
}

}  // namespace

PageImage TurnPage(const PageImage& page, int quarterTurns, const std::string& source) {
  quarterTurns &= 3;
  if (quarterTurns == 0) return page;
  const bool swap = quarterTurns % 2 != 0;
  PageImage out = AllocatePage(swap ? page.height : page.width, swap ? page.width : page.height,
                               page.bytesPerPixel, source);
  out.dpiX = swap ? page.dpiY : page.dpiX;
  out.dpiY = swap ? page.dpiX : page.dpiY;
  const uint32_t bpp = page.bytesPerPixel;
  const uint32_t w = page.width, h = page.height;
  // In tiles, so that both the rows read and the columns written stay in the cache. Along a
  // row of the page, the turned pixel moves down a column (1), back along a row (2) or up a
  // column (3).
  const auto stride = static_cast<ptrdiff_t>(out.stride);
  const ptrdiff_t step = quarterTurns == 1 ? stride : quarterTurns == 2 ? -ptrdiff_t{bpp} : -stride;
  auto target = [&](uint32_t x, uint32_t y) {
    if (quarterTurns == 1) return out.Row(x) + size_t{h - 1 - y} * bpp;
    if (quarterTurns == 2) return out.Row(h - 1 - y) + size_t{w - 1 - x} * bpp;
    return out.Row(w - 1 - x) + size_t{y} * bpp;
  };
  constexpr uint32_t kTile = 64;
  for (uint32_t ty = 0; ty < h; ty += kTile) {
    for (uint32_t tx = 0; tx < w; tx += kTile) {
      const uint32_t xEnd = std::min(w, tx + kTile);
      for (uint32_t y = ty; y < std::min(h, ty + kTile); ++y) {
        const uint8_t* in = page.Row(y) + size_t{tx} * bpp;
        uint8_t* to = target(tx, y);
        for (uint32_t x = tx; x < xEnd; ++x, in += bpp, to += step) std::memcpy(to, in, bpp);
      }
    }
  }
  const size_t used = size_t{out.width} * bpp;
  for (uint32_t y = 0; y < out.height; ++y) std::memset(out.Row(y) + used, 0, out.stride - used);
  return out;
}

PageImage ComposeLabel(const PageImage& page, const Placement& placement, uint32_t bytesPerPixel,
                       const PageLimits& limits, const std::string& source) {
  CheckPageSize(placement.labelWidth, placement.labelHeight, limits, source);
  const Window window = VisibleWindow(placement);
  PageImage turned = window.width ? TurnPage(page, placement.quarterTurns, source) : PageImage{};
  const uint32_t channels = turned.bytesPerPixel == 1 ? 1 : 3;
  const bool atOwnSize = window.width && turned.width == placement.width && turned.height == placement.height;
  // A page that is the label already, pixel for pixel, is the label.
  if (atOwnSize && channels == 3 && turned.bytesPerPixel == bytesPerPixel && placement.left == 0 &&
      placement.top == 0 && turned.width == placement.labelWidth && turned.height == placement.labelHeight) {
    const size_t used = size_t{turned.width} * bytesPerPixel;
    if (turned.stride > used)
      for (uint32_t y = 0; y < turned.height; ++y) std::memset(turned.Row(y) + used, 0, turned.stride - used);
    turned.dpiX = turned.dpiY = 0;
    return turned;
  }
  // A new page is all zeros: only what the page does not cover is painted white.
  PageImage label = AllocatePage(placement.labelWidth, placement.labelHeight, bytesPerPixel, source);
  label.dpiX = label.dpiY = 0;
  auto paint = [&](uint32_t y, uint32_t x, uint32_t width) {
    std::memset(label.Row(y) + size_t{x} * bytesPerPixel, 0xFF, size_t{width} * bytesPerPixel);
  };
  for (uint32_t y = 0; y < label.height; ++y) {
    if (y < window.labelY || y >= window.labelY + window.height || window.width == 0) {
      paint(y, 0, label.width);
      continue;
    }
    paint(y, 0, window.labelX);
    paint(y, window.labelX + window.width, label.width - window.labelX - window.width);
  }
  if (window.width == 0) return label;
  if (atOwnSize)
    CopyWindow(turned, window, label, channels);
  else
    ResampleWindow(turned, placement, window, label, channels);
  return label;
}

ContentBox InkBox(const PageImage& page) {
  const uint32_t bpp = page.bytesPerPixel, channels = bpp == 1 ? 1 : 3;
  auto ink = [&](const uint8_t* p) {
    for (uint32_t c = 0; c < channels; ++c)
      if (p[c] != 0xFF) return true;
    return false;
  };
  auto rowInk = [&](uint32_t y) {
    const uint8_t* p = page.Row(y);
    for (uint32_t x = 0; x < page.width; ++x, p += bpp)
      if (ink(p)) return true;
    return false;
  };
  ContentBox box;
  uint32_t top = 0, bottom = page.height;
  while (top < bottom && !rowInk(top)) ++top;
  while (bottom > top && !rowInk(bottom - 1)) --bottom;
  if (top == bottom) return box;
  uint32_t left = page.width, right = 0;
  for (uint32_t y = top; y < bottom; ++y) {
    const uint8_t* row = page.Row(y);
    for (uint32_t x = 0; x < left; ++x)
      if (ink(row + size_t{x} * bpp)) {
        left = x;
        break;
      }
    for (uint32_t x = page.width; x > std::max(right, left); --x)
      if (ink(row + size_t{x - 1} * bpp)) {
        right = x;
        break;
      }
  }
  box.left = left;
  box.top = top;
  box.right = std::max(right, left + 1);
  box.bottom = bottom;
  return box;
}

}  // namespace qxvn
