// What a label's picture costs the web page: the job's stream read (mapped), checked and the
// label drawn as a 1-bit PNG, for the sample 48 x 76 mm shipping label (568 x 897 dots), one
// label and the 4th label of a job of 8. Goal: 50 ms a picture.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/io/mapped_file.h"
#include "common/wire/stream_labels.h"

namespace {

// The stream `qxvn print` makes of the sample label on a 48 x 76 mm label, `copies` times.
std::string SampleStream(int copies) {
  const std::string path = "/tmp/qxvn-picture-bench-" + std::to_string(copies) + ".qxvn";
  const std::string command = std::string(QXVN_PATH) +
                              " print " QXVN_EXAMPLES "/shipping-label.png --paper 48x76 " +
                              "--scaling auto --copies " + std::to_string(copies) + " -o " + path;
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cannot make %s\n", path.c_str());
  return path;
}

void Picture(benchmark::State& state, int copies, unsigned label) {
  const std::string path = SampleStream(copies);
  size_t bytes = 0;
  for (auto _ : state) {
    qxvn::MappedFile stream(path);
    auto png = qxvn::wire::LabelPng(stream.Bytes(), label);
    bytes = png ? png->size() : 0;
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["png_bytes"] = static_cast<double>(bytes);
  std::remove(path.c_str());
}

void OneLabel(benchmark::State& s) { Picture(s, 1, 1); }
void FourthOfEight(benchmark::State& s) { Picture(s, 8, 4); }

void Survey(benchmark::State& state) {
  const std::string path = SampleStream(8);
  for (auto _ : state) {
    qxvn::MappedFile stream(path);
    benchmark::DoNotOptimize(qxvn::wire::SurveyLabels(stream.Bytes()).labels.size());
  }
  std::remove(path.c_str());
}

BENCHMARK(OneLabel)->Unit(benchmark::kMillisecond);
BENCHMARK(FourthOfEight)->Unit(benchmark::kMillisecond);
BENCHMARK(Survey)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
