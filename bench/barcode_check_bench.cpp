// The bar code check of one page, in processor time: the sample 48 x 76 mm label (its Code 128)
// laid out on the label as qxvn print --scaling auto lays it out, its symbols read (and repaired
// where they would not scan), then read again from its dots and graded; and the same for a
// blank page, which costs the reading alone. The goal: 15 ms a label, 3 ms a page without symbols.
#include <benchmark/benchmark.h>

#include <cstring>

#include "common/barcode/page_symbols.h"
#include "common/input/page_source.h"
#include "common/io/page_memory.h"
#include "common/layout/render_on_label.h"

#ifndef QXVN_EXAMPLES
#error "QXVN_EXAMPLES names the examples folder"
#endif

namespace {

qxvn::LayoutChoice Label48x76() {
  qxvn::LayoutChoice choice;
  choice.scaling = qxvn::Scaling::kAuto;
  choice.label.width = 566;
  choice.label.height = 897;
  return choice;
}

struct LaidOut {
  qxvn::PageImage page;
  qxvn::LaidOutFrom from;
};

LaidOut SampleLabel() {
  auto source = qxvn::OpenPng(QXVN_EXAMPLES "/shipping-label.png");
  LaidOut out;
  out.page = qxvn::RenderOnLabel(*source, 0, Label48x76(), 3, {}, "sample", &out.from);
  return out;
}

LaidOut BlankPage() {
  LaidOut out;
  out.page = qxvn::AllocatePage(566, 897, 3, "blank");
  std::memset(out.page.pixels, 0xFF, out.page.SizeBytes());
  return out;
}

qxvn::PageImage Copy(const qxvn::PageImage& page) {
  qxvn::PageImage copy = qxvn::AllocatePage(page.width, page.height, page.bytesPerPixel, "copy");
  std::memcpy(copy.pixels, page.pixels, page.SizeBytes());
  return copy;
}

// Read, repaired, printed (the threshold's dots) and checked, as one job's page.
void CheckPage(benchmark::State& state, const LaidOut& laidOut) {
  qxvn::KeepPageMemoryForReuse();  // as qxvn and the app do
  size_t symbols = 0, passed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    qxvn::PageImage page = Copy(laidOut.page);
    state.ResumeTiming();
    const auto prepared =
        qxvn::barcode::PreparePage(page, qxvn::barcode::RepairMode::kAuto, qxvn::barcode::kDefaultThreshold,
                                   laidOut.from.page.pixels ? &laidOut.from : nullptr);
    state.PauseTiming();
    const qxvn::barcode::GrayImage dots =
        qxvn::barcode::Thresholded(qxvn::barcode::LuminanceOf(page).View(), qxvn::barcode::kDefaultThreshold);
    state.ResumeTiming();
    const qxvn::barcode::PageCheck check = qxvn::barcode::CheckPrinted(1, prepared, dots.View());
    symbols = check.symbols.size();
    passed = 0;
    for (const auto& symbol : check.symbols) passed += symbol.passed;
  }
  state.counters["symbols"] = static_cast<double>(symbols);
  state.counters["passed"] = static_cast<double>(passed);
}

void SampleLabel48x76(benchmark::State& state) { CheckPage(state, SampleLabel()); }
void PageWithoutSymbols(benchmark::State& state) { CheckPage(state, BlankPage()); }

}  // namespace

BENCHMARK(SampleLabel48x76)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(PageWithoutSymbols)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_MAIN();
