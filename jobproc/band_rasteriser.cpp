// Band rasteriser: thresholds a band of 24- or 32-bit pixels, cuts the label window out of it,
// turns it by the rotation setting and hands the raster lines to the line run coder.
#include <cstdint>

#include "jobproc/job_proc.h"
#include "jobproc/paper.h"
#include "trace/trace.h"

namespace {

constexpr DWORD CALLBACK_24BPP = 5;
constexpr DWORD CALLBACK_32BPP = 6;

// Skip before a window of `window` inside `whole` (window < whole), by alignment 0/1/2.
DWORD AlignedSkip(DWORD whole, DWORD window, DWORD alignment) {
  const DWORD excess = whole - window;
  if (alignment == 1) return excess >> 1;
  if (alignment == 2) return excess;
  return 0;
}

struct Window {
  const BYTE* origin;  // the pixel at the window's top left
  size_t stride;
  DWORD bytesPerPixel;
  DWORD columns;
  DWORD rows;
};

bool Prints(const BYTE* pixel, DWORD limit) {
  return 7209u * pixel[0] + 38666u * pixel[1] + 19661u * pixel[2] < limit;
}

}  // namespace

BOOL CJobProc::ImageProcessing(PDEVOBJ pdevobj, const BYTE* pSrcBitmap,
                               const BITMAPINFOHEADER* pBitmapInfoHeader, const BYTE* /*pColorTable*/,
                               DWORD dwCallbackID, const IPPARAMS* pIPParams) {
  if (!pBitmapInfoHeader || !pIPParams) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("CJobProc::ImageProcessing() no bitmap header or band parameters!"));
    return FALSE;
  }
  const BITMAPINFOHEADER& bih = *pBitmapInfoHeader;
  TraceMessage(TRACE_INF, TRUE,
               WSTR("CJobProc::ImageProcessing(%d, %d, %C, %C): %d X %d, Bits: %d, Sizes: %d"), m_dwJobId,
               dwCallbackID, IsPageOpen(m_byState) ? 'V' : 'I', pIPParams->bBlankBand ? 'B' : 'P',
               bih.biWidth, bih.biHeight, bih.biBitCount, bih.biSizeImage);
  if (!IsPageOpen(m_byState) || pIPParams->bBlankBand) return TRUE;

  DWORD bytesPerPixel;
  if (dwCallbackID == CALLBACK_24BPP)
    bytesPerPixel = 3;
  else if (dwCallbackID == CALLBACK_32BPP)
    bytesPerPixel = 4;
  else
    return FALSE;

  if (!pSrcBitmap) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("CJobProc::ImageProcessing() no bitmap data!"));
    return FALSE;
  }
  if (bih.biWidth < 0) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("CJobProc::ImageProcessing() bitmap width (%d) is negative!"),
                 bih.biWidth);
    return FALSE;
  }
  // Sizes in 64 bits: a huge width or height must not wrap past the check. A row count that
  // does not fit a LONG (biHeight INT_MIN) is refused as well.
  const uint64_t rows64 = bih.biHeight < 0 ? uint64_t{0} - static_cast<uint64_t>(int64_t{bih.biHeight})
                                           : static_cast<uint64_t>(bih.biHeight);
  const uint64_t stride64 = (static_cast<uint64_t>(bih.biWidth) * bytesPerPixel + 3) & ~uint64_t{3};
  if (rows64 > 0x7FFFFFFF || rows64 * stride64 > bih.biSizeImage) {
    TraceMessage(TRACE_ERR, TRUE,
                 WSTR("CJobProc::ImageProcessing() bitmap(LB %d X %d) data size (%d) is not enough!"),
                 static_cast<LONG>(stride64), static_cast<LONG>(rows64), bih.biSizeImage);
    return FALSE;
  }
  const DWORD width = static_cast<DWORD>(bih.biWidth);
  const DWORD rows = static_cast<DWORD>(rows64);

  if (m_byState == PAGE_STARTED) {
    const DEVMODEW* dm = pdevobj ? pdevobj->pPublicDM : nullptr;
    m_bCustomPage = dm ? IsCustomPaper(*dm) : m_bCustomJob;
    m_Packages.Empty();
  }

  DWORD skipColumns = 0, skipRows = 0, columns = width, lines = rows;
  if (!m_bCustomPage) {
    if (m_nLabelWidth != 0 && m_nLabelWidth < width) {
      columns = m_nLabelWidth;
      skipColumns = AlignedSkip(width, columns, m_nHorAlignment);
    }
    if (m_nLabelHeight != 0 && m_nLabelHeight < rows) {
      lines = m_nLabelHeight;
      skipRows = AlignedSkip(rows, lines, m_nVerAlignment);
    }
  }

  const bool quarterTurn = m_nRotation == 1 || m_nRotation == 3;
  if (quarterTurn) {
    m_nPageHeight = static_cast<LONG>(columns);
    if (lines > static_cast<DWORD>(MAX_LINE_DOTS)) lines = MAX_LINE_DOTS;
    m_nPageWidth = static_cast<LONG>(lines);
  } else {
    m_nPageHeight = static_cast<LONG>(lines);
    if (columns > static_cast<DWORD>(MAX_LINE_DOTS)) columns = MAX_LINE_DOTS;
    m_nPageWidth = static_cast<LONG>(columns);
  }

  if (m_byState == PAGE_STARTED && !PushPageStart(pdevobj, m_nPageWidth, m_nPageHeight)) return FALSE;
  TraceMessage(TRACE_INF, TRUE, WSTR("CJobProc::ImageSplit(%d, %d, %d, %d, %d)"), skipColumns, skipRows,
               columns, lines, m_nRotation);

  const size_t stride = static_cast<size_t>(stride64);
  const Window window{pSrcBitmap + skipRows * stride + size_t{skipColumns} * bytesPerPixel, stride,
                      bytesPerPixel, columns, lines};
  const DWORD limit = (DWORD{m_byGrayThreshold} + 1) << 16;
  const DWORD lineBytes = (static_cast<DWORD>(m_nPageWidth) + 7) >> 3;
  const DWORD lineCount = quarterTurn ? window.columns : window.rows;
  const DWORD dots = quarterTurn ? window.rows : window.columns;
  BYTE line[MAX_LINE_BYTES + 1];
  for (DWORD n = 0; n < lineCount; ++n) {
    for (BYTE& b : line) b = 0;
    for (DWORD d = 0; d < dots; ++d) {
      DWORD row, column;
      switch (m_nRotation) {
        case 1:
          column = n, row = window.rows - 1 - d;
          break;
        case 2:
          row = window.rows - 1 - n, column = window.columns - 1 - d;
          break;
        case 3:
          column = window.columns - 1 - n, row = d;
          break;
        default:
          row = n, column = d;
          break;
      }
      if (Prints(window.origin + row * window.stride + size_t{column} * bytesPerPixel, limit))
        line[d >> 3] |= static_cast<BYTE>(0x80 >> (d & 7));
    }
    if (!DataLine(line, lineBytes, 1)) return FALSE;
  }
  return TRUE;
}
