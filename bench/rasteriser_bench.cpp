// The band rasteriser on whole pages in one band, beside a plain read of the same bytes: the
// memory limit the rasteriser is measured against (`read_ratio`).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "host/services/host_services.h"
#include "jobproc/job_proc.h"

namespace {

enum class Content { kLabelArt, kNoise };

struct PageKind {
  const char* name;
  LONG width;
  LONG height;
  DWORD labelWidth;  // 0: no label window
};

constexpr PageKind kLabel4x6 = {"label4x6", 1200, 1800, 576};
constexpr PageKind kA4 = {"a4", 2480, 3508, 0};

struct Band {
  BITMAPINFOHEADER header{};
  std::vector<BYTE> bytes;
  DWORD callbackId = 0;
  DWORD bytesPerPixel = 0;
};

void Paint(Band& band, LONG x0, LONG y0, LONG w, LONG h, BYTE level) {
  const size_t stride = band.header.biSizeImage / static_cast<size_t>(band.header.biHeight);
  for (LONG y = y0; y < y0 + h && y < band.header.biHeight; ++y)
    for (LONG x = x0; x < x0 + w && x < band.header.biWidth; ++x) {
      BYTE* p =
          band.bytes.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * band.bytesPerPixel;
      p[0] = p[1] = p[2] = level;
    }
}

// Mostly white with what labels carry: a frame, a barcode, lines of text-like glyphs, a logo.
void PaintLabelArt(Band& band, std::mt19937& rng) {
  std::memset(band.bytes.data(), 0xFF, band.bytes.size());
  const LONG w = band.header.biWidth, h = band.header.biHeight;
  Paint(band, 20, 20, w - 40, 6, 0);
  Paint(band, 20, h - 26, w - 40, 6, 0);
  Paint(band, 20, 20, 6, h - 40, 0);
  Paint(band, w - 26, 20, 6, h - 40, 0);
  std::uniform_int_distribution<int> barWidth(2, 8), glyph(0, 3), gray(0, 255);
  for (LONG x = w / 8; x < w - w / 8;) {
    const int bar = barWidth(rng);
    Paint(band, x, h / 10, bar, h / 6, 0);
    x += bar + barWidth(rng);
  }
  for (LONG y = h / 3; y < h - h / 8; y += 60)
    for (LONG x = 60; x < w - 60; x += 28)
      if (glyph(rng)) Paint(band, x, y, 20, 36, static_cast<BYTE>(gray(rng) < 200 ? 0 : 128));
  Paint(band, w / 2, h - h / 8, w / 4, h / 16, 96);
}

Band MakeBand(const PageKind& kind, DWORD bytesPerPixel, Content content) {
  Band band;
  band.bytesPerPixel = bytesPerPixel;
  band.callbackId = bytesPerPixel == 3 ? 5 : 6;
  const size_t stride = (static_cast<size_t>(kind.width) * bytesPerPixel + 3) & ~size_t{3};
  band.header.biSize = sizeof(BITMAPINFOHEADER);
  band.header.biWidth = kind.width;
  band.header.biHeight = kind.height;
  band.header.biPlanes = 1;
  band.header.biBitCount = static_cast<WORD>(bytesPerPixel * 8);
  band.header.biSizeImage = static_cast<DWORD>(stride * static_cast<size_t>(kind.height));
  band.bytes.resize(band.header.biSizeImage);
  std::mt19937 rng(42);
  if (content == Content::kLabelArt) {
    PaintLabelArt(band, rng);
  } else {
    std::uniform_int_distribution<int> byte(0, 255);
    for (BYTE& b : band.bytes) b = static_cast<BYTE>(byte(rng));
  }
  return band;
}

// Bands are large; each is made once and shared by the benchmarks that use it.
const Band& CachedBand(const PageKind& kind, DWORD bytesPerPixel, Content content) {
  static std::map<std::string, Band> bands;
  const std::string key =
      std::string(kind.name) + std::to_string(bytesPerPixel) + (content == Content::kNoise ? "n" : "l");
  auto it = bands.find(key);
  if (it == bands.end()) it = bands.emplace(key, MakeBand(kind, bytesPerPixel, content)).first;
  return it->second;
}

// Reads every byte once, as fast as plain code reads memory.
uint64_t PlainRead(const BYTE* bytes, size_t size) {
  uint64_t acc[4] = {};
  size_t i = 0;
  for (; i + 32 <= size; i += 32)
    for (int k = 0; k < 4; ++k) {
      uint64_t word;
      std::memcpy(&word, bytes + i + 8 * k, 8);
      acc[k] |= word;
    }
  for (; i < size; ++i) acc[0] |= bytes[i];
  return acc[0] | acc[1] | acc[2] | acc[3];
}

// Processor time, as the benchmark library's rates use: the figures then hold on a machine that
// other work shares.
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double PlainReadBytesPerSecond(const std::vector<BYTE>& bytes) {
  double best = 0;
  for (int rep = 0; rep < 20; ++rep) {
    const double start = CpuSeconds();
    benchmark::DoNotOptimize(PlainRead(bytes.data(), bytes.size()));
    const double took = CpuSeconds() - start;
    if (took > 0) best = std::max(best, static_cast<double>(bytes.size()) / took);
  }
  return best;
}

// A job processor in the middle of a page, whose coder only looks at each line.
class LineSinkJob : public CJobProc {
 public:
  BOOL DataLine(const BYTE* bytes, DWORD count, DWORD lines) override {
    m_checksum += count + lines + (count ? bytes[0] ^ bytes[count - 1] : 0);
    return TRUE;
  }
  uint64_t m_checksum = 0;
};

void BM_Rasterise(benchmark::State& state, const PageKind& kind, DWORD bytesPerPixel, DWORD rotation,
                  Content content) {
  const Band& band = CachedBand(kind, bytesPerPixel, content);
  LineSinkJob job;
  job.m_dwJobId = 1;
  job.m_byState = PAGE_PRINT_RUN;
  job.m_nLabelWidth = kind.labelWidth;
  job.m_nHorAlignment = 1;
  job.m_nRotation = rotation;
  DEVOBJ devobj{};
  IPPARAMS params{};
  params.dwSize = sizeof params;

  const double readBytesPerSecond = PlainReadBytesPerSecond(band.bytes);
  const double start = CpuSeconds();
  for (auto _ : state) {
    if (!job.ImageProcessing(&devobj, band.bytes.data(), &band.header, nullptr, band.callbackId, &params))
      state.SkipWithError("band refused");
  }
  const double took = CpuSeconds() - start;
  benchmark::DoNotOptimize(job.m_checksum);
  // The window is what the rasteriser turns into lines: lines x dots.
  const double pixels = static_cast<double>(job.m_nPageWidth) * static_cast<double>(job.m_nPageHeight);
  const double iterations = static_cast<double>(state.iterations());
  const double windowBytes = pixels * bytesPerPixel * iterations;
  state.counters["pixels"] = benchmark::Counter(pixels * iterations, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(windowBytes));
  state.counters["read_ratio"] = windowBytes / took / readBytesPerSecond;
}

void BM_PlainRead(benchmark::State& state, const PageKind& kind, DWORD bytesPerPixel) {
  const Band& band = CachedBand(kind, bytesPerPixel, Content::kLabelArt);
  for (auto _ : state) benchmark::DoNotOptimize(PlainRead(band.bytes.data(), band.bytes.size()));
  state.SetBytesProcessed(static_cast<int64_t>(band.bytes.size()) * state.iterations());
  state.counters["pixels"] = benchmark::Counter(
      static_cast<double>(kind.width) * kind.height * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

void RegisterAll() {
  for (const PageKind* kind : {&kLabel4x6, &kA4})
    for (DWORD bpp : {3u, 4u}) {
      const std::string page = std::string(kind->name) + "/" + std::to_string(bpp * 8) + "bit";
      benchmark::RegisterBenchmark(("plain_read/" + page).c_str(), BM_PlainRead, *kind, bpp)
          ->Unit(benchmark::kMicrosecond);
      for (DWORD rotation : {0u, 1u, 2u, 3u})
        for (Content content : {Content::kLabelArt, Content::kNoise}) {
          const std::string name = "rasterise/" + page + "/rot" + std::to_string(rotation) + "/" +
                                   (content == Content::kNoise ? "noise" : "label_art");
          benchmark::RegisterBenchmark(name.c_str(), BM_Rasterise, *kind, bpp, rotation, content)
              ->Unit(benchmark::kMicrosecond);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
  // The trace of every band would otherwise go to the terminal.
  qxhost::SetDebugSink([](std::u16string_view) {});
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
