// PNG images of every kind libpng reads: palette, gray, colour, 1 to 16 bits per sample, with
// or without alpha. Alpha is composited over white; 16-bit samples are scaled to 8 bits.
#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "common/input/page_source.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

struct Decoder {
  FILE* file = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  char message[256] = {};
};

void OnError(png_structp png, png_const_charp message) {
  auto* decoder = static_cast<Decoder*>(png_get_error_ptr(png));
  if (decoder) std::snprintf(decoder->message, sizeof decoder->message, "%s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

struct Layout {
  uint32_t width = 0;
  uint32_t height = 0;
  bool alpha = false;
  int passes = 1;
};

// These two functions hold only plain data, so that libpng's long jump skips no destructor.
bool ReadHeader(Decoder& d, uint32_t bytesPerPixel, Layout* layout) {
  if (setjmp(png_jmpbuf(d.png))) return false;
  png_init_io(d.png, d.file);
  png_read_info(d.png, d.info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0;
  png_get_IHDR(d.png, d.info, &width, &height, &depth, &colorType, nullptr, nullptr, nullptr);
  bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0;
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(d.png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(d.png);
  if (png_get_valid(d.png, d.info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(d.png);
    alpha = true;
  }
  if (depth == 16) png_set_scale_16(d.png);
  if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(d.png);
  png_set_bgr(d.png);
  if (!alpha && bytesPerPixel == 4) png_set_filler(d.png, 0xFF, PNG_FILLER_AFTER);
  layout->passes = png_set_interlace_handling(d.png);
  png_read_update_info(d.png, d.info);
  layout->width = width;
  layout->height = height;
  layout->alpha = alpha;
  return true;
}

bool ReadRows(Decoder& d, const Layout& layout, const std::function<png_bytep(uint32_t)>& target,
              const std::function<void(uint32_t)>& finish) {
  if (setjmp(png_jmpbuf(d.png))) return false;
  for (int pass = 0; pass < layout.passes; ++pass) {
    for (uint32_t y = 0; y < layout.height; ++y) {
      png_read_row(d.png, target(y), nullptr);
      if (layout.passes == 1) finish(y);
    }
  }
  if (layout.passes > 1)
    for (uint32_t y = 0; y < layout.height; ++y) finish(y);
  png_read_end(d.png, nullptr);
  return true;
}

// Over white: c' = (c a + 255 (255 - a)) / 255, rounded.
inline uint8_t OverWhite(uint32_t c, uint32_t a) {
  return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}

class PngSource : public PageSource {
 public:
  explicit PngSource(const std::string& path) : m_path(path) {
    Decoder d;
    Open(d);
    Layout layout;
    bool ok = ReadHeader(d, 3, &layout);
    Close(d);
    if (!ok) Fail(d);
  }

  size_t PageCount() const override { return 1; }

  PageImage Render(size_t, uint32_t bytesPerPixel) override {
    Decoder d;
    Open(d);
    Layout layout;
    if (!ReadHeader(d, bytesPerPixel, &layout)) {
      Close(d);
      Fail(d);
    }
    PageImage page;
    try {
      page = AllocatePage(layout.width, layout.height, bytesPerPixel, m_path);
    } catch (...) {
      Close(d);
      throw;
    }
    for (uint32_t y = 0; y < page.height; ++y) {
      uint8_t* row = page.Row(y);
      std::memset(row + size_t{page.width} * bytesPerPixel, 0,
                  page.stride - size_t{page.width} * bytesPerPixel);
    }

    // Without alpha, and with alpha at 4 bytes a pixel, libpng writes straight into the page;
    // 3-byte pages with alpha go through a staging row (the whole image when interlaced).
    bool staged = layout.alpha && bytesPerPixel == 3;
    size_t stagingRow = size_t{layout.width} * 4;
    std::vector<uint8_t> staging;
    if (staged) staging.resize(stagingRow * (layout.passes > 1 ? layout.height : 1));

    std::function<png_bytep(uint32_t)> target = [&](uint32_t y) -> png_bytep {
      if (!staged) return page.Row(y);
      return staging.data() + (layout.passes > 1 ? stagingRow * y : 0);
    };
    std::function<void(uint32_t)> finish = [&](uint32_t y) {
      if (!layout.alpha) return;
      const uint8_t* in = target(y);
      uint8_t* out = page.Row(y);
      for (uint32_t x = 0; x < layout.width; ++x, in += 4, out += bytesPerPixel) {
        uint32_t a = in[3];
        out[0] = OverWhite(in[0], a);
        out[1] = OverWhite(in[1], a);
        out[2] = OverWhite(in[2], a);
        if (bytesPerPixel == 4) out[3] = 0xFF;
      }
    };
    bool ok = ReadRows(d, layout, target, finish);
    Close(d);
    if (!ok) Fail(d);
    return page;
  }

 private:
  void Open(Decoder& d) const {
    d.file = std::fopen(m_path.c_str(), "rb");
    if (!d.file) throw ToolError("cannot read " + m_path + ": " + std::strerror(errno));
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    d.info = d.png ? png_create_info_struct(d.png) : nullptr;
    if (!d.info) {
      Close(d);
      throw ToolError(m_path + ": out of memory");
    }
    png_set_error_fn(d.png, &d, OnError, OnWarning);
  }

  static void Close(Decoder& d) {
    if (d.png) png_destroy_read_struct(&d.png, d.info ? &d.info : nullptr, nullptr);
    if (d.file) std::fclose(d.file);
    d.png = nullptr;
    d.info = nullptr;
    d.file = nullptr;
  }

  [[noreturn]] void Fail(const Decoder& d) const {
    throw ToolError(m_path +
                    ": cannot decode PNG: " + std::string(d.message[0] ? d.message : "unknown error"));
  }

  std::string m_path;
};

}  // namespace

std::unique_ptr<PageSource> OpenPng(const std::string& path) { return std::make_unique<PngSource>(path); }

}  // namespace qxvn
