// The .reg reader on arbitrary bytes: values or one ToolError, nothing else.
#include "common/printerdata/reg_file.h"
#include "common/tool_error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    qxvn::ParseRegFile({data, size}, "fuzz.reg");
  } catch (const qxvn::ToolError&) {
  }
  return 0;
}
