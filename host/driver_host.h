// The stand-in printer driver, GDI and spooler around the rendering plug-in library: loads the
// library, finds the plug-in object only through DllGetClassObject and its class factory, and
// plays a whole document through the object's interface and its hook table.
//
// What one Print() does, in this order (a host on another platform replays the same sequence,
// so that the plug-in traces and writes the same):
//   1. DllGetClassObject(plug-in class, IID_IClassFactory); CreateInstance(null, IID_IPrintOemUni);
//      the factory is released.
//   2. PublishDriverInterface(the driver's services object); GetInfo(OEMGI_GETSIGNATURE);
//      DevMode(OEMDM_SIZE) and DevMode(OEMDM_DEFAULT) for the private device-mode section;
//      GetImplementedMethod("ImageProcessing"); EnableDriver.
//   3. EnablePDEV with the driver's own DDI table, a GDIINFO of `bitsPerPixel` and a DEVINFO
//      holding a default palette.
//   4. DrvStartDoc(document name, job id); per page: DrvStartPage, DrvStartBanding, one
//      DrvNextBand per band (the driver hands that band to ImageProcessing inside it and reports
//      (-1,-1) after the last band), DrvSendPage; then DrvEndDoc(0). A hook that fails, or
//      `abortInPage`, ends the document with DrvEndDoc(ED_ABORTDOC) instead. A failed
//      DrvStartDoc ends nothing.
//   5. DisablePDEV, DisableDriver, the final Release of the object.
// Every call into the plug-in goes through its hook table or its interface table.
//
// Any number of Print() calls may run at once, from any threads, through one loaded library:
// each document gets a printer of its own (printer data, job record, injected failures and call
// counts), a device with its own spool writer and palettes, and the printing thread's route
// (host_services.h) for the services that name no printer. Trace lines go to the document's
// `traceSink`; without one, to the thread's route or else to the sink set with SetDebugSink.
// Load() must be done before printing starts.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/services/host_services.h"
#include "platform/printoem.h"

