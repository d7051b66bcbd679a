// The printer app's request check on arbitrary bytes: it stops within the bytes and the bounds,
// and whatever it passes the IPP library parses without harm (no deep recursion, no overread).
#include <cups/cups.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "printer_app/access/ipp_scan.h"

namespace {

struct Source {
  const std::string* bytes;
  size_t at;
};

ssize_t ReadMemory(void* context, ipp_uchar_t* buffer, size_t n) {
  auto* source = static_cast<Source*>(context);
  n = std::min(n, source->bytes->size() - source->at);
  std::memcpy(buffer, source->bytes->data() + source->at, n);
  source->at += n;
  return static_cast<ssize_t>(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  qxapp::IppBounds bounds;
  bounds.maxBytes = 64 * 1024;
  size_t at = 0;
  std::string read;
  const qxapp::IppScanResult result = qxapp::ScanIppMessage(
      [&](size_t n, std::string* out) {
        if (at + n > input.size()) return false;
        out->append(input, at, n);
        at += n;
        return true;
      },
      bounds, &read);
  if (read != input.substr(0, read.size()) || read.size() > bounds.maxBytes + 2 * 65536 + 16) std::abort();
  if (result.verdict != qxapp::IppVerdict::kComplete) return 0;
  ipp_t* ipp = ippNew();
  Source source{&read, 0};
  ippReadIO(&source, ReadMemory, 1, nullptr, ipp);
  ippDelete(ipp);
  return 0;
}
