// Control side of the stand-in for the Windows host services (kernel32, winspool, gdi32).
// The plug-in reaches these services only by their platform names; hosts and tests use this
// interface to give them content, watch them and make them fail.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

#define QX_HOST_API __attribute__((visibility("default")))

namespace qxhost {

// Debug output. Without a sink, lines go to standard error as UTF-8.
using DebugSink = std::function<void(std::u16string_view line)>;
QX_HOST_API void SetDebugSink(DebugSink sink);
// A fixed local time makes trace lines reproducible; null returns to the clock.
QX_HOST_API void SetFixedLocalTime(const SYSTEMTIME* time);
QX_HOST_API std::string ToUtf8(std::u16string_view text);
QX_HOST_API std::u16string FromUtf8(std::string_view text);

// Printer data: named, typed values of one printer, as the spooler keeps them.
struct PrinterValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};
QX_HOST_API HANDLE CreatePrinter();
QX_HOST_API void DeletePrinter(HANDLE printer);
QX_HOST_API void SetPrinterValue(HANDLE printer, std::u16string_view name, PrinterValue value);
QX_HOST_API void SetPrinterDword(HANDLE printer, std::u16string_view name, DWORD value);
QX_HOST_API void RemovePrinterValue(HANDLE printer, std::u16string_view name);
QX_HOST_API void ClearPrinterValues(HANDLE printer);

// Job records, as GetJobW level 2 returns them.
struct JobRecord {
  DWORD totalPages = 1;
  std::optional<DEVMODEW> devMode;
  std::u16string document = u"document";
};
QX_HOST_API void SetJob(HANDLE printer, DWORD jobId, const JobRecord& record);
QX_HOST_API void RemoveJob(HANDLE printer, DWORD jobId);

// Failures to inject and calls to count.
struct Failures {
  bool getJobNoSize = false;     // the size query reports 0 bytes needed
  bool getJobFillFails = false;  // the second call returns FALSE
  bool createPaletteFails = false;
};
struct CallCounts {
  int getJob = 0;
  int getPrinterData = 0;
  int createPalette = 0;
  int deletePalette = 0;
};
// Process-wide: these failures apply to every printer, and every call is counted here. Not for
// use while documents print on other threads.
QX_HOST_API Failures& HostFailures();
QX_HOST_API CallCounts& HostCalls();
// One printer's own failures, applied besides the process-wide ones, and the calls made for it.
QX_HOST_API void SetPrinterFailures(HANDLE printer, const Failures& failures);
QX_HOST_API CallCounts PrinterCalls(HANDLE printer);
// The value names GetPrinterDataW was asked for on `printer`, each once, in the order first
// asked (the first 64 only).
QX_HOST_API std::vector<std::u16string> PrinterValueNamesAsked(HANDLE printer);

// The calling thread's route. EngCreatePalette, EngDeletePalette and OutputDebugStringW take no
// printer or device, so a host that renders a document on a thread names the document's printer
// and trace sink here: those services then fail, count and write for that document alone. A
// thread without a route uses the process-wide failures and sink. Each returns the route before.
QX_HOST_API HANDLE ExchangeThreadPrinter(HANDLE printer);
QX_HOST_API DebugSink ExchangeThreadDebugSink(DebugSink sink);

// Palettes made by EngCreatePalette and still alive.
QX_HOST_API bool IsLivePalette(HPALETTE palette);
QX_HOST_API ULONG PaletteMode(HPALETTE palette);
QX_HOST_API size_t LivePaletteCount();

// Forgets every printer, job, palette, failure, count, sink and fixed time, and the calling
// thread's route.
QX_HOST_API void ResetHost();

}  // namespace qxhost
