// Reading printer data from a .reg file of many distinct values, as `qxvn print --printer-data`
// does (parse, then collect with later values winning): time per value should not grow with
// the number of values. 1,000 to 100,000 values (the largest is a 3 MB file).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tools/qxvn/print/print_options.h"
#include "tools/qxvn/print/printer_data.h"

namespace {

std::string RegFileOf(int64_t values) {
  const std::string path = "/tmp/qxvn-bench-" + std::to_string(values) + ".reg";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "Windows Registry Editor Version 5.00\r\n\r\n"
      << "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\Label\\PrinterDriverData]"
         "\r\n";
  char line[64];
  for (int64_t i = 0; i < values; ++i) {
    std::snprintf(line, sizeof line, "\"Setting%06lld\"=dword:%08llx\r\n", static_cast<long long>(i),
                  static_cast<unsigned long long>(i));
    out << line;
  }
  return path;
}

void ReadPrinterData(benchmark::State& state) {
  qxvn::PrintOptions options;
  options.printerData = RegFileOf(state.range(0));
  for (auto _ : state) {
    qxvn::PrinterData data = qxvn::CollectPrinterData(options);
    benchmark::DoNotOptimize(data);
  }
  std::remove(options.printerData.c_str());
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ReadPrinterData)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
