// What the PDF renderer process sends back on its standard output: this header, `messageBytes`
// of text (why it refused the document, when it did), then, for a rendered page, `stride` x
// `height` bytes of pixels in the band layout. Both ends are built from the same sources.
#pragma once

#include <cstdint>

namespace qxvn {

struct PdfReply {
  static constexpr uint32_t kMagic = 0x52505851;  // "QXPR"
  uint32_t magic = kMagic;
  uint32_t refused = 0;  // 1: the text says why
  uint32_t pages = 0;
  uint32_t width = 0;  // 0 when no page was asked for
  uint32_t height = 0;
  uint32_t bytesPerPixel = 0;
  uint64_t stride = 0;
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
