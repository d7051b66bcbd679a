#include "common/wire/page_dots.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/tool_error.h"

namespace qxvn::wire {
namespace {

// The eight dots of each byte of a line, the first in its high bit: 0 where it prints, else 255.
using EightDots = std::array<uint8_t, 8>;
constexpr std::array<EightDots, 256> kDotsOfByte = [] {
  std::array<EightDots, 256> table{};
  for (unsigned byte = 0; byte < 256; ++byte)
    for (unsigned bit = 0; bit < 8; ++bit) table[byte][bit] = (byte & (0x80u >> bit)) ? 0 : 255;
  return table;
}();

}  // namespace

barcode::GrayImage PageDots(const Page& page) {
  // 5.5 m of label at 300 dots an inch, 37 MB of gray at the widest: labels are far shorter.
  constexpr uint64_t kMaxLines = 1u << 16;
  if (page.lines > kMaxLines)
    throw ToolError("page " + std::to_string(page.number) + " is " + std::to_string(page.lines) +
                    " lines long; symbols are checked on pages of at most " + std::to_string(kMaxLines));
  const uint32_t widthBytes = std::max({page.lineBytes.value_or(0), page.widestBytes, 1u});
  barcode::GrayImage dots(widthBytes * 8, static_cast<uint32_t>(page.lines));
  uint32_t y = 0;
  for (const Run& run : page.runs) {
    if (run.data.empty()) {
      y += run.lines;
      continue;
    }
    uint8_t* first = dots.Row(y);
    for (size_t i = 0; i < run.data.size(); ++i)
      std::memcpy(first + (run.firstByte + i) * 8, kDotsOfByte[run.data[i]].data(), 8);
    for (uint32_t line = 1; line < run.lines; ++line) std::memcpy(dots.Row(y + line), first, dots.width);
    y += run.lines;
  }
  return dots;
}

}  // namespace qxvn::wire
