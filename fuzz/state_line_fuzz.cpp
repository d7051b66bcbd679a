// A saved state line of arbitrary values: it stays one line and reads back as it was written;
// and any text read as a line, written again, reads the same.
#include <cstdlib>
#include <string>

#include "printer_app/state/state_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  qxapp::StateLine line;
  line.directive = "Job";
  line.pairs = {{"id", "1"}, {"name", input}, {"username", input.substr(0, size / 2)}};
  const std::string text = qxapp::FormatStateLine(line);
  if (text.find('\n') != std::string::npos || text.find('\r') != std::string::npos) std::abort();
  if (qxapp::ParseStateLine(text).pairs != line.pairs) std::abort();
  if (qxapp::FitStateLine(&line, {"name", "username"}, 200) && qxapp::FormatStateLine(line).size() > 200)
    std::abort();
  const qxapp::StateLine read = qxapp::ParseStateLine(input);
  if (read.parsed && qxapp::ParseStateLine(qxapp::FormatStateLine(read)).pairs != read.pairs) std::abort();
  return 0;
}
