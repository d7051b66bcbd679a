#include "tools/qxvn/print/printer_data.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "common/io/utf.h"
#include "common/printerdata/reg_file.h"
#include "common/tool_error.h"

namespace qxvn {
namespace {

// Value names compare as the registry compares them: without regard to letter case.
std::u16string Folded(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return out;
}

// Values in the order they were last set; a value set again moves to the end. Found by folded
// name, so that a file of many values is read in linear time.
class ValueSet {
 public:
  void Remove(std::u16string_view name) {
    auto it = m_index.find(Folded(name));
    if (it == m_index.end()) return;
    m_slots[it->second].reset();
    m_index.erase(it);
  }
  void Set(std::u16string name, qxhost::PrinterValue value) {
    Remove(name);
    m_index.emplace(Folded(name), m_slots.size());
    m_slots.emplace_back(std::in_place, std::move(name), std::move(value));
  }
  PrinterData Take() {
    PrinterData data;
    data.reserve(m_index.size());
    for (auto& slot : m_slots)
      if (slot) data.push_back(std::move(*slot));
    return data;
  }

 private:
  std::vector<std::optional<PrinterData::value_type>> m_slots;
  std::unordered_map<std::u16string, size_t> m_index;
};

}  // namespace

PrinterData CollectPrinterData(const PrintOptions& options) {
  ValueSet data;
  if (!options.printerData.empty()) {
    for (RegValue& value : ReadRegFile(options.printerData)) {
      if (value.remove) {
        data.Remove(value.name);
        continue;
      }
      data.Set(std::move(value.name), qxhost::PrinterValue{value.type, std::move(value.data)});
    }
  }
  for (const auto& [name, number] : options.settings) {
    std::u16string wide;
    if (!Utf8ToUtf16(name, &wide)) throw UsageError("--set " + name + ": the name is not valid UTF-8");
    qxhost::PrinterValue value;
    value.type = REG_DWORD;
    value.data.resize(4);
    std::memcpy(value.data.data(), &number, 4);
    data.Set(std::move(wide), std::move(value));
  }
  return data.Take();
}

}  // namespace qxvn
