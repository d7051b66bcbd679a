// The stand-in printer driver's side of one device context: its device object and surface,
// the spool writer behind DrvWriteSpoolBuf, its own DDI functions for the indexes the plug-in
// hooks (each recorded, each able to fail), and the banding loop that hands each band of a
// page to the plug-in's ImageProcessing inside DrvNextBand.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/driver_host.h"
#include "host/spool_writer.h"
#include "platform/printoem_com.h"

namespace qxhost {

// One call of the driver's own DDI functions.
struct DdiCall {
  ULONG index = 0;                        // INDEX_Drv...
  SURFOBJ* surface = nullptr;             // the first surface argument; null for DrvDitherColor
  std::optional<std::u16string> docName;  // DrvStartDoc
  DWORD jobId = 0;                        // DrvStartDoc
  FLONG flags = 0;                        // DrvEndDoc
  POINTL point{};                         // DrvStartBanding, DrvNextBand: the point written
  ULONG lastArg = 0;                      // rop4, iMode or mix of the drawing calls; rgb of DrvDitherColor
  int64_t result = 0;
};

// One band handed to ImageProcessing.
struct BandCall {
  DWORD band = 0;  // from 1 within the page
  HRESULT hr = S_OK;
  bool bandReturned = false;  // *ppbResult was the band handed in
};

// The eleven indexes the plug-in may hook, in the order of its hook table.
extern const ULONG HOOKED_INDEXES[11];

class UnidrvDevice {
 public:
  // A device on `printer` rendering at `bitsPerPixel`, with a default palette of its own.
  explicit UnidrvDevice(HANDLE printer, WORD bitsPerPixel = 24);
  ~UnidrvDevice();
  UnidrvDevice(const UnidrvDevice&) = delete;
  UnidrvDevice& operator=(const UnidrvDevice&) = delete;

  DEVOBJ& Devobj() { return m_block.devobj; }
  SURFOBJ* Surface() { return &m_surface; }
  DHPDEV Handle() { return reinterpret_cast<DHPDEV>(&m_block.devobj); }
  SpoolWriter& Spool() { return m_spool; }
  GDIINFO& GdiInfo() { return m_gdiInfo; }
  DEVINFO& DevInfo() { return m_devInfo; }

  // The driver's own DDI table, handed to EnablePDEV: all eleven hooked indexes by default.
  DRVENABLEDATA* DdiTable() { return &m_ddi; }
  void SetDdiTable(std::vector<DRVFN> table);
  // The driver's own function for a hooked index (null for any other).
  static PFN DriverFunction(ULONG index);

  // Makes the driver's own function for `index` return FALSE (DrvDitherColor: DCR_SOLID).
  void FailDdi(ULONG index, bool fail = true);
  // What the driver's DrvDitherColor returns when it does not fail.
  void SetDitherResult(ULONG result) { m_ditherResult = result; }

  const std::vector<DdiCall>& Calls() const { return m_calls; }
  std::vector<ULONG> CallIndexes() const;
  void ClearCalls() { m_calls.clear(); }

  // Banding: the plug-in object whose ImageProcessing receives the bands (null: bands are not
  // handed on), and the bands of the page now being rendered, viewed, not copied.
  void SetPlugin(IPrintOemUni* plugin) { m_plugin = plugin; }
  void SetPageBands(const std::vector<BandView>* bands);
  const std::vector<BandCall>& BandCalls() const { return m_bandCalls; }
  // Makes DrvNextBand report this point instead of the next band's origin or (-1, -1).
  void SetNextBandPoint(std::optional<POINTL> point) { m_nextBandPoint = point; }

  // EnablePDEV and DisablePDEV of the plug-in for this device, as the driver makes them.
  HRESULT Enable(IPrintOemUni* plugin, PWSTR printerName = nullptr);
  HRESULT Disable(IPrintOemUni* plugin);

 private:
  // The driver reaches its own state from the device object it is handed.
  struct DeviceBlock {
    DEVOBJ devobj;
    UnidrvDevice* owner;
  };
  static UnidrvDevice* FromDevobj(PDEVOBJ pdevobj);
  static UnidrvDevice* FromSurface(SURFOBJ* pso);
  bool Fails(ULONG index) const;
  BOOL Record(DdiCall call, BOOL result);
  BOOL HandBand();

  static BOOL APIENTRY DdiBitBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*,
                                 BRUSHOBJ*, POINTL*, ROP4);
  static BOOL APIENTRY DdiStretchBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*,
                                     POINTL*, RECTL*, RECTL*, POINTL*, ULONG);
  static BOOL APIENTRY DdiTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                                  POINTL*, MIX);
  static BOOL APIENTRY DdiStrokePath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*,
                                     MIX);
  static BOOL APIENTRY DdiStartPage(SURFOBJ*);
  static BOOL APIENTRY DdiSendPage(SURFOBJ*);
  static BOOL APIENTRY DdiStartDoc(SURFOBJ*, LPWSTR, DWORD);
  static BOOL APIENTRY DdiEndDoc(SURFOBJ*, FLONG);
  static BOOL APIENTRY DdiNextBand(SURFOBJ*, POINTL*);
  static BOOL APIENTRY DdiStartBanding(SURFOBJ*, POINTL*);
  static ULONG APIENTRY DdiDitherColor(DHPDEV, ULONG, ULONG, ULONG*);

  DeviceBlock m_block{};
  SURFOBJ m_surface{};
  SpoolWriter m_spool;
  GDIINFO m_gdiInfo{};
  DEVINFO m_devInfo{};
  std::vector<DRVFN> m_table;
  DRVENABLEDATA m_ddi{};
  std::vector<ULONG> m_failing;
  ULONG m_ditherResult = DCR_DRIVER;
  std::vector<DdiCall> m_calls;
  IPrintOemUni* m_plugin = nullptr;
  const std::vector<BandView>* m_bands = nullptr;
  size_t m_nextBand = 0;
  std::vector<BandCall> m_bandCalls;
  std::optional<POINTL> m_nextBandPoint;
};

}  // namespace qxhost
