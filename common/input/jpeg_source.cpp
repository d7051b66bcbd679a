// JPEG images as libjpeg decodes them: gray, colour (YCbCr or RGB) and CMYK (Adobe's inverted
// form too). Any damage libjpeg would only warn about (a file that ends early, corrupt data) is
// refused: a label printed from a half-decoded image is a wrong label.
// clang-format off
#include <cstddef>  // jpeglib.h needs size_t and FILE declared before it
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <memory>

#include "common/input/image_file_source.h"

namespace qxvn {
namespace {

// libjpeg's own buffers (a progressive image keeps every coefficient) stay within this many
// bytes a pixel of the page limit.
constexpr uint64_t kLibraryBytesPerPixel = 8;

struct Decoder {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  std::jmp_buf jump{};
  bool created = false;
  char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] void OnError(j_common_ptr common) {
  auto* d = reinterpret_cast<Decoder*>(common->client_data);
  common->err->format_message(common, d->message);
  std::longjmp(d->jump, 1);
}

// Level -1 is a warning about the data itself; the rest is tracing.
void OnMessage(j_common_ptr common, int level) {
  if (level < 0) OnError(common);
}

struct Header {
  uint32_t width = 0;
  uint32_t height = 0;
  bool cmyk = false;
  bool inverted = false;  // Adobe's CMYK: 255 is no ink
  double dpiX = 0;        // from the JFIF density, when it is in dots an inch or a centimetre
  double dpiY = 0;
};

// These two functions hold only plain data, so that the long jump skips no destructor.
bool ReadHeader(Decoder& d, std::span<const uint8_t> bytes, uint64_t maxMemory, Header* header) {
  if (setjmp(d.jump)) return false;
  d.info.err = jpeg_std_error(&d.errors);
  d.errors.error_exit = OnError;
  d.errors.emit_message = OnMessage;
  d.info.client_data = &d;
  jpeg_create_decompress(&d.info);
  d.created = true;
  d.info.mem->max_memory_to_use = static_cast<long>(maxMemory);
  jpeg_mem_src(&d.info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&d.info, TRUE);
  header->width = d.info.image_width;
  header->height = d.info.image_height;
  header->cmyk = d.info.jpeg_color_space == JCS_CMYK || d.info.jpeg_color_space == JCS_YCCK;
  header->inverted = header->cmyk && d.info.saw_Adobe_marker;
  // Unit 0 gives only the pixels' aspect ratio.
  const double perInch = d.info.density_unit == 1 ? 1 : d.info.density_unit == 2 ? 2.54 : 0;
  if (d.info.saw_JFIF_marker) {
    header->dpiX = d.info.X_density * perInch;
    header->dpiY = d.info.Y_density * perInch;
  }
  return true;
}

inline uint8_t Ink(uint32_t colour, uint32_t black) {
  return static_cast<uint8_t>((colour * black + 127) / 255);
}

// One decoded row (R, G, B) into the page's layout.
void RgbRow(const uint8_t* in, uint8_t* out, uint32_t width, uint32_t bytesPerPixel) {
  for (uint32_t x = 0; x < width; ++x, in += 3, out += bytesPerPixel) {
    out[0] = in[2];
    out[1] = in[1];
    out[2] = in[0];
    if (bytesPerPixel == 4) out[3] = 0xFF;
  }
}

// One decoded row (C, M, Y, K; `inverted` when 255 is no ink) into the page's layout.
void CmykRow(const uint8_t* in, uint8_t* out, uint32_t width, uint32_t bytesPerPixel, bool inverted) {
  const uint8_t flip = inverted ? 0 : 0xFF;
  for (uint32_t x = 0; x < width; ++x, in += 4, out += bytesPerPixel) {
    const uint32_t k = in[3] ^ flip;
    out[0] = Ink(in[2] ^ flip, k);
    out[1] = Ink(in[1] ^ flip, k);
    out[2] = Ink(in[0] ^ flip, k);
    if (bytesPerPixel == 4) out[3] = 0xFF;
  }
}

bool ReadRows(Decoder& d, const Header& header, const PageImage& page, uint8_t* row) {
  if (setjmp(d.jump)) return false;
  d.info.out_color_space = header.cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_start_decompress(&d.info);
  JSAMPROW rows[1] = {row};
  const size_t used = size_t{page.width} * page.bytesPerPixel;
  while (d.info.output_scanline < d.info.output_height) {
    uint8_t* out = page.Row(d.info.output_scanline);
    jpeg_read_scanlines(&d.info, rows, 1);
    if (header.cmyk)
      CmykRow(row, out, page.width, page.bytesPerPixel, header.inverted);
    else
      RgbRow(row, out, page.width, page.bytesPerPixel);
    std::fill(out + used, out + page.stride, uint8_t{0});
  }
  jpeg_finish_decompress(&d.info);
  return true;
}

class JpegSource : public ImageFileSource {
 public:
  JpegSource(std::unique_ptr<MappedFile> file, const PageLimits& limits)
      : ImageFileSource(std::move(file), limits) {
    Decoder d;
    Header header;
    const bool ok = ReadHeader(d, m_file->Bytes(), MaxLibraryMemory(), &header);
    Close(d);
    if (!ok) Fail(d);
    CheckPageSize(header.width, header.height, m_limits, m_name);
  }

  PageImage Render(size_t, uint32_t bytesPerPixel) override {
    MapAgainIfReleased();
    Decoder d;
    Header header;
    if (!ReadHeader(d, m_file->Bytes(), MaxLibraryMemory(), &header)) {
      Close(d);
      Fail(d);
    }
    PageImage page;
    std::unique_ptr<uint8_t[]> row;
    try {
      CheckPageSize(header.width, header.height, m_limits, m_name);
      page = AllocatePage(header.width, header.height, bytesPerPixel, m_name);
      row.reset(new uint8_t[size_t{header.width} * 4]);
    } catch (...) {
      Close(d);
      throw;
    }
    const bool ok = ReadRows(d, header, page, row.get());
    Close(d);
    if (!ok) Fail(d);
    KeepResolution(page, header.dpiX, header.dpiY);
    return page;
  }

 private:
  uint64_t MaxLibraryMemory() const {
    constexpr auto kMost = static_cast<uint64_t>(LONG_MAX);
    return m_limits.maxPixels > kMost / kLibraryBytesPerPixel ? kMost
                                                              : m_limits.maxPixels * kLibraryBytesPerPixel;
  }

  static void Close(Decoder& d) {
    if (d.created) jpeg_destroy_decompress(&d.info);
    d.created = false;
  }

  [[noreturn]] void Fail(const Decoder& d) const { FailDecoding("JPEG", d.message); }
};

}  // namespace

std::unique_ptr<PageSource> OpenJpeg(std::unique_ptr<MappedFile> file, const PageLimits& limits) {
  return std::make_unique<JpegSource>(std::move(file), limits);
}

}  // namespace qxvn
