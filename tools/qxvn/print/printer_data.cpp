#include "tools/qxvn/print/printer_data.h"

#include <algorithm>
#include <cstring>

#include "common/io/utf.h"
#include "common/printerdata/reg_file.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

// Value names compare as the registry compares them: without regard to letter case.
bool SameName(std::u16string_view a, std::u16string_view b) {
  auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

void Remove(PrinterData& data, std::u16string_view name) {
  std::erase_if(data, [&](const auto& entry) { return SameName(entry.first, name); });
}

}  // namespace

PrinterData CollectPrinterData(const PrintOptions& options) {
  PrinterData data;
  if (!options.printerData.empty()) {
    for (RegValue& value : ReadRegFile(options.printerData)) {
      Remove(data, value.name);
      if (value.remove) continue;
      data.emplace_back(std::move(value.name), qxhost::PrinterValue{value.type, std::move(value.data)});
    }
  }
  for (const auto& [name, number] : options.settings) {
    std::u16string wide;
    if (!Utf8ToUtf16(name, &wide)) throw UsageError("--set " + name + ": the name is not valid UTF-8");
    Remove(data, wide);
    qxhost::PrinterValue value;
    value.type = REG_DWORD;
    value.data.resize(4);
    std::memcpy(value.data.data(), &number, 4);
    data.emplace_back(std::move(wide), std::move(value));
  }
  return data;
}

}  // namespace qxvn
