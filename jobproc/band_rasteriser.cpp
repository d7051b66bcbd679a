// Band rasteriser: thresholds a band of 24- or 32-bit pixels, cuts the label window out of it,
// turns it by the rotation setting and hands the raster lines to the line run coder.
#include <cstdint>

#include "jobproc/job_proc.h"
#include "jobproc/paper.h"
#include "jobproc/raster/window_walk.h"
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

// Lines go to the coder through its virtual slot, so a derived job processor sees each one.
bool ToDataLine(void* job, const uint8_t* line, uint32_t bytes) {
  return static_cast<CJobProc*>(job)->DataLine(line, bytes, 1) != FALSE;
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
  const raster::Window window{pSrcBitmap + skipRows * stride + size_t{skipColumns} * bytesPerPixel, stride,
                              bytesPerPixel, columns, lines};
  if (!raster::WalkWindow(window, m_nRotation, m_byGrayThreshold, raster::BestKernel(), ToDataLine, this))
    return FALSE;
  return TRUE;
}
