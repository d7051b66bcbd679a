#include "host/unidrv_device.h"

#include <algorithm>
#include <type_traits>

namespace qxhost {

namespace {
DdiCall CallOf(ULONG index, SURFOBJ* surface) {
  DdiCall call;
  call.index = index;
  call.surface = surface;
  return call;
}
template <class Fill>
DdiCall With(DdiCall call, Fill fill) {
  fill(call);
  return call;
}
}  // namespace

const ULONG HOOKED_INDEXES[11] = {
    INDEX_DrvBitBlt,    INDEX_DrvStretchBlt,   INDEX_DrvTextOut,     INDEX_DrvStrokePath,
    INDEX_DrvStartPage, INDEX_DrvSendPage,     INDEX_DrvStartDoc,    INDEX_DrvEndDoc,
    INDEX_DrvNextBand,  INDEX_DrvStartBanding, INDEX_DrvDitherColor,
};

UnidrvDevice::UnidrvDevice(HANDLE printer, WORD bitsPerPixel) {
  static_assert(std::is_standard_layout_v<DeviceBlock>, "the device object must lead its block");
  DEVOBJ& devobj = m_block.devobj;
  devobj.dwSize = sizeof(DEVOBJ);
  devobj.hPrinter = printer;
  m_block.owner = this;
  m_spool.Attach(devobj);
  m_surface.dhpdev = Handle();
  m_gdiInfo.ulVersion = 0x5000;
  m_gdiInfo.ulLogPixelsX = m_gdiInfo.ulLogPixelsY = 300;
  m_gdiInfo.cBitsPixel = bitsPerPixel;
  m_gdiInfo.cPlanes = 1;
  // The driver's own default palette, which a true-colour plug-in replaces.
  m_devInfo.hpalDefault = EngCreatePalette(PAL_INDEXED, 0, nullptr, 0, 0, 0);
  std::vector<DRVFN> table;
  for (ULONG index : HOOKED_INDEXES) table.push_back({index, DriverFunction(index)});
  SetDdiTable(std::move(table));
}

UnidrvDevice::~UnidrvDevice() {
  // The device owns its default palette, whichever one the plug-in left there.
  if (m_devInfo.hpalDefault && IsLivePalette(m_devInfo.hpalDefault)) EngDeletePalette(m_devInfo.hpalDefault);
}

void UnidrvDevice::SetDdiTable(std::vector<DRVFN> table) {
  m_table = std::move(table);
  m_ddi.iDriverVersion = DDI_DRIVER_VERSION_NT5;
  m_ddi.c = static_cast<ULONG>(m_table.size());
  m_ddi.pdrvfn = m_table.empty() ? nullptr : m_table.data();
}

PFN UnidrvDevice::DriverFunction(ULONG index) {
  switch (index) {
    case INDEX_DrvBitBlt:
      return ToPfn(&DdiBitBlt);
    case INDEX_DrvStretchBlt:
      return ToPfn(&DdiStretchBlt);
    case INDEX_DrvTextOut:
      return ToPfn(&DdiTextOut);
    case INDEX_DrvStrokePath:
      return ToPfn(&DdiStrokePath);
    case INDEX_DrvStartPage:
      return ToPfn(&DdiStartPage);
    case INDEX_DrvSendPage:
      return ToPfn(&DdiSendPage);
    case INDEX_DrvStartDoc:
      return ToPfn(&DdiStartDoc);
    case INDEX_DrvEndDoc:
      return ToPfn(&DdiEndDoc);
    case INDEX_DrvNextBand:
      return ToPfn(&DdiNextBand);
    case INDEX_DrvStartBanding:
      return ToPfn(&DdiStartBanding);
    case INDEX_DrvDitherColor:
      return ToPfn(&DdiDitherColor);
    default:
      return nullptr;
  }
}

void UnidrvDevice::FailDdi(ULONG index, bool fail) {
  auto it = std::find(m_failing.begin(), m_failing.end(), index);
  if (fail && it == m_failing.end()) m_failing.push_back(index);
  if (!fail && it != m_failing.end()) m_failing.erase(it);
}

bool UnidrvDevice::Fails(ULONG index) const {
  return std::find(m_failing.begin(), m_failing.end(), index) != m_failing.end();
}

std::vector<ULONG> UnidrvDevice::CallIndexes() const {
  std::vector<ULONG> indexes;
  for (const DdiCall& call : m_calls) indexes.push_back(call.index);
  return indexes;
}

void UnidrvDevice::SetPageBands(const std::vector<BandView>* bands) {
  m_bands = bands;
  m_nextBand = 0;
}

HRESULT UnidrvDevice::Enable(IPrintOemUni* plugin, PWSTR printerName) {
  PDEVOEM state = nullptr;
  HRESULT hr = plugin->EnablePDEV(&m_block.devobj, printerName, 0, nullptr, sizeof(GDIINFO), &m_gdiInfo,
                                  sizeof(DEVINFO), &m_devInfo, &m_ddi, &state);
  m_block.devobj.pdevOEM = SUCCEEDED(hr) ? state : nullptr;
  return hr;
}

HRESULT UnidrvDevice::Disable(IPrintOemUni* plugin) { return plugin->DisablePDEV(&m_block.devobj); }

UnidrvDevice* UnidrvDevice::FromDevobj(PDEVOBJ pdevobj) {
  return pdevobj ? reinterpret_cast<DeviceBlock*>(pdevobj)->owner : nullptr;
}

UnidrvDevice* UnidrvDevice::FromSurface(SURFOBJ* pso) {
  return pso ? FromDevobj(reinterpret_cast<PDEVOBJ>(pso->dhpdev)) : nullptr;
}

BOOL UnidrvDevice::Record(DdiCall call, BOOL result) {
  call.result = result;
  m_calls.push_back(std::move(call));
  return result;
}

// Renders nothing itself: the band is already in the caller's pixels, so the driver hands it to
// the plug-in as it would hand the band it just rendered.
BOOL UnidrvDevice::HandBand() {
  if (!m_bands || m_nextBand >= m_bands->size()) return TRUE;
  const BandView& band = (*m_bands)[m_nextBand++];
  if (!m_plugin) return TRUE;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = band.width;
  header.biHeight = band.height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(m_gdiInfo.cBitsPixel);
  header.biCompression = BI_RGB;
  header.biSizeImage = band.sizeImage;
  IPPARAMS params{};
  params.dwSize = sizeof(IPPARAMS);
  params.ptOffset = {0, band.top};
  params.bBanding = m_bands->size() > 1;
  params.bBlankBand = band.blank;
  const DWORD callbackId = band.callbackId ? band.callbackId : (m_gdiInfo.cBitsPixel >= 32 ? 6u : 5u);
  auto* pixels = const_cast<PBYTE>(band.pixels);
  PBYTE result = nullptr;
  HRESULT hr =
      m_plugin->ImageProcessing(&m_block.devobj, pixels, &header, nullptr, callbackId, &params, &result);
  const bool returned = result == pixels && pixels != nullptr;
  m_bandCalls.push_back({static_cast<DWORD>(m_nextBand), hr, returned});
  // The driver sends what the plug-in returns; nothing returned is a failed band.
  return SUCCEEDED(hr) && result ? TRUE : FALSE;
}

BOOL APIENTRY UnidrvDevice::DdiBitBlt(SURFOBJ* psoTrg, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*,
                                      POINTL*, POINTL*, BRUSHOBJ*, POINTL*, ROP4 rop4) {
  UnidrvDevice* self = FromSurface(psoTrg);
  if (!self) return FALSE;
  return self->Record(With(CallOf(INDEX_DrvBitBlt, psoTrg), [&](DdiCall& c) { c.lastArg = rop4; }),
                      !self->Fails(INDEX_DrvBitBlt));
}

BOOL APIENTRY UnidrvDevice::DdiStretchBlt(SURFOBJ* psoDest, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*,
                                          COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*, POINTL*, ULONG iMode) {
  UnidrvDevice* self = FromSurface(psoDest);
  if (!self) return FALSE;
  return self->Record(With(CallOf(INDEX_DrvStretchBlt, psoDest), [&](DdiCall& c) { c.lastArg = iMode; }),
                      !self->Fails(INDEX_DrvStretchBlt));
}

BOOL APIENTRY UnidrvDevice::DdiTextOut(SURFOBJ* pso, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*,
                                       BRUSHOBJ*, POINTL*, MIX mix) {
  UnidrvDevice* self = FromSurface(pso);
  if (!self) return FALSE;
  return self->Record(With(CallOf(INDEX_DrvTextOut, pso), [&](DdiCall& c) { c.lastArg = mix; }),
                      !self->Fails(INDEX_DrvTextOut));
}

BOOL APIENTRY UnidrvDevice::DdiStrokePath(SURFOBJ* pso, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*,
                                          LINEATTRS*, MIX mix) {
  UnidrvDevice* self = FromSurface(pso);
  if (!self) return FALSE;
  return self->Record(With(CallOf(INDEX_DrvStrokePath, pso), [&](DdiCall& c) { c.lastArg = mix; }),
                      !self->Fails(INDEX_DrvStrokePath));
}

BOOL APIENTRY UnidrvDevice::DdiStartPage(SURFOBJ* pso) {
  UnidrvDevice* self = FromSurface(pso);
  if (!self) return FALSE;
  return self->Record(CallOf(INDEX_DrvStartPage, pso), !self->Fails(INDEX_DrvStartPage));
}

BOOL APIENTRY UnidrvDevice::DdiSendPage(SURFOBJ* pso) {
  UnidrvDevice* self = FromSurface(pso);
  if (!self) return FALSE;
  return self->Record(CallOf(INDEX_DrvSendPage, pso), !self->Fails(INDEX_DrvSendPage));
}

BOOL APIENTRY UnidrvDevice::DdiStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
  UnidrvDevice* self = FromSurface(pso);
  if (!self) return FALSE;
  DdiCall call = CallOf(INDEX_DrvStartDoc, pso);
  call.jobId = dwJobId;
  if (pwszDocName) call.docName = std::u16string(reinterpret_cast<const char16_t*>(pwszDocName));
  return self->Record(std::move(call), !self->Fails(INDEX_DrvStartDoc));
}

