// The compact forms a rendered PDF page travels in from the renderer process (see PdfPixels):
// a label is mostly black and white, so a page of gray pixels goes as a third of its bytes and
// a page of black and white ones as a twenty-fourth, and is widened back exactly.
#pragma once

#include <cstdint>
#include <vector>

#include "common/input/page_image.h"
#include "common/input/pdf_protocol.h"

namespace qxvn {

// The smallest encoding that holds every pixel of `page` (3 or 4 bytes a pixel) exactly, and in
// `out` the page in it (nothing for kAsAsked: the page goes as it is).
PdfPixels Compact(const PageImage& page, std::vector<uint8_t>& out);

// Bytes of a page of `width` x `height` in `encoding`; kAsAsked is the band layout's.
uint64_t EncodedBytes(PdfPixels encoding, uint32_t width, uint32_t height, uint32_t bytesPerPixel);

// Rows of `bits` (kBits) widened into `gray`, a page of 1 byte a pixel of the same size.
void BitsToGray(const uint8_t* bits, PageImage& gray);

}  // namespace qxvn
