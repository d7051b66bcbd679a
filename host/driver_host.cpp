#include "host/driver_host.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <exception>
#include <map>

#include "host/driver_services.h"
#include "host/plugin_library.h"
#include "host/unidrv_device.h"

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

namespace {

DWORD PagesPlayed(const JobSpec& job) {
  return job.feed.next ? job.feed.count : static_cast<DWORD>(job.pages.size());
}

std::string Hex(int64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08" PRIX32, static_cast<uint32_t>(value));
  return text;
}

// A printer of the stand-in spooler for the length of one document.
class ScopedPrinter {
 public:
  ScopedPrinter() : m_handle(CreatePrinter()) {}
  ~ScopedPrinter() { DeletePrinter(m_handle); }
  ScopedPrinter(const ScopedPrinter&) = delete;
  ScopedPrinter& operator=(const ScopedPrinter&) = delete;
  HANDLE Handle() const { return m_handle; }

 private:
  HANDLE m_handle;
};

// The printing thread's route to the document's printer and trace, restored when it ends.
class ScopedThreadRoute {
 public:
  ScopedThreadRoute(HANDLE printer, const DebugSink& trace) : m_printer(ExchangeThreadPrinter(printer)) {
    if (trace) {
      m_trace = ExchangeThreadDebugSink(trace);
      m_routesTrace = true;
    }
  }
  ~ScopedThreadRoute() {
    if (m_routesTrace) ExchangeThreadDebugSink(std::move(m_trace));
    ExchangeThreadPrinter(m_printer);
  }
  ScopedThreadRoute(const ScopedThreadRoute&) = delete;
  ScopedThreadRoute& operator=(const ScopedThreadRoute&) = delete;

 private:
  HANDLE m_printer;
  DebugSink m_trace;
  bool m_routesTrace = false;
};

// Documents playing in this process, on any host: while others play, their plug-in objects
// keep the library in use.
std::atomic<int> g_documentsPlaying{0};

class ScopedPlaying {
 public:
  ScopedPlaying() { ++g_documentsPlaying; }
  ~ScopedPlaying() { --g_documentsPlaying; }
  ScopedPlaying(const ScopedPlaying&) = delete;
  ScopedPlaying& operator=(const ScopedPlaying&) = delete;
};

// Plays one document: the plug-in object's life, one device, and GDI's calls.
class DocumentPlayer {
 public:
  DocumentPlayer(const PluginLibrary& library, const JobSpec& job, PrintResult& result)
      : m_library(library), m_job(job), m_result(result) {}

  void Play(UnidrvDevice& device);

 private:
  bool Check(const char* call, int64_t value, bool ok, DWORD page = 0, DWORD band = 0) {
    m_result.calls.push_back({call, page, band, value, ok});
    return ok;
  }
  bool CheckHr(const char* call, HRESULT hr, DWORD page = 0, DWORD band = 0) {
    return Check(call, hr, SUCCEEDED(hr), page, band);
  }
  bool CheckBool(const char* call, BOOL value, DWORD page = 0, DWORD band = 0) {
    return Check(call, value, value != FALSE, page, band);
  }
  void Fail(const std::string& reason) {
    if (m_result.error.empty()) m_result.error = reason;
  }
  // GDI calls the plug-in's hook where it hooked the index, and the driver's own function elsewhere.
  template <class F>
  F Ddi(ULONG index) const {
    auto hook = m_hooks.find(index);
    return FromPfn<F>(hook != m_hooks.end() ? hook->second : UnidrvDevice::DriverFunction(index));
  }
  bool CreateObject();
  bool StartDriver(UnidrvDevice& device);
  void PlayDocument(UnidrvDevice& device);
  const PageSpec* NextPage(UnidrvDevice& device, DWORD page);
  bool PlayPage(UnidrvDevice& device, DWORD page, const PageSpec& spec);
  void StopDriver(UnidrvDevice& device);

