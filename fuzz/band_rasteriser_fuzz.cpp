// The band rasteriser behind ImageProcessing with arbitrary header fields, callback ids, label
// settings and page state; the band buffer is exactly as long as its header's size says.
#include <memory>

#include "fuzz/fuzz_input.h"
#include "host/services/host_services.h"
#include "jobproc/job_proc.h"

namespace {

// Lines are counted, not coded, so that a run spends its time in the rasteriser.
class CountingJob : public CJobProc {
 public:
  BOOL DataLine(const BYTE* bytes, DWORD count, DWORD lines) override {
    if (count > MAX_LINE_BYTES) __builtin_trap();
    for (DWORD i = 0; i < count; ++i) sum += bytes[i];
    this->lines += lines;
    return this->lines < 100000;  // a band may hold billions of zero-width lines
  }
  size_t sum = 0, lines = 0;
};

constexpr size_t kMaxBand = size_t{1} << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Trace lines are formatted as usual, but not printed: that would be most of a run's time.
  static const bool silenced = (qxhost::SetDebugSink([](std::u16string_view) {}), true);
  (void)silenced;
  qxfuzz::FuzzInput in(data, size);
  CountingJob job;
  job.m_byState = in.Take<uint8_t>() % 5;
  job.m_nRotation = in.Take<uint8_t>();
  job.m_nLabelWidth = in.Take<uint16_t>();
  job.m_nLabelHeight = in.Take<uint16_t>();
  job.m_nHorAlignment = in.Take<uint8_t>() % 4;
  job.m_nVerAlignment = in.Take<uint8_t>() % 4;
  job.m_byGrayThreshold = in.Take<uint8_t>();
  job.m_bCustomJob = in.Take<uint8_t>() & 1;
  const DWORD callbackId = in.Take<uint8_t>() & 0x80 ? in.Take<DWORD>() : 5 + (in.Take<uint8_t>() & 1);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = in.Take<LONG>();
  header.biHeight = in.Take<LONG>();
  header.biBitCount = in.Take<WORD>();
  const DWORD declared = in.Take<DWORD>();
  IPPARAMS params{};
  params.dwSize = sizeof params;
  params.bBlankBand = in.Take<uint8_t>() == 0xFF;
  DEVMODEW devMode{};
  devMode.dmFields = in.Take<DWORD>();
  devMode.dmPaperSize = in.Take<SHORT>();
  devMode.dmPaperLength = in.Take<SHORT>();
  DEVOBJ devobj{};
  devobj.pPublicDM = in.Take<uint8_t>() & 1 ? &devMode : nullptr;

  // The buffer holds as many bytes as the header says, at most kMaxBand; a larger claim is
  // made true by saying less.
  header.biSizeImage = declared % (kMaxBand + 1);
  std::unique_ptr<BYTE[]> band(new BYTE[header.biSizeImage ? header.biSizeImage : 1]);
  // The pixels are the rest of the input, repeated to fill the band.
  std::vector<uint8_t> pixels = in.Rest();
  if (pixels.empty()) pixels.push_back(0);
  for (DWORD done = 0; done < header.biSizeImage;) {
    DWORD n = std::min<DWORD>(header.biSizeImage - done, static_cast<DWORD>(pixels.size()));
    std::memcpy(band.get() + done, pixels.data(), n);
    done += n;
  }
  job.ImageProcessing(&devobj, header.biSizeImage ? band.get() : nullptr, &header, nullptr, callbackId,
                      &params);
  return 0;
}
