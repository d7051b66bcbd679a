#include "tools/qxvn/wire/preview.h"

#include <png.h>

#include <algorithm>
#include <vector>

#include "common/tool_error.h"
#include "tools/qxvn/io/png_write.h"

namespace qxvn::wire {

void WritePreview(const Page& page, AtomicOutput& out) {
  if (page.lines > kMaxPreviewLines)
    throw ToolError("page " + std::to_string(page.number) + " is " + std::to_string(page.lines) +
                    " lines long; previews stop at " + std::to_string(kMaxPreviewLines));
  uint32_t widthBytes = std::max({page.lineBytes.value_or(0), page.widestBytes, 1u});
  PngLayout layout;
  layout.width = widthBytes * 8;
  layout.height = std::max<uint32_t>(static_cast<uint32_t>(page.lines), 1);
  layout.bitDepth = 1;
  layout.colorType = PNG_COLOR_TYPE_GRAY;
  layout.dotsPerInch = 300;

  // In the stream a one bit prints; in a gray PNG a zero bit is black.
  std::vector<uint8_t> row(widthBytes, 0xFF);
  size_t run = 0;
  uint32_t usedOfRun = 0;
  WritePng(out, layout, [&](uint32_t) -> const uint8_t* {
    while (run < page.runs.size() && usedOfRun == page.runs[run].lines) {
      ++run;
      usedOfRun = 0;
    }
    if (run == page.runs.size()) {
      std::fill(row.begin(), row.end(), 0xFF);
      return row.data();
    }
    const Run& r = page.runs[run];
    if (usedOfRun++ == 0) {
      std::fill(row.begin(), row.end(), 0xFF);
      for (size_t i = 0; i < r.data.size(); ++i) row[r.firstByte + i] = static_cast<uint8_t>(~r.data[i]);
    }
    return row.data();
  });
}

}  // namespace qxvn::wire