  const PluginLibrary& m_library;
  const JobSpec& m_job;
  PrintResult& m_result;
  IPrintOemUni* m_plugin = nullptr;
  DriverServices m_services;
  std::vector<BYTE> m_privateDevMode;
  std::map<ULONG, PFN> m_hooks;
  bool m_deviceEnabled = false;
  PageSpec m_fedPage;  // the page the feed made last
};

bool DocumentPlayer::CreateObject() {
  void* factory = nullptr;
  HRESULT hr = m_library.GetClassObject(CLSID_OEMRENDER, IID_IClassFactory, &factory);
  if (!CheckHr("DllGetClassObject", hr) || !factory) {
    Fail("the plug-in library serves no class factory for the plug-in class (DllGetClassObject " + Hex(hr) +
         ")");
    return false;
  }
  auto* classFactory = static_cast<IClassFactory*>(factory);
  void* object = nullptr;
  hr = classFactory->CreateInstance(nullptr, IID_IPrintOemUni, &object);
  classFactory->Release();
  if (!CheckHr("CreateInstance", hr) || !object) {
    Fail("the class factory made no plug-in object (CreateInstance " + Hex(hr) + ")");
    return false;
  }
  m_plugin = static_cast<IPrintOemUni*>(object);
  return true;
}

bool DocumentPlayer::StartDriver(UnidrvDevice& device) {
  if (!CheckHr("PublishDriverInterface", m_plugin->PublishDriverInterface(&m_services))) {
    Fail("the plug-in did not take the driver's services interface");
    return false;
  }
  DWORD signature = 0;
  DWORD needed = 0;
  if (!CheckHr("GetInfo", m_plugin->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed))) {
    Fail("the plug-in reported no signature");
    return false;
  }
  // The private device-mode section: sized, then defaulted, and kept with the device.
  DEVOBJ& devobj = device.Devobj();
  OEMDMPARAM param{};
  param.cbSize = sizeof(OEMDMPARAM);
  param.pdriverobj = &devobj;
  param.hPrinter = devobj.hPrinter;
  param.pPublicDMIn = devobj.pPublicDM;
  if (!CheckHr("DevMode", m_plugin->DevMode(OEMDM_SIZE, &param))) {
    Fail("the plug-in did not size its device-mode section");
    return false;
  }
  m_privateDevMode.assign(param.cbBufSize, 0);
  param.pOEMDMOut = m_privateDevMode.empty() ? nullptr : m_privateDevMode.data();
  if (!CheckHr("DevMode", m_plugin->DevMode(OEMDM_DEFAULT, &param))) {
    Fail("the plug-in did not write its default device-mode section");
    return false;
  }
  devobj.pOEMDM = param.pOEMDMOut;
  char method[] = "ImageProcessing";
  const bool takesBands = m_plugin->GetImplementedMethod(method) == S_OK;
  Check("GetImplementedMethod", takesBands ? S_OK : S_FALSE, true);
  device.SetPlugin(takesBands ? m_plugin : nullptr);

  DRVENABLEDATA hooks{};
  if (!CheckHr("EnableDriver", m_plugin->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof hooks, &hooks))) {
    Fail("the plug-in did not enable as a driver");
    return false;
  }
  for (ULONG i = 0; hooks.pdrvfn && i < hooks.c; ++i)
    m_hooks.emplace(hooks.pdrvfn[i].iFunc, hooks.pdrvfn[i].pfn);

  std::u16string printerName = u"qxvn";
  if (!CheckHr("EnablePDEV", device.Enable(m_plugin, reinterpret_cast<PWSTR>(printerName.data())))) {
    Fail("the plug-in did not enable the device (EnablePDEV)");
    return false;
  }
  m_deviceEnabled = true;
  return true;
}

