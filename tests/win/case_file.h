// A print case: one document, its pixels, the printer's data, the job's options and the faults
// to inject, read from a small text file. The Linux runner and the Windows harness both read
// these files, print the document through the plug-in and write the same outputs, so that a
// case can be compared byte for byte between the two platforms.
//
// Format: one directive per line; blank lines are ignored; a line that starts with '#' is a
// comment, and so is the rest of a line from a '#' that stands alone as a word. Numbers are
// decimal, or hexadecimal with 0x.
//
//   job-id N                     job id handed to DrvStartDoc (default 1, the id that the
//                                spooler gives a process's first document)
//   document NAME... | none      document name for DrvStartDoc (default "document")
//   devmode SIZE WIDTH LENGTH [copies N] [collate N]
//                                the job's device mode: paper size code, width and length in
//                                tenths of a millimetre (default: none, which is a failure)
//   total-pages N                JOB_INFO_2 TotalPages (default 0: the number of pages)
//   bits 24|32                   the device's colour depth (default 24)
//   printer NAME dword VALUE     a printer-data value of type REG_DWORD
//   printer NAME sz TEXT...      of type REG_SZ
//   printer NAME type T HEX...   of type T with the given bytes ("05 00" is a 2-byte value)
//   abort-in-page N              abort the document after the bands of page N
//   fail ddi NAME                the driver's own DDI function NAME (DrvStartPage, ...) fails
//   fail spool-write N           from the Nth spool write on, writes come up short
//   fail getjob-size             the spooler reports no size for the job record
//   fail getjob-fill             the spooler fails to fill the job record
//   fail palette                 the engine cannot create a palette
//
//   page WIDTH HEIGHT [COLOUR]   starts a page: a canvas of WIDTH x HEIGHT pixels (default white)
//   page-devmode SIZE WIDTH LENGTH [copies N] [collate N]
//                                the page's own public device mode
//   ink CHAR COLOUR              a character for art lines ('.' white and '#' black, fixed)
//   rect X Y W H COLOUR          fills a rectangle of the canvas
//   art X Y                      art lines follow, up to a line "end"; each character one pixel
//   bands H...                   band heights from the top; the last repeats (default: one band)
//   blank N...                   bands (from 1) that the driver flags as blank
//   bottom-up                    bands are handed over with a positive biHeight
//   short-size N                 band N announces one byte less than its rows need
//   callback N ID                band N is handed over with callback identifier ID
//
// Colours: white, black, red, green, blue, gray:V (V, V, V) or #RRGGBB.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace qxcase {

using Rgb = std::array<uint8_t, 3>;  // red, green, blue

struct PrinterValue {
  std::string name;
  DWORD type = 0;
  std::vector<uint8_t> data;
};

struct BandSpec {
  LONG top = 0;
  LONG rows = 0;
  bool blank = false;
  bool bottomUp = false;
  bool shortSize = false;
  std::optional<DWORD> callbackId;
  // Stored rows of the band, B G R (and a fourth byte at 32 bits), padded to 4 bytes a row.
  std::vector<uint8_t> pixels;
};

struct PageCase {
  LONG width = 0;
  LONG height = 0;
  std::vector<Rgb> canvas;  // width x height, row after row
  std::optional<DEVMODEW> devMode;
  std::vector<BandSpec> bands;
};

struct Faults {
  std::vector<ULONG> failingDdi;  // INDEX_Drv... values
  size_t spoolFailFromWrite = 0;
  bool getJobNoSize = false;
  bool getJobFillFails = false;
  bool createPaletteFails = false;
};

struct Case {
  std::string name;  // the file's name without folder and extension
  DWORD jobId = 1;
  std::optional<std::string> documentName = std::string("document");
  std::optional<DEVMODEW> devMode;
  DWORD totalPages = 0;
  WORD bitsPerPixel = 24;
  std::vector<PrinterValue> printerData;
  std::vector<PageCase> pages;
  DWORD abortInPage = 0;
  Faults faults;
};

// Reads the case at `path`. On failure returns nothing and says why, with the line number.
std::optional<Case> ReadCase(const std::string& path, std::string* error);
std::optional<Case> ParseCase(const std::string& name, const std::string& text, std::string* error);

// Bytes per stored row of a band.
DWORD RowStride(LONG width, WORD bitsPerPixel);
// The band's biSizeImage: rows x stride, one less for a short-size band.
DWORD BandSizeImage(const BandSpec& band, LONG width, WORD bitsPerPixel);
// The band's callback identifier: its own, or 5 for 24 and 6 for 32 bits per pixel.
DWORD BandCallbackId(const BandSpec& band, WORD bitsPerPixel);

// The DDI index of a hooked function's name ("DrvStartPage" gives 33), or 0 if unknown.
ULONG DdiIndex(const std::string& name);

// Converts a UTF-8 text to 16-bit units and back (the printer-data names, the document name).
std::u16string Utf16(const std::string& text);
std::string Utf8(const std::u16string& text);

}  // namespace qxcase