BOOL APIENTRY UnidrvDevice::DdiEndDoc(SURFOBJ* pso, FLONG fl) {
  UnidrvDevice* self = FromSurface(pso);
  if (!self) return FALSE;
  self->SetPageBands(nullptr);
  return self->Record(With(CallOf(INDEX_DrvEndDoc, pso), [&](DdiCall& c) { c.flags = fl; }),
                      !self->Fails(INDEX_DrvEndDoc));
}

BOOL APIENTRY UnidrvDevice::DdiStartBanding(SURFOBJ* pso, POINTL* pptl) {
  UnidrvDevice* self = FromSurface(pso);
  if (!self) return FALSE;
  self->m_nextBand = 0;
  POINTL first{0, self->m_bands && !self->m_bands->empty() ? (*self->m_bands)[0].top : 0};
  if (pptl) *pptl = first;
  return self->Record(With(CallOf(INDEX_DrvStartBanding, pso), [&](DdiCall& c) { c.point = first; }),
                      !self->Fails(INDEX_DrvStartBanding));
}

BOOL APIENTRY UnidrvDevice::DdiNextBand(SURFOBJ* pso, POINTL* pptl) {
  UnidrvDevice* self = FromSurface(pso);
  if (!self) return FALSE;
  const bool fails = self->Fails(INDEX_DrvNextBand);
  const BOOL handed = fails ? FALSE : self->HandBand();
  // The origin of the next band, or (-1, -1) when the page has no further band.
  POINTL next{-1, -1};
  if (self->m_bands && self->m_nextBand < self->m_bands->size())
    next = {0, (*self->m_bands)[self->m_nextBand].top};
  if (self->m_nextBandPoint) next = *self->m_nextBandPoint;
  if (pptl) *pptl = next;
  return self->Record(With(CallOf(INDEX_DrvNextBand, pso), [&](DdiCall& c) { c.point = next; }), handed);
}

ULONG APIENTRY UnidrvDevice::DdiDitherColor(DHPDEV dhpdev, ULONG, ULONG rgb, ULONG* pul) {
  UnidrvDevice* self = FromDevobj(reinterpret_cast<PDEVOBJ>(dhpdev));
  if (!self) return DCR_SOLID;
  const ULONG result = self->Fails(INDEX_DrvDitherColor) ? DCR_SOLID : self->m_ditherResult;
  if (pul && result == DCR_DRIVER) *pul = rgb;
  DdiCall call = CallOf(INDEX_DrvDitherColor, nullptr);
  call.lastArg = rgb;
  call.result = result;
  self->m_calls.push_back(std::move(call));
  return result;
}

}  // namespace qxhost
