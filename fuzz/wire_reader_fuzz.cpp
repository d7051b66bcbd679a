// The stream decoder behind decode and dump on arbitrary bytes, with a listener that reads
// every field it is handed, as dump and the preview do.
#include "common/wire/wire_reader.h"

namespace {

class Reader : public qxvn::wire::StreamListener {
 public:
  void OnPackage(const qxvn::wire::Package& p) override {
    for (uint8_t b : p.payload) sum += b;
    for (uint8_t b : p.lineData) sum += b;
    if (!qxvn::wire::CommandName(p.command)) sum += p.command;
  }
  void OnPageEnd(const qxvn::wire::Page& page) override {
    for (const qxvn::wire::Run& run : page.runs) {
      // The preview writes each run's bytes at its first byte into a row this wide.
      uint32_t width = std::max(page.lineBytes.value_or(0), page.widestBytes);
      if (!run.data.empty() && run.firstByte + run.data.size() > width) __builtin_trap();
      for (uint8_t b : run.data) sum += b;
    }
  }
  void OnWarning(unsigned, const qxvn::wire::Diagnostic& w) override { sum += w.message.size(); }
  size_t sum = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader reader;
  qxvn::wire::ReadStream({data, size}, reader);
  return 0;
}
