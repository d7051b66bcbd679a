// The label sizes a 2-inch printer is offered with: one list for the printer application's media
// and the Windows printer description, so that both show the same choices.
#pragma once

#include <array>
#include <string_view>

namespace qxvn {

struct LabelSize {
  std::string_view name;  // short name shown to people and used to form paper and media names
  int widthMm;
  int heightMm;
};

// The print head is 576 dots at 300 dpi: 48.77 mm. No listed label is wider.
inline constexpr double kHeadWidthMm = 576 * 25.4 / 300;
inline constexpr int kHeadDots = 576;
inline constexpr int kDotsPerInch = 300;

inline constexpr std::array<LabelSize, 10> kLabelSizes{{
    {"48x76mm", 48, 76},  // the sample shipping label
    {"48x25mm", 48, 25},
    {"48x30mm", 48, 30},
    {"48x40mm", 48, 40},
    {"48x50mm", 48, 50},
    {"48x100mm", 48, 100},
    {"48x150mm", 48, 150},
    {"40x30mm", 40, 30},
    {"38x25mm", 38, 25},
    {"25x25mm", 25, 25},
}};

// Custom sizes: as wide as the head allows, and as long as a roll's label sensibly gets.
inline constexpr int kCustomMinMm = 10;
inline constexpr int kCustomMaxLengthMm = 1000;

}  // namespace qxvn
