// Dots (one bits) of raster bytes, counted with a 256-entry table.
#pragma once

#include <array>

#include "platform/win_types.h"

inline constexpr std::array<BYTE, 256> kDotCount = [] {
  std::array<BYTE, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = static_cast<BYTE>((b & 1) + table[b >> 1]);
  return table;
}();

inline DWORD CountDots(const BYTE* bytes, DWORD count) {
  DWORD dots = 0;
  for (DWORD i = 0; i < count; ++i) dots += kDotCount[bytes[i]];
  return dots;
}