namespace qxhost {

// Bytes per stored row of a band: pixels of 3 or 4 bytes, rows padded to a multiple of 4.
DWORD BandStride(LONG width, WORD bitsPerPixel);

// One band of a page, a view into pixels the caller owns and keeps alive during Print(). The
// host never copies them: the plug-in reads them where they are.
struct BandView {
  const BYTE* pixels = nullptr;  // the first stored row: B, G, R (and a fourth byte at 32 bits)
  LONG width = 0;                // biWidth, pixels per row
  LONG height = 0;               // biHeight as handed over; negative means top-down
  DWORD sizeImage = 0;           // biSizeImage, bytes readable at `pixels`
  bool blank = false;            // the driver's blank-band flag (IPPARAMS bBlankBand)
  LONG top = 0;                  // page row at which the band begins (IPPARAMS ptOffset.y)
  DWORD callbackId = 0;          // 0: from the job's bits per pixel (5 for 24, 6 for 32)
};

// A top-down band of `rows` rows of `width` pixels at `pixels`, stride as BandStride gives it,
// beginning at page row `top`.
BandView MakeBand(const BYTE* pixels, LONG width, LONG rows, WORD bitsPerPixel, LONG top = 0);

struct PageSpec {
  std::vector<BandView> bands;
  // The page's public device mode (DEVOBJ pPublicDM); without one, the job's device mode.
  std::optional<DEVMODEW> devMode;
};

// Pages handed over one at a time as the host reaches them, so that a long document needs the
// pixels of one page only, not of all of them at once.
struct PageFeed {
  DWORD count = 0;  // pages in the document
  // Fills `page` for page `number` (from 1). Called once per page, in order, just before the
  // page starts and only once the host is done with the page before: the views need stay valid
  // only until the next call or the end of Print(), so a feed may release a page's pixels when
  // asked for the next. False ends the document unfinished, with `error` as Print()'s reason.
  std::function<bool(DWORD number, PageSpec& page, std::string& error)> next;
};

// A device mode with paper size, width and length (tenths of a millimetre), copies and
// collation set and their dmFields bits on.
DEVMODEW MakeDevMode(SHORT paperSize, SHORT widthTenths, SHORT lengthTenths, SHORT copies = 1,
                     SHORT collate = DMCOLLATE_FALSE);

struct JobSpec {
  DWORD jobId = 1;  // the spooler's job id handed to DrvStartDoc
  // Document name for DrvStartDoc; none hands a null name.
  std::optional<std::u16string> documentName = u"document";
  // The job's device mode, as GetJobW returns it in JOB_INFO_2; none leaves pDevMode null.
  std::optional<DEVMODEW> devMode;
  DWORD totalPages = 0;    // JOB_INFO_2 TotalPages; 0 means the number of pages played
  WORD bitsPerPixel = 24;  // the device's colour depth: 24 or 32
  // The printer's data values (GetPrinterDataW), set before the document starts.
  std::vector<std::pair<std::u16string, PrinterValue>> printerData;
  // The pages, either all at hand in `pages` or made as they are reached by `feed` (then
  // `pages` stays empty).
  std::vector<PageSpec> pages;
  PageFeed feed;
  // Non-zero: abort the document while this page (from 1) is being rendered, before the
  // DrvNextBand that would hand its last band, so that the page is never completed.
  DWORD abortInPage = 0;
  // Called before each page starts, with the page number (from 1) and the number of pages.
  std::function<void(DWORD page, DWORD pages)> onPage;
  // Receives every trace line written while this document plays, on the printing thread.
  DebugSink traceSink;
  // When set, receives the bytes of each spool write as it is made, and PrintResult's spool
  // stays empty, so that a long job is never held in memory. False makes that write come up
  // short, which fails the document.
  std::function<bool(const BYTE* bytes, DWORD size)> spoolSink;
};

// Failures to inject into the driver and the spooler for one Print(); other documents printing
// at the same time do not see them.
struct HostFaults {
  std::vector<ULONG> failingDdi;  // DDI indexes (INDEX_Drv...) whose driver function returns FALSE
  size_t spoolFailFromWrite = 0;  // from this spool write on (from 1), writes come up short
  size_t spoolFailOnlyWrite = 0;  // only this spool write (from 1) comes up short
  bool getJobNoSize = false;      // GetJobW reports no size for the job record
  bool getJobFillFails = false;   // GetJobW fails to fill the job record
  bool createPaletteFails = false;
};

// One call into the plug-in, and what it returned.
struct CallResult {
  std::string call;    // "DrvStartPage", "ImageProcessing", "EnablePDEV", ...
  DWORD page = 0;      // page number (from 1) during the document, else 0
  DWORD band = 0;      // band number within the page (from 1) for DrvNextBand and ImageProcessing
  int64_t result = 0;  // the BOOL, HRESULT or ULONG returned
  bool ok = false;     // whether the result counts as success
};

struct PrintResult {
  bool ok = false;                 // every step succeeded
  std::string error;               // empty when ok; else the first failure in one sentence
  std::vector<BYTE> spool;         // every byte written through DrvWriteSpoolBuf, in order,
                                   // unless the job's spoolSink took them
  std::vector<DWORD> spoolWrites;  // the size of each DrvWriteSpoolBuf call
  std::vector<CallResult> calls;   // every call into the plug-in, in order
  CallCounts hostCalls;            // the spooler and engine calls made for this document alone
};

class PluginLibrary;

class DriverHost {
 public:
  DriverHost();
  ~DriverHost();
  DriverHost(const DriverHost&) = delete;
  DriverHost& operator=(const DriverHost&) = delete;

  // Loads the plug-in library at `path` and finds its entry points. On failure returns false
  // and says why in `error` (file missing, not a library, an entry point missing).
  bool Load(const std::string& path, std::string* error);
  bool IsLoaded() const;
  PluginLibrary* Library() const { return m_library.get(); }

  // Prints one document as described above.
  PrintResult Print(const JobSpec& job, const HostFaults& faults = {});

 private:
  std::unique_ptr<PluginLibrary> m_library;
};

// Where the build put the plug-in library next to this host (absolute path).
const char* BuiltPluginPath();

// The plug-in library a program uses: the one installed with it (PREFIX/lib/qxvn/ for a program
// in PREFIX/bin/), else the one the build made.
std::string PluginPath();

}  // namespace qxhost
