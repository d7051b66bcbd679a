// Laying a decoded page out on the 48 x 76 mm label (566 x 897 dots): a label image made at 203
// and at 600 dpi resampled to 300, the same turned a quarter, and a Letter page at 300 dpi fitted.
#include <benchmark/benchmark.h>

#include <cstring>

#include "common/layout/label_page.h"

namespace {

qxvn::PageImage Stripes(uint32_t width, uint32_t height) {
  qxvn::PageImage page = qxvn::AllocatePage(width, height, 3, "bench");
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) std::memset(page.Row(y) + 3 * x, (x / 3 + y / 5) % 2 ? 0 : 255, 3);
  return page;
}

void Layout(benchmark::State& state, uint32_t width, uint32_t height, double dpi, qxvn::Scaling scaling,
            qxvn::Orientation orientation) {
  qxvn::PageImage page = Stripes(width, height);
  qxvn::LayoutChoice choice;
  choice.scaling = scaling;
  choice.orientation = orientation;
  choice.label.width = 566;
  choice.label.height = 897;
  const qxvn::Placement placement = qxvn::PlaceDocument({double(width), double(height), dpi, dpi}, choice);
  for (auto _ : state) {
    qxvn::PageImage label = qxvn::ComposeLabel(page, placement, 3, {}, "bench");
    benchmark::DoNotOptimize(label.pixels);
  }
  state.SetItemsProcessed(state.iterations() * int64_t{width} * height);
}

void Label203(benchmark::State& s) {
  Layout(s, 384, 608, 203, qxvn::Scaling::kAuto, qxvn::Orientation::kPortrait);
}
void Label600(benchmark::State& s) {
  Layout(s, 1134, 1796, 600, qxvn::Scaling::kAuto, qxvn::Orientation::kPortrait);
}
void Label600Turned(benchmark::State& s) {
  Layout(s, 1796, 1134, 600, qxvn::Scaling::kFit, qxvn::Orientation::kLandscape);
}
void LetterAt300Fit(benchmark::State& s) {
  Layout(s, 2550, 3300, 300, qxvn::Scaling::kFit, qxvn::Orientation::kPortrait);
}
BENCHMARK(Label203)->Unit(benchmark::kMillisecond);
BENCHMARK(Label600)->Unit(benchmark::kMillisecond);
BENCHMARK(Label600Turned)->Unit(benchmark::kMillisecond);
BENCHMARK(LetterAt300Fit)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
