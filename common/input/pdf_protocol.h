// What the printing process and the PDF renderer process say to each other. The renderer reads
// the document from its standard input, answers one PdfReply with the page count, then one
// PdfReply for each PdfRequest read from descriptor 3, until that descriptor ends. A reply is
// this header, `messageBytes` of text (why a request was refused, when it was), then
// `payloadBytes` of pixels in the encoding it names. Both ends are built from the same sources.
#pragma once

#include <cstdint>

namespace qxvn {

// Descriptor the renderer reads its requests from.
constexpr int kPdfRequestDescriptor = 3;

struct PdfRequest {
  static constexpr uint32_t kMagic = 0x51525851;  // "QXRQ"
  uint32_t magic = kMagic;
  uint32_t index = 0;          // the page, from 0
  uint32_t bytesPerPixel = 0;  // 3 or 4; 0: the page's size only, nothing rendered
  uint32_t reserved = 0;
  double dpiX = 0;
  double dpiY = 0;
  // When not 0: render only when the page's drawn size is exactly this, else answer its size
  // only. A page asked for ahead is asked this way, on the guess that it is laid out as the one
  // before it.
  double ifPointWidth = 0;
  double ifPointHeight = 0;
};

// How a rendered page's pixels travel. A page whose every pixel is gray goes as one byte a
// pixel, one whose every pixel is black or white as one bit; either is widened back to exactly
// the pixels that were drawn.
enum class PdfPixels : uint32_t {
  kAsAsked = 0,  // `stride` x `height` bytes, `bytesPerPixel` a pixel, the band layout
  kGray = 1,     // one byte a pixel, B = G = R, rows padded as in the band layout
  kBits = 2,     // (`width` + 7) / 8 bytes a row, the first pixel in the high bit, 1 for white
};

struct PdfReply {
  static constexpr uint32_t kMagic = 0x52505851;  // "QXPR"
  uint32_t magic = kMagic;
  uint32_t refused = 0;  // 1: the text says why
  uint32_t pages = 0;
  uint32_t index = 0;  // the page asked for
  uint32_t width = 0;  // 0 when nothing was rendered
  uint32_t height = 0;
  uint32_t bytesPerPixel = 0;
  PdfPixels encoding = PdfPixels::kAsAsked;
  uint64_t stride = 0;  // of the page in the band layout
  uint64_t payloadBytes = 0;
  uint32_t messageBytes = 0;
  uint32_t reserved = 0;
  double pointWidth = 0;  // the asked page as it is drawn (crop box, turned by its rotation)
  double pointHeight = 0;
};

// Exit status of a renderer that ran out of memory (an allocation failed).
constexpr int kPdfRendererOutOfMemory = 3;

// Under AddressSanitizer the address space is mostly reserved shadow memory and cannot be
// limited: the sanitizer's own allocator limits stand in for it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

}  // namespace qxvn
