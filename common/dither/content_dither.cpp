#include "common/dither/content_dither.h"

#include <algorithm>
#include <vector>

#include "common/barcode/gray_image.h"

namespace qxvn {
namespace {

struct NamedContent {
  std::string_view name;
  Content content;
};
constexpr NamedContent kContents[] = {{"auto", Content::kAuto},
                                      {"photo", Content::kPhoto},
                                      {"graphics", Content::kGraphics},
                                      {"text", Content::kText}};

// In graphics, grays this close to black or white are text or lines: thresholded.
constexpr int kSolidMargin = 40;

}  // namespace

std::optional<Content> ContentNamed(std::string_view name) {
  for (const NamedContent& named : kContents)
    if (named.name == name) return named.content;
  return std::nullopt;
}

void DiffuseContent(PageImage& page, Content content, std::span<const barcode::Box> keep) {
  if ((content != Content::kPhoto && content != Content::kGraphics) || page.bytesPerPixel < 3 ||
      page.width == 0)
    return;
  // Which pixels of a row the diffusion leaves alone.
  std::vector<uint8_t> kept(page.width);
  // Floyd-Steinberg: 7/16 right, 3/16 below left, 5/16 below, 1/16 below right; errors in
  // sixteenths, two rows of them.
  std::vector<int> error(page.width + 2, 0), next(page.width + 2, 0);
  for (uint32_t y = 0; y < page.height; ++y) {
    std::fill(kept.begin(), kept.end(), 0);
    for (const barcode::Box& box : keep) {
      if (static_cast<int64_t>(y) < box.top || static_cast<int64_t>(y) >= box.bottom) continue;
      const auto from = static_cast<uint32_t>(std::clamp<int64_t>(box.left, 0, page.width));
      const auto to = static_cast<uint32_t>(std::clamp<int64_t>(box.right, 0, page.width));
      std::fill(kept.begin() + from, kept.begin() + to, 1);
    }
    std::fill(next.begin(), next.end(), 0);
    uint8_t* pixel = page.Row(y);
    for (uint32_t x = 0; x < page.width; ++x, pixel += page.bytesPerPixel) {
      const int gray = barcode::PixelLuminance(pixel);
      const bool solid = content == Content::kGraphics && (gray < kSolidMargin || gray > 255 - kSolidMargin);
      if (kept[x] || solid) continue;  // the threshold decides; its error goes nowhere
      const int wanted = gray + error[x + 1] / 16;
      const int printed = wanted < 128 ? 0 : 255;
      const int off = (wanted - printed) * 16;
      error[x + 2] += off * 7 / 16;
      next[x] += off * 3 / 16;
      next[x + 1] += off * 5 / 16;
      next[x + 2] += off / 16;
      pixel[0] = pixel[1] = pixel[2] = static_cast<uint8_t>(printed);
    }
    std::swap(error, next);
  }
}

}  // namespace qxvn
