// PNG images of every kind libpng reads: palette, gray, colour, 1 to 16 bits per sample, with
// or without alpha. Alpha is composited over white; 16-bit samples are scaled to 8 bits.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "common/input/image_file_source.h"

namespace qxvn {
namespace {

// Most bytes libpng may allocate for one ancillary chunk (text, profile...), which no label needs
// large; without it a chunk's length field alone can ask for gigabytes.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{8} << 20;
// Most ancillary chunks kept.
constexpr png_uint_32 kMaxCachedChunks = 1000;

struct Decoder {
  std::span<const uint8_t> bytes;
  size_t pos = 0;
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

void OnRead(png_structp png, png_bytep out, size_t size) {
  auto* decoder = static_cast<Decoder*>(png_get_io_ptr(png));
  if (size > decoder->bytes.size() - decoder->pos) png_error(png, "the file ends early");
  std::memcpy(out, decoder->bytes.data() + decoder->pos, size);
  decoder->pos += size;
}

struct Layout {
  uint32_t width = 0;
  uint32_t height = 0;
  bool alpha = false;
  // Gray and palette images without transparency are read as one byte a pixel (the gray value
  // or the palette index) and widened to B, G, R once, through `colours`.
  bool narrow = false;
  int passes = 1;
  double dpiX = 0;  // from the pHYs chunk, when it is in pixels a metre
  double dpiY = 0;
  uint8_t colours[256][4] = {};  // B, G, R, 0xFF of each gray value or palette index
};

// These two functions hold only plain data, so that libpng's long jump skips no destructor.
bool ReadHeader(Decoder& d, uint32_t bytesPerPixel, Layout* layout) {
  if (setjmp(png_jmpbuf(d.png))) return false;
  png_read_info(d.png, d.info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0;
  png_get_IHDR(d.png, d.info, &width, &height, &depth, &colorType, nullptr, nullptr, nullptr);
  bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0;
  const bool transparent = png_get_valid(d.png, d.info, PNG_INFO_tRNS) != 0;
  layout->narrow = !transparent && (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_PALETTE);
  if (layout->narrow) {
    if (colorType == PNG_COLOR_TYPE_GRAY) {
      if (depth < 8) png_set_expand_gray_1_2_4_to_8(d.png);
      for (int v = 0; v < 256; ++v)
        layout->colours[v][0] = layout->colours[v][1] = layout->colours[v][2] = static_cast<uint8_t>(v);
      for (auto& colour : layout->colours) colour[3] = 0xFF;
    } else {
      if (depth < 8) png_set_packing(d.png);
      // Indices past the palette are black, as libpng's own expansion makes them.
      png_colorp palette = nullptr;
      int entries = 0;
      png_get_PLTE(d.png, d.info, &palette, &entries);
      for (int i = 0; i < std::min(entries, 256); ++i) {
        layout->colours[i][0] = palette[i].blue;
        layout->colours[i][1] = palette[i].green;
        layout->colours[i][2] = palette[i].red;
      }
      for (auto& colour : layout->colours) colour[3] = 0xFF;
    }
  } else {
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(d.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(d.png);
    if (transparent) {
      png_set_tRNS_to_alpha(d.png);
      alpha = true;
    }
    if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(d.png);
    png_set_bgr(d.png);
    if (!alpha && bytesPerPixel == 4) png_set_filler(d.png, 0xFF, PNG_FILLER_AFTER);
  }
  if (depth == 16) png_set_scale_16(d.png);
  layout->passes = png_set_interlace_handling(d.png);
  png_read_update_info(d.png, d.info);
  layout->width = width;
  layout->height = height;
  layout->alpha = alpha;
  png_uint_32 resX = 0, resY = 0;
  int unit = PNG_RESOLUTION_UNKNOWN;
  if (png_get_pHYs(d.png, d.info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER) {
    layout->dpiX = resX * 0.0254;
    layout->dpiY = resY * 0.0254;
  }
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

// One byte a pixel to B, G, R (and 0xFF at 4 bytes a pixel) through the colour table. At 3
// bytes a pixel each pixel is stored as 4 bytes, the fourth overwritten by the next pixel's
// (one store a pixel), and the last one as 3.
void Widen(const uint8_t* in, uint32_t width, const uint8_t (&colours)[256][4], uint32_t bytesPerPixel,
           uint8_t* out) {
  if (width == 0) return;
  if (bytesPerPixel == 4) {
    for (uint32_t x = 0; x < width; ++x) std::memcpy(out + 4 * size_t{x}, colours[in[x]], 4);
    return;
  }
  for (uint32_t x = 0; x + 1 < width; ++x) std::memcpy(out + 3 * size_t{x}, colours[in[x]], 4);
  std::memcpy(out + 3 * size_t{width - 1}, colours[in[width - 1]], 3);
}

// Over white: c' = (c a + 255 (255 - a)) / 255, rounded.
inline uint8_t OverWhite(uint32_t c, uint32_t a) {
  return static_cast<uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
}

class PngSource : public ImageFileSource {
 public:
  PngSource(std::unique_ptr<MappedFile> file, const PageLimits& limits)
      : ImageFileSource(std::move(file), limits) {
    CheckDeclaredSize();
    CheckChunkLengths(false);
    Decoder d;
    Open(d);
    Layout layout;
    bool ok = ReadHeader(d, 3, &layout);
    Close(d);
    if (!ok) Fail(d);
  }

  PageImage Render(size_t, uint32_t bytesPerPixel) override {
    MapAgainIfReleased();
    CheckDeclaredSize();
    CheckChunkLengths(true);
    Decoder d;
    Open(d);
    Layout layout;
    if (!ReadHeader(d, bytesPerPixel, &layout)) {
      Close(d);
      Fail(d);
    }
    // Colour without alpha, and with alpha at 4 bytes a pixel, libpng writes straight into the
    // page; 3-byte pages with alpha and narrow images go through a staging row (the whole image
    // when interlaced). Nothing is cleared in advance: memory is touched only by rows the data
    // really holds, so a short file that claims a large image costs little before it fails.
    bool staged = (layout.alpha && bytesPerPixel == 3) || layout.narrow;
    size_t stagingRow = size_t{layout.width} * (layout.narrow ? 1 : 4);
    std::unique_ptr<uint8_t[]> staging;
    PageImage page;
    try {
      page = AllocatePage(layout.width, layout.height, bytesPerPixel, m_name);
      if (staged) staging.reset(new uint8_t[stagingRow * (layout.passes > 1 ? layout.height : 1)]);
    } catch (...) {
      Close(d);
      throw;
    }

    std::function<png_bytep(uint32_t)> target = [&](uint32_t y) -> png_bytep {
      if (!staged) return page.Row(y);
      return staging.get() + (layout.passes > 1 ? stagingRow * y : 0);
    };
    const size_t used = size_t{page.width} * bytesPerPixel;
    std::function<void(uint32_t)> finish = [&](uint32_t y) {
      std::memset(page.Row(y) + used, 0, page.stride - used);
      const uint8_t* in = target(y);
      uint8_t* out = page.Row(y);
      if (layout.narrow) {
        Widen(in, layout.width, layout.colours, bytesPerPixel, out);
        return;
      }
      if (!layout.alpha) return;
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
    KeepResolution(page, layout.dpiX, layout.dpiY);
    return page;
  }

 private:
  // The header's size, read from the bytes before libpng allocates anything for it. The file
  // starts with its signature and then the IHDR chunk: width and height at bytes 16 and 20.
  void CheckDeclaredSize() const {
    std::span<const uint8_t> b = m_file->Bytes();
    if (b.size() < 24) return;  // libpng says what is missing
    auto at = [&](size_t i) {
      return uint32_t{b[i]} << 24 | uint32_t{b[i + 1]} << 16 | uint32_t{b[i + 2]} << 8 | b[i + 3];
    };
    CheckPageSize(at(16), at(20), m_limits, m_name);
  }

  // libpng allocates a chunk's buffer from its length field before it reads the data, whatever
  // the chunk size limit says; so no chunk may claim more than the file still holds, and every
  // allocation for a chunk is bounded by the file itself. Opening reads the chunks up to the
  // image data, rendering all of them.
  void CheckChunkLengths(bool wholeFile) const {
    std::span<const uint8_t> b = m_file->Bytes();
    auto at = [&](size_t i) {
      return uint32_t{b[i]} << 24 | uint32_t{b[i + 1]} << 16 | uint32_t{b[i + 2]} << 8 | b[i + 3];
    };
    constexpr size_t kFraming = 12;  // length, type, CRC
    if (b.size() < 8) return;        // libpng says what is missing
    for (size_t pos = 8; b.size() - pos >= kFraming;) {
      const uint32_t length = at(pos);
      const std::string type(reinterpret_cast<const char*>(b.data() + pos + 4), 4);
      if (type == "IDAT" && !wholeFile) return;
      if (length > b.size() - pos - kFraming) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "the file ends early: the chunk at byte %zu claims %u bytes, %zu are left", pos, length,
                      b.size() - pos - kFraming);
        FailDecoding("PNG", message);
      }
      if (type == "IEND") return;
      pos += kFraming + length;
    }
  }

  void Open(Decoder& d) const {
    d.bytes = m_file->Bytes();
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    d.info = d.png ? png_create_info_struct(d.png) : nullptr;
    if (!d.info) {
      Close(d);
      throw ToolError(m_name + ": out of memory");
    }
    png_set_error_fn(d.png, &d, OnError, OnWarning);
    png_set_read_fn(d.png, &d, OnRead);
    // A second guard behind CheckDeclaredSize; it also lifts the library's default of a million
    // rows, which is below what the page limit may allow.
    const auto side = static_cast<png_uint_32>(std::min<uint64_t>(m_limits.maxPixels, PNG_UINT_31_MAX));
    png_set_user_limits(d.png, side, side);
    png_set_chunk_malloc_max(d.png, kMaxChunkBytes);
    png_set_chunk_cache_max(d.png, kMaxCachedChunks);
  }

  static void Close(Decoder& d) {
    if (d.png) png_destroy_read_struct(&d.png, d.info ? &d.info : nullptr, nullptr);
    d.png = nullptr;
    d.info = nullptr;
  }

  [[noreturn]] void Fail(const Decoder& d) const { FailDecoding("PNG", d.message); }
};

}  // namespace

std::unique_ptr<PageSource> OpenPng(std::unique_ptr<MappedFile> file, const PageLimits& limits) {
  return std::make_unique<PngSource>(std::move(file), limits);
}

}  // namespace qxvn