const PageSpec* DocumentPlayer::NextPage(UnidrvDevice& device, DWORD page) {
  if (!m_job.feed.next) return &m_job.pages[page - 1];
  // The device lets go of the page before, whose pixels the feed may now release.
  device.SetPageBands(nullptr);
  m_fedPage = PageSpec{};
  std::string error;
  bool made = false;
  try {
    made = m_job.feed.next(page, m_fedPage, error);
  } catch (const std::exception& e) {
    // Thrown through here it would skip the end of the document and the plug-in's teardown.
    error = e.what();
  } catch (...) {
    error.clear();
  }
  if (made) return &m_fedPage;
  m_fedPage = PageSpec{};
  Fail(error.empty() ? "page " + std::to_string(page) + " could not be made" : error);
  return nullptr;
}

bool DocumentPlayer::PlayPage(UnidrvDevice& device, DWORD page, const PageSpec& spec) {
  SURFOBJ* pso = device.Surface();
  const std::string where = "page " + std::to_string(page) + ": ";
  if (!CheckBool("DrvStartPage", Ddi<PFN_DrvStartPage>(INDEX_DrvStartPage)(pso), page)) {
    Fail(where + "DrvStartPage failed");
    return false;
  }
  device.SetPageBands(&spec.bands);
  POINTL point{};
  if (!CheckBool("DrvStartBanding", Ddi<PFN_DrvStartBanding>(INDEX_DrvStartBanding)(pso, &point), page)) {
    Fail(where + "DrvStartBanding failed");
    return false;
  }
  // One DrvNextBand per band; a page without bands still ends its band loop once.
  const size_t loops = spec.bands.empty() ? 1 : spec.bands.size();
  const bool aborts = m_job.abortInPage == page;
  for (size_t i = 0; i < loops; ++i) {
    if (aborts && i + 1 == loops) return false;
    const auto band = static_cast<DWORD>(i + 1);
    const size_t handedBefore = device.BandCalls().size();
    BOOL next = Ddi<PFN_DrvNextBand>(INDEX_DrvNextBand)(pso, &point);
    for (size_t k = handedBefore; k < device.BandCalls().size(); ++k) {
      const BandCall& handed = device.BandCalls()[k];
      CheckHr("ImageProcessing", handed.hr, page, band);
      if (FAILED(handed.hr) || !handed.bandReturned)
        Fail(where + "band " + std::to_string(band) + " was refused by the plug-in (ImageProcessing " +
             Hex(handed.hr) + ")");
    }
    if (!CheckBool("DrvNextBand", next, page, band)) {
      Fail(where + "DrvNextBand failed at band " + std::to_string(band));
      return false;
    }
  }
  if (!CheckBool("DrvSendPage", Ddi<PFN_DrvSendPage>(INDEX_DrvSendPage)(pso), page)) {
    Fail(where + "DrvSendPage failed");
    return false;
  }
  return true;
}

void DocumentPlayer::PlayDocument(UnidrvDevice& device) {
  SURFOBJ* pso = device.Surface();
  std::u16string name = m_job.documentName.value_or(u"");
  LPWSTR namePointer = m_job.documentName ? reinterpret_cast<LPWSTR>(name.data()) : nullptr;
  if (!CheckBool("DrvStartDoc", Ddi<PFN_DrvStartDoc>(INDEX_DrvStartDoc)(pso, namePointer, m_job.jobId))) {
    Fail("DrvStartDoc failed");
    return;
  }
  const DWORD pages = PagesPlayed(m_job);
  bool completed = true;
  for (DWORD page = 1; page <= pages && completed; ++page) {
    if (m_job.onPage) m_job.onPage(page, pages);
    const PageSpec* spec = NextPage(device, page);
    if (!spec) {
      completed = false;
      break;
    }
    // The page's public device mode, as the application set it for the page.
    device.Devobj().pPublicDM = spec->devMode
                                    ? const_cast<DEVMODEW*>(&*spec->devMode)
                                    : (m_job.devMode ? const_cast<DEVMODEW*>(&*m_job.devMode) : nullptr);
    completed = PlayPage(device, page, *spec);
  }
  const FLONG flags = completed ? 0 : ED_ABORTDOC;
  if (!CheckBool("DrvEndDoc", Ddi<PFN_DrvEndDoc>(INDEX_DrvEndDoc)(pso, flags))) Fail("DrvEndDoc failed");
}

