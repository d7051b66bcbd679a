// Paper sizes of device modes and printer data, in printer dots (300 per inch).
#pragma once

#include "platform/win_types.h"

// Tenths of a millimetre (a device-mode paper dimension) to dots. A negative dimension wraps
// to a huge count, as the unsigned conversion gives; it is only traced.
inline LONG PaperTenthsToDots(SHORT tenths) {
  auto product = static_cast<DWORD>(static_cast<INT>(tenths) * 300);
  return static_cast<LONG>(static_cast<int64_t>(static_cast<double>(product) / 254.0 + 0.5));
}

// Whole millimetres (a printer-data size) to dots; the product is 32-bit as stored values are.
inline DWORD MillimetresToDots(DWORD millimetres) {
  DWORD product = millimetres * 300u;
  return static_cast<DWORD>(static_cast<double>(product) / 25.4 + 0.5);
}

// A device mode asks for a user-defined paper size.
inline BOOL IsCustomPaper(const DEVMODEW& dm) {
  return (dm.dmFields & DM_PAPERSIZE) && dm.dmPaperSize == DMPAPER_USER && (dm.dmFields & DM_PAPERLENGTH) &&
         dm.dmPaperLength > 0;
}
