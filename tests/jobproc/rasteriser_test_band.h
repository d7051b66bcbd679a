// Bands and a recording job processor for the band rasteriser's tests.
#pragma once

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "jobproc/job_proc.h"
#include "tests/support/job_fixture.h"

namespace rastertest {

constexpr DWORD CALLBACK_24BPP = 5;
constexpr DWORD CALLBACK_32BPP = 6;

// A band of `width` x `height` pixels, all of one colour, stored with rows padded to 4 bytes and
// exactly as many bytes as the rows need (so ASan sees any read past them).
struct TestBand {
  TestBand(LONG width, LONG height, DWORD bytesPerPixel, BYTE fill = 0xFF)
      : bytesPerPixel(bytesPerPixel),
        callbackId(bytesPerPixel == 3 ? CALLBACK_24BPP : CALLBACK_32BPP),
        stride((static_cast<size_t>(width) * bytesPerPixel + 3) & ~size_t{3}),
        bytes(stride * static_cast<size_t>(height < 0 ? -height : height), fill) {
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bytesPerPixel * 8);
    header.biSizeImage = static_cast<DWORD>(bytes.size());
  }
  BYTE* Pixel(DWORD column, DWORD row) { return bytes.data() + row * stride + column * bytesPerPixel; }
  void Set(DWORD column, DWORD row, BYTE blue, BYTE green, BYTE red) {
    BYTE* p = Pixel(column, row);
    p[0] = blue, p[1] = green, p[2] = red;
  }
  void Black(DWORD column, DWORD row) { Set(column, row, 0, 0, 0); }

  DWORD bytesPerPixel;
  DWORD callbackId;
  size_t stride;
  std::vector<BYTE> bytes;
  BITMAPINFOHEADER header{};
};

struct Line {
  std::vector<BYTE> bytes;
  DWORD lines;
};

// Records what the rasteriser hands on; can refuse a line, and passes lines to the real coder
// when asked to (so the page state moves as in a real job).
class RecordingJob : public CJobProc {
 public:
  BOOL DataLine(const BYTE* bytes, DWORD count, DWORD lines) override {
    received.push_back({std::vector<BYTE>(bytes, bytes + count), lines});
    if (refuseLine && received.size() == refuseLine) return FALSE;
    return forwardLines ? CJobProc::DataLine(bytes, count, lines) : TRUE;
  }
  BOOL PushPageStart(PDEVOBJ pdevobj, LONG width, LONG height) override {
    ++pageStarts;
    return CJobProc::PushPageStart(pdevobj, width, height) && pageStartResult;
  }

  std::vector<Line> received;
  size_t refuseLine = 0;  // 1-based number of the line to refuse; 0: none
  bool forwardLines = false;
  int pageStarts = 0;
  BOOL pageStartResult = TRUE;
};

// A job processor on an open page, a device object with a page device mode, band parameters
// and the trace.
struct RasterFixture {
  RasterFixture() {
    devobj.dwSize = sizeof devobj;
    devobj.pPublicDM = &devMode;
    params.dwSize = sizeof params;
    job.m_dwJobId = 7;
    job.m_dwPage = 1;
    job.m_byState = PAGE_STARTED;
  }
  BOOL Run(const TestBand& band) {
    return job.ImageProcessing(&devobj, band.bytes.data(), &band.header, nullptr, band.callbackId, &params);
  }
  // Lines received as text: one string of '#' and '.' per line, `dots` long.
  std::vector<std::string> Dots(DWORD dots) const {
    std::vector<std::string> out;
    for (const Line& line : job.received) {
      std::string text;
      for (DWORD d = 0; d < dots; ++d)
        text += d / 8 < line.bytes.size() && (line.bytes[d / 8] & (0x80 >> (d % 8))) ? '#' : '.';
      out.push_back(text);
    }
    return out;
  }

  qxtest::TraceCapture trace;
  DEVMODEW devMode = qxtest::MakeDevMode(1000, 1500, false);
  DEVOBJ devobj{};
  IPPARAMS params{};
  RecordingJob job;
};

}  // namespace rastertest