void DocumentPlayer::StopDriver(UnidrvDevice& device) {
  if (m_deviceEnabled) CheckHr("DisablePDEV", device.Disable(m_plugin));
  CheckHr("DisableDriver", m_plugin->DisableDriver());
  const ULONG remaining = m_plugin->Release();
  Check("Release", remaining, remaining == 0);
  m_plugin = nullptr;
  if (remaining != 0) Fail("the plug-in object outlived its last reference");
  if (m_services.References() != 0) Fail("the plug-in kept a reference on the driver's services interface");
}

void DocumentPlayer::Play(UnidrvDevice& device) {
  device.Devobj().pPublicDM = m_job.devMode ? const_cast<DEVMODEW*>(&*m_job.devMode) : nullptr;
  if (!CreateObject()) return;
  if (StartDriver(device)) PlayDocument(device);
  StopDriver(device);
  const HRESULT unload = m_library.CanUnloadNow();
  Check("DllCanUnloadNow", unload, unload == S_OK || (unload == S_FALSE && g_documentsPlaying.load() > 1));
}

}  // namespace

DriverHost::DriverHost() = default;
DriverHost::~DriverHost() = default;

bool DriverHost::Load(const std::string& path, std::string* error) {
  m_library = PluginLibrary::Load(path, error);
  return m_library != nullptr;
}

bool DriverHost::IsLoaded() const { return m_library != nullptr; }

PrintResult DriverHost::Print(const JobSpec& job, const HostFaults& faults) {
  PrintResult result;
  if (!m_library) {
    result.error = "no plug-in library is loaded";
    return result;
  }
  if (job.bitsPerPixel != 24 && job.bitsPerPixel != 32) {
    result.error = "the device renders 24 or 32 bits per pixel, not " + std::to_string(job.bitsPerPixel);
    return result;
  }
  if (job.feed.next && !job.pages.empty()) {
    result.error = "a job's pages come either in its page list or from its feed, not both";
    return result;
  }
  ScopedPrinter printer;
  for (const auto& [name, value] : job.printerData) SetPrinterValue(printer.Handle(), name, value);
  JobRecord record;
  record.totalPages = job.totalPages ? job.totalPages : PagesPlayed(job);
  record.devMode = job.devMode;
  record.document = job.documentName.value_or(u"");
  SetJob(printer.Handle(), job.jobId, record);

  {
    ScopedPlaying playing;
    ScopedThreadRoute route(printer.Handle(), job.traceSink);
    UnidrvDevice device(printer.Handle(), job.bitsPerPixel);
    device.Spool().FailFromWrite(faults.spoolFailFromWrite);
    device.Spool().FailOnlyWrite(faults.spoolFailOnlyWrite);
    if (job.spoolSink) device.Spool().SetSink(job.spoolSink);
    for (ULONG index : faults.failingDdi) device.FailDdi(index);
    // After the device is made: its own default palette is never an injected failure.
    SetPrinterFailures(printer.Handle(),
                       {faults.getJobNoSize, faults.getJobFillFails, faults.createPaletteFails});
    DocumentPlayer(*m_library, job, result).Play(device);
    // A short write is the cause of whatever failed after it (the page and document events).
    if (device.Spool().ShortWrites())
      result.error = "the spooler took fewer bytes than written at write " +
                     std::to_string(device.Spool().FirstShortWrite());
    result.spool = device.Spool().Bytes();
    result.spoolWrites = device.Spool().WriteSizes();
  }
  result.hostCalls = PrinterCalls(printer.Handle());
  result.ok = result.error.empty();
  return result;
}

const char* BuiltPluginPath() { return QX_BUILT_PLUGIN_PATH; }

}  // namespace qxhost
