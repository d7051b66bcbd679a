// The trace formatter on arbitrary wide formats and output capacities. Every argument is a
// pointer to an empty string, which reads as a string, a character or a number alike; a
// format with more conversions than arguments is skipped.
#include <cstdarg>
#include <memory>

#include "fuzz/fuzz_input.h"
#include "trace/trace.h"

namespace {

constexpr int kArguments = 12;

size_t Format(WCHAR* out, size_t capacity, const WCHAR* format, TraceTextEnd* end, ...) {
  va_list args;
  va_start(args, end);
  size_t n = FormatTraceText(out, capacity, format, args, end);
  va_end(args);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::FuzzInput in(data, size);
  const size_t capacity = 1 + in.Take<uint16_t>() % TRACE_LINE_CHARS;
  const size_t chars = in.Left() / sizeof(WCHAR);
  std::unique_ptr<WCHAR[]> format(new WCHAR[chars + 1]);
  int conversions = 0;
  for (size_t i = 0; i < chars; ++i) {
    format[i] = in.Take<WCHAR>();
    if (format[i] == u'%') ++conversions;
  }
  format[chars] = 0;
  if (conversions > kArguments) return 0;
  static const WCHAR empty[4] = {};
  const WCHAR* a = empty;
  std::unique_ptr<WCHAR[]> out(new WCHAR[capacity]);
  TraceTextEnd end;
  size_t written = Format(out.get(), capacity, format.get(), &end, a, a, a, a, a, a, a, a, a, a, a, a);
  if (written >= capacity || out[written] != 0) __builtin_trap();
  return 0;
}
