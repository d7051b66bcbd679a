// gdi32 stand-in: engine palettes.
#include "host/services/host_state.h"

namespace qxhost {

bool IsLivePalette(HPALETTE palette) {
  std::lock_guard lock(State().mutex);
  return State().palettes.count(palette) != 0;
}

ULONG PaletteMode(HPALETTE palette) {
  std::lock_guard lock(State().mutex);
  auto it = State().palettes.find(palette);
  return it == State().palettes.end() ? 0 : it->second;
}

size_t LivePaletteCount() {
  std::lock_guard lock(State().mutex);
  return State().palettes.size();
}

}  // namespace qxhost

extern "C" HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG /*cColors*/, ULONG* /*pulColors*/,
                                              FLONG /*flRed*/, FLONG /*flGreen*/, FLONG /*flBlue*/) {
  using namespace qxhost;
  HostState& s = State();
  std::lock_guard lock(s.mutex);
  ++s.calls.createPalette;
  PrinterRecord* printer = RoutedPrinter(s);
  if (printer) ++printer->calls.createPalette;
  if (FailuresFor(s, printer).createPaletteFails) return nullptr;
  auto palette = reinterpret_cast<HPALETTE>(s.nextHandle);
  s.nextHandle += 0x10;
  s.palettes[palette] = iMode;
  return palette;
}

extern "C" BOOL APIENTRY EngDeletePalette(HPALETTE hpal) {
  using namespace qxhost;
  HostState& s = State();
  std::lock_guard lock(s.mutex);
  ++s.calls.deletePalette;
  if (PrinterRecord* printer = RoutedPrinter(s)) ++printer->calls.deletePalette;
  return s.palettes.erase(hpal) ? TRUE : FALSE;
}
