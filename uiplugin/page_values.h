// What the label settings page stores: the texts of its rows, checked all together against
// the shared table, so that Apply stores every value or none, and only values the rendering
// plug-in will take.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qxui {

struct PageCheck {
  // One entry a setting, in table order: the value to store, or nothing to leave it unstored.
  std::vector<std::optional<uint32_t>> values;
  std::string error;  // empty when every row is sound; else one line naming the setting
};

// `texts` holds one row's text a setting, in table order: a decimal number, or empty.
PageCheck CheckPage(std::span<const std::u16string> texts);

}  // namespace qxui
