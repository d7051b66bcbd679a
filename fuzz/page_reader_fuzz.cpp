// The PNM, PNG, JPEG or PDF reader (QX_FUZZ_OPEN names its opener) on arbitrary bytes, as if read
// from a pipe: a page or one ToolError. The first byte picks the pixel size; pages are held to a
// million pixels so that a run spends its time on decoding, not on allocating. PDF pages are
// rendered at 72 dpi by the renderer process, within a budget of 256 MiB and 2 s.
#include "common/input/page_source.h"
#include "common/io/mapped_file.h"
#include "common/tool_error.h"
#include "fuzz/fuzz_input.h"

namespace {

[[maybe_unused]] std::unique_ptr<qxvn::PageSource> OpenPdfAt72(std::unique_ptr<qxvn::MappedFile> file,
                                                               const qxvn::PageLimits& limits) {
  return qxvn::OpenPdf(std::move(file), 72, limits);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::FuzzInput in(data, size);
  const uint32_t bytesPerPixel = in.Take<uint8_t>() & 1 ? 4 : 3;
  auto file = std::make_unique<qxvn::MappedFile>("fuzz", in.Rest());
  qxvn::PageLimits limits;
  limits.maxPixels = 1'000'000;
  limits.maxMemoryBytes = uint64_t{256} << 20;
  limits.maxSeconds = 2;
  try {
    auto source = QX_FUZZ_OPEN(std::move(file), limits);
    qxvn::PageImage page = source->Render(0, bytesPerPixel);
    // Every byte of the page is read: a page shorter than its size says shows.
    size_t sum = 0;
    for (size_t i = 0; i < page.SizeBytes(); ++i) sum += page.pixels[i];
    if (sum == 1) return 1;
  } catch (const qxvn::ToolError&) {
  }
  return 0;
}
