// Documents per second when printers print at once: one 2-inch label document (576 x 900 dots,
// one page in three bands) printed over and over from 1, 2 and 8 threads through one loaded
// plug-in library. Peak memory of a run: scripts/bench-concurrent.sh.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/driver_host.h"

namespace {

constexpr LONG kWidth = 576;
constexpr LONG kRows = 900;
constexpr LONG kBandRows = 300;

// A label's worth of print: bars across and blocks of text-like marks, white between.
std::vector<BYTE> LabelPixels() {
  const DWORD stride = qxhost::BandStride(kWidth, 24);
  std::vector<BYTE> pixels(stride * kRows, 0xFF);
  for (LONG y = 0; y < kRows; ++y)
    for (LONG x = 0; x < kWidth; ++x) {
      const bool bar = y >= 100 && y < 400 && (x / 4) % 3 == 0;
      const bool text = y >= 500 && y < 800 && (y / 30) % 2 == 0 && (x / 7 + y / 5) % 3 == 0;
      if (bar || text) std::fill_n(pixels.begin() + y * stride + x * 3, 3, BYTE{0});
    }
  return pixels;
}

struct Fixture {
  Fixture() : pixels(LabelPixels()) {
    std::string error;
    if (!host.Load(qxhost::BuiltPluginPath(), &error)) throw std::runtime_error(error);
    job.devMode = qxhost::MakeDevMode(DMPAPER_USER, 488, 762);
    const DWORD stride = qxhost::BandStride(kWidth, 24);
    job.pages.resize(1);
    for (LONG top = 0; top < kRows; top += kBandRows)
      job.pages[0].bands.push_back(
          qxhost::MakeBand(pixels.data() + top * stride, kWidth, kBandRows, 24, top));
    job.traceSink = [](std::u16string_view) {};
  }
  std::vector<BYTE> pixels;
  qxhost::DriverHost host;
  qxhost::JobSpec job;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_LabelDocuments(benchmark::State& state) {
  Fixture& f = Shared();
  size_t bytes = 0;
  for (auto _ : state) {
    qxhost::PrintResult result = f.host.Print(f.job);
    if (!result.ok) state.SkipWithError(result.error.c_str());
    bytes = result.spool.size();
    benchmark::DoNotOptimize(result.spool.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["stream_bytes"] = static_cast<double>(bytes);
  state.counters["documents_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LabelDocuments)->Threads(1)->Threads(2)->Threads(8)->UseRealTime()->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
