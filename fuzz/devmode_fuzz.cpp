// The device-mode section's DevMode with arbitrary modes, input sections (of the length the
// input gives, at least the 12-byte header the host always hands over) and missing pointers.
#include <cstring>
#include <memory>

#include "fuzz/fuzz_input.h"
#include "host/services/host_services.h"
#include "plugin/oem_devmode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool silenced = (qxhost::SetDebugSink([](std::u16string_view) {}), true);
  (void)silenced;
  qxfuzz::FuzzInput in(data, size);
  const DWORD mode = in.Take<uint8_t>() % 7;
  const uint8_t missing = in.Take<uint8_t>();
  OEM_DMEXTRAHEADER out{};
  out.dwSize = in.Take<DWORD>();
  out.dwSignature = in.Take<uint8_t>() & 1 ? OEM_SIGNATURE : in.Take<DWORD>();
  out.dwVersion = in.Take<DWORD>();
  std::vector<uint8_t> section = in.Rest();
  section.resize(std::max(section.size(), sizeof(OEM_DMEXTRAHEADER)));
  // Its bytes in a buffer of exactly its length, so that a read past it shows.
  std::unique_ptr<uint8_t[]> sectionIn(new uint8_t[section.size()]);
  std::memcpy(sectionIn.get(), section.data(), section.size());
  DEVMODEW publicIn{};
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.pPublicDMIn = missing & 1 ? nullptr : &publicIn;
  param.pOEMDMIn = missing & 2 ? nullptr : sectionIn.get();
  param.pOEMDMOut = missing & 4 ? nullptr : &out;
  HRESULT result = oem_devmode(mode, missing & 8 ? nullptr : &param);
  // No mode reports a section larger than the 12 bytes it may write.
  if (result == S_OK && param.cbBufSize > sizeof out) __builtin_trap();
  return 0;
}
