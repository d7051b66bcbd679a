#include "host/driver_host.h"

#include "host/plugin_library.h"

namespace qxhost {

DWORD BandStride(LONG width, WORD bitsPerPixel) {
  const uint64_t bytes = static_cast<uint64_t>(width < 0 ? 0 : width) * (bitsPerPixel / 8u);
  return static_cast<DWORD>((bytes + 3) & ~uint64_t{3});
}

BandView MakeBand(const BYTE* pixels, LONG width, LONG rows, WORD bitsPerPixel, LONG top) {
  BandView band;
  band.pixels = pixels;
  band.width = width;
  band.height = -rows;
  band.sizeImage = BandStride(width, bitsPerPixel) * static_cast<DWORD>(rows < 0 ? 0 : rows);
  band.top = top;
  return band;
}

DEVMODEW MakeDevMode(SHORT paperSize, SHORT widthTenths, SHORT lengthTenths, SHORT copies, SHORT collate) {
  DEVMODEW dm{};
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmFields = DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_COPIES | DM_COLLATE;
  dm.dmPaperSize = paperSize;
  dm.dmPaperWidth = widthTenths;
  dm.dmPaperLength = lengthTenths;
  dm.dmCopies = copies;
  dm.dmCollate = collate;
  return dm;
}

DriverHost::DriverHost() = default;
DriverHost::~DriverHost() = default;

bool DriverHost::Load(const std::string& path, std::string* error) {
  m_library = PluginLibrary::Load(path, error);
  return m_library != nullptr;
}

bool DriverHost::IsLoaded() const { return m_library != nullptr; }

PrintResult DriverHost::Print(const JobSpec&, const HostFaults&) {
  PrintResult result;
  result.error = "printing is not built yet";
  return result;
}

const char* BuiltPluginPath() { return QX_BUILT_PLUGIN_PATH; }

}  // namespace qxhost
