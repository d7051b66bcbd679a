// PNM images: P1/P4 bitmaps (1 = black), P2/P5 gray maps and P3/P6 colour maps, plain or
// binary, with sample values up to 65535 scaled to 8 bits.
#include <array>
#include <memory>
#include <vector>

#include "common/input/page_source.h"
#include "common/io/mapped_file.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

class PnmSource : public PageSource {
 public:
  // Only the header is read now; the samples are read in when the page is rendered.
  PnmSource(std::unique_ptr<MappedFile> file, const PageLimits& limits)
      : m_path(file->Path()),
        m_name(MappedFile::DisplayName(m_path)),
        m_limits(limits),
        m_file(std::move(file)),
        m_bytes(m_file->Bytes()) {
    ReadHeader();
  }

  size_t PageCount() const override { return 1; }

  PageImage Render(size_t, uint32_t bytesPerPixel) override {
    if (m_file) {
      m_file->Populate();
    } else {
      Reopen();
    }
    m_pos = m_dataStart;
    PageImage page = AllocatePage(m_width, m_height, bytesPerPixel, m_name);
    if (m_kind == '6' && m_maxval == 255) {
      ConvertBinaryRgb8(page);
    } else {
      ConvertGeneric(page);
    }
    return page;
  }

  void Release() override {
    // Bytes read from a pipe cannot be read again; a mapped file can.
    if (!m_file || !m_file->IsMapped()) return;
    m_file.reset();
    m_bytes = {};
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const { throw ToolError(m_name + ": " + message); }

  // Maps the file again after Release; its header must still say what it said at first.
  void Reopen() {
    const char kind = m_kind;
    const uint32_t width = m_width, height = m_height, maxval = m_maxval;
    m_file = std::make_unique<MappedFile>(m_path);
    m_bytes = m_file->Bytes();
    if (m_bytes.size() < 2 || m_bytes[0] != 'P' || m_bytes[1] != kind)
      Fail("the file changed while printing");
    ReadHeader();
    if (m_width != width || m_height != height || m_maxval != maxval) Fail("the file changed while printing");
  }

  static bool IsSpace(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }

  void SkipSpaceAndComments() {
    while (m_pos < m_bytes.size()) {
      uint8_t c = m_bytes[m_pos];
      if (c == '#') {
        while (m_pos < m_bytes.size() && m_bytes[m_pos] != '\n' && m_bytes[m_pos] != '\r') ++m_pos;
      } else if (IsSpace(c)) {
        ++m_pos;
      } else {
        break;
      }
    }
  }

  uint32_t Number(const char* what, uint32_t max) {
    SkipSpaceAndComments();
    uint64_t value = 0;
    size_t start = m_pos;
    while (m_pos < m_bytes.size() && m_bytes[m_pos] >= '0' && m_bytes[m_pos] <= '9') {
      value = value * 10 + (m_bytes[m_pos++] - '0');
      if (value > max) Fail(std::string(what) + " is larger than " + std::to_string(max));
    }
    if (m_pos == start) Fail(std::string("the header's ") + what + " is missing");
    return static_cast<uint32_t>(value);
  }

  void ReadHeader() {
    if (m_bytes.size() < 2 || m_bytes[0] != 'P' || m_bytes[1] < '1' || m_bytes[1] > '6')
      Fail("not a PNM image (P1-P6)");
    m_kind = static_cast<char>(m_bytes[1]);
    m_pos = 2;
    m_width = Number("width", 0x7FFFFFFF);
    m_height = Number("height", 0x7FFFFFFF);
    if (m_width == 0 || m_height == 0) Fail("the image has no pixels");
    bool bitmap = m_kind == '1' || m_kind == '4';
    m_maxval = bitmap ? 1 : Number("maxval", 65535);
    if (m_maxval == 0) Fail("maxval must be 1 to 65535");
    if (m_kind <= '3') {
      // Every plain sample takes at least one character; a file shorter than that is cut short.
      uint64_t samples = uint64_t{m_width} * m_height * (m_kind == '3' ? 3 : 1);
      if (m_bytes.size() - m_pos < samples) Fail("truncated image data");
    } else {
      // Exactly one whitespace byte separates the header from binary samples; a comment may
      // come before it, and then its line end is that byte.
      if (m_pos < m_bytes.size() && m_bytes[m_pos] == '#')
        while (m_pos < m_bytes.size() && m_bytes[m_pos] != '\n' && m_bytes[m_pos] != '\r') ++m_pos;
      if (m_pos >= m_bytes.size()) Fail("the image data is missing");
      if (!IsSpace(m_bytes[m_pos])) Fail("the header must end in one whitespace byte before the samples");
      ++m_pos;
      uint64_t samples = m_kind == '6' ? 3 : 1;
      uint64_t rowBytes = m_kind == '4' ? (m_width + 7ull) / 8 : m_width * samples * (m_maxval > 255 ? 2 : 1);
      uint64_t need = rowBytes * m_height;
      if (m_bytes.size() - m_pos < need)
        Fail("truncated image data: " + std::to_string(m_bytes.size() - m_pos) + " of " +
             std::to_string(need) + " bytes");
    }
    CheckPageSize(m_width, m_height, m_limits, m_name);
    m_dataStart = m_pos;
  }

  void StorePixel(uint8_t*& out, uint8_t r, uint8_t g, uint8_t b, uint32_t bytesPerPixel) {
    out[0] = b;
    out[1] = g;
    out[2] = r;
    if (bytesPerPixel == 4) out[3] = 0xFF;
    out += bytesPerPixel;
  }

  // The common case, kept free of per-sample branches.
  void ConvertBinaryRgb8(PageImage& page) {
    const uint8_t* in = m_bytes.data() + m_pos;
    for (uint32_t y = 0; y < m_height; ++y) {
      uint8_t* out = page.Row(y);
      if (page.bytesPerPixel == 3) {
        for (uint32_t x = 0; x < m_width; ++x, in += 3, out += 3) {
          out[0] = in[2];
          out[1] = in[1];
          out[2] = in[0];
        }
      } else {
        for (uint32_t x = 0; x < m_width; ++x, in += 3, out += 4) {
          out[0] = in[2];
          out[1] = in[1];
          out[2] = in[0];
          out[3] = 0xFF;
        }
      }
      std::fill(out, page.Row(y) + page.stride, 0);
    }
  }

  // Next sample of a plain (ASCII) image.
  uint32_t PlainSample() {
    SkipSpaceAndComments();
    if (m_pos >= m_bytes.size()) Fail("truncated image data");
    if (m_kind == '1') {
      uint8_t c = m_bytes[m_pos++];
      if (c != '0' && c != '1') Fail("a bitmap sample must be 0 or 1");
      return c - '0';
    }
    uint32_t value = Number("sample", 65535);
    if (value > m_maxval)
      Fail("sample " + std::to_string(value) + " is above maxval " + std::to_string(m_maxval));
    return value;
  }

  uint32_t BinarySample(const uint8_t*& in) {
    uint32_t value = *in++;
    if (m_maxval > 255) value = (value << 8) | *in++;
    if (value > m_maxval)
      Fail("sample " + std::to_string(value) + " is above maxval " + std::to_string(m_maxval));
    return value;
  }

  void ConvertGeneric(PageImage& page) {
    std::vector<uint8_t> scale(m_maxval + 1);
    for (uint32_t v = 0; v <= m_maxval; ++v)
      scale[v] = static_cast<uint8_t>((v * 255ull + m_maxval / 2) / m_maxval);
    const bool plain = m_kind <= '3';
    const uint8_t* in = m_bytes.data() + m_pos;
    for (uint32_t y = 0; y < m_height; ++y) {
      uint8_t* out = page.Row(y);
      for (uint32_t x = 0; x < m_width; ++x) {
        if (m_kind == '1' || m_kind == '4') {
          uint32_t bit = plain ? PlainSample() : (in[x >> 3] >> (7 - (x & 7))) & 1;
          uint8_t level = bit ? 0 : 255;
          StorePixel(out, level, level, level, page.bytesPerPixel);
        } else if (m_kind == '2' || m_kind == '5') {
          uint8_t level = scale[plain ? PlainSample() : BinarySample(in)];
          StorePixel(out, level, level, level, page.bytesPerPixel);
        } else {
          uint8_t r = scale[plain ? PlainSample() : BinarySample(in)];
          uint8_t g = scale[plain ? PlainSample() : BinarySample(in)];
          uint8_t b = scale[plain ? PlainSample() : BinarySample(in)];
          StorePixel(out, r, g, b, page.bytesPerPixel);
        }
      }
      if (m_kind == '4') in += (m_width + 7) / 8;
      std::fill(out, page.Row(y) + page.stride, 0);
    }
  }

  std::string m_path;
  std::string m_name;
  PageLimits m_limits;
  std::unique_ptr<MappedFile> m_file;
  std::span<const uint8_t> m_bytes;
  size_t m_pos = 0;
  size_t m_dataStart = 0;
  char m_kind = 0;
  uint32_t m_width = 0, m_height = 0, m_maxval = 0;
};

}  // namespace

std::unique_ptr<PageSource> OpenPnm(std::unique_ptr<MappedFile> file, const PageLimits& limits) {
  return std::make_unique<PnmSource>(std::move(file), limits);
}

}  // namespace qxvn
