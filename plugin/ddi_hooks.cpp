// The DDI hooks: six pass straight to the driver, five turn document, page and band events
// into the job processor's lifecycle.
#include "plugin/ddi_hooks.h"

#include <memory>

#include "trace/trace.h"

std::atomic<DWORD> g_dwLastJobId{0};

const DRVFN g_aHookTable[HOOK_COUNT] = {
    {INDEX_DrvBitBlt, ToPfn(&qxhooks::DrvBitBlt)},
    {INDEX_DrvStretchBlt, ToPfn(&qxhooks::DrvStretchBlt)},
    {INDEX_DrvTextOut, ToPfn(&qxhooks::DrvTextOut)},
    {INDEX_DrvStrokePath, ToPfn(&qxhooks::DrvStrokePath)},
    {INDEX_DrvStartPage, ToPfn(&qxhooks::DrvStartPage)},
    {INDEX_DrvSendPage, ToPfn(&qxhooks::DrvSendPage)},
    {INDEX_DrvStartDoc, ToPfn(&qxhooks::DrvStartDoc)},
    {INDEX_DrvEndDoc, ToPfn(&qxhooks::DrvEndDoc)},
    {INDEX_DrvNextBand, ToPfn(&qxhooks::DrvNextBand)},
    {INDEX_DrvStartBanding, ToPfn(&qxhooks::DrvStartBanding)},
    {INDEX_DrvDitherColor, ToPfn(&qxhooks::DrvDitherColor)},
};

namespace {

enum HookRow : ULONG {
  ROW_BITBLT,
  ROW_STRETCHBLT,
  ROW_TEXTOUT,
  ROW_STROKEPATH,
  ROW_STARTPAGE,
  ROW_SENDPAGE,
  ROW_STARTDOC,
  ROW_ENDDOC,
  ROW_NEXTBAND,
  ROW_STARTBANDING,
  ROW_DITHERCOLOR,
};

PDEVOBJ DeviceOf(SURFOBJ* pso) { return pso ? reinterpret_cast<PDEVOBJ>(pso->dhpdev) : nullptr; }

POEMPDEV StateOf(PDEVOBJ pdevobj) { return pdevobj ? static_cast<POEMPDEV>(pdevobj->pdevOEM) : nullptr; }

// The driver's own function of a row, typed; null (traced) when the device has no state or the
// driver's table lacked the index, so that no hook calls through null.
template <class F>
F SavedEntry(POEMPDEV state, HookRow row, const WCHAR* hook) {
  if (!state) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("%s() without plug-in device state!"), hook);
    return nullptr;
  }
  PFN entry = state->*SAVED_ENTRY[row];
  if (!entry) TraceMessage(TRACE_ERR, TRUE, WSTR("%s() no saved driver entry point!"), hook);
  return FromPfn<F>(entry);
}

bool IsOpen(const CJobProc& job) { return IsPageOpen(job.m_byState); }

// The lazy job start at the first page: the job record from the spooler, then StartJob.
BOOL StartJobAtFirstPage(PDEVOBJ pdevobj, CJobProc& job) {
  if (job.m_dwJobId == 0) job.m_dwJobId = g_dwLastJobId.load(std::memory_order_relaxed);
  if (job.m_dwJobId == 0) {
    TraceMessage(TRACE_WRN, TRUE, WSTR("CJobProc::StartPage() without JobID!"));
    return FALSE;
  }
  DWORD needed = 0;
  GetJobW(pdevobj->hPrinter, job.m_dwJobId, 2, nullptr, 0, &needed);
  if (needed == 0) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("CJobProc::StartPage() alloc JOB_INFO_2(%d) failed!"), needed);
    return FALSE;
  }
  // Ten bytes to spare beyond what the spooler announced.
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[static_cast<size_t>(needed) + 10]);
  if (!buffer) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("CJobProc::StartPage() alloc JOB_INFO_2(%d) failed!"), needed);
    return FALSE;
  }
  if (!GetJobW(pdevobj->hPrinter, job.m_dwJobId, 2, buffer.get(), needed, &needed)) {
    TraceMessage(TRACE_WRN, TRUE, WSTR("CJobProc::StartPage() GetJob JOB_INFO_2(%d) failed!"), needed);
    return FALSE;
  }
  return job.StartJob(pdevobj, reinterpret_cast<const JOB_INFO_2W*>(buffer.get()));
}

}  // namespace

namespace qxhooks {

BOOL APIENTRY DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                        RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                        ROP4 rop4) {
  auto unidrv = SavedEntry<PFN_DrvBitBlt>(StateOf(DeviceOf(psoTrg)), ROW_BITBLT, WSTR("DrvBitBlt"));
  if (!unidrv) return FALSE;
  return unidrv(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo, pptlBrush, rop4);
}

BOOL APIENTRY DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                            POINTL* pptlMask, ULONG iMode) {
  auto unidrv =
      SavedEntry<PFN_DrvStretchBlt>(StateOf(DeviceOf(psoDest)), ROW_STRETCHBLT, WSTR("DrvStretchBlt"));
  if (!unidrv) return FALSE;
  return unidrv(psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg, prclDest, prclSrc, pptlMask, iMode);
}

BOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                         RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                         MIX mix) {
  auto unidrv = SavedEntry<PFN_DrvTextOut>(StateOf(DeviceOf(pso)), ROW_TEXTOUT, WSTR("DrvTextOut"));
  if (!unidrv) return FALSE;
  return unidrv(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix);
}

BOOL APIENTRY DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                            POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
  auto unidrv = SavedEntry<PFN_DrvStrokePath>(StateOf(DeviceOf(pso)), ROW_STROKEPATH, WSTR("DrvStrokePath"));
  if (!unidrv) return FALSE;
  return unidrv(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
}

BOOL APIENTRY DrvStartBanding(SURFOBJ* pso, POINTL* pptl) {
  auto unidrv =
      SavedEntry<PFN_DrvStartBanding>(StateOf(DeviceOf(pso)), ROW_STARTBANDING, WSTR("DrvStartBanding"));
  if (!unidrv) return FALSE;
  return unidrv(pso, pptl);
}

ULONG APIENTRY DrvDitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG* pul) {
  auto* pdevobj = reinterpret_cast<PDEVOBJ>(dhpdev);
  auto unidrv = SavedEntry<PFN_DrvDitherColor>(StateOf(pdevobj), ROW_DITHERCOLOR, WSTR("DrvDitherColor"));
  if (!unidrv) return DITHER_COLOR_FAILED;
  return unidrv(dhpdev, iMode, rgb, pul);
}

BOOL APIENTRY DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
  // GDI's start of a document without name and job: nothing to do for us or the driver.
  if (!pwszDocName && dwJobId == 0) return TRUE;
  PDEVOBJ pdevobj = DeviceOf(pso);
  POEMPDEV state = StateOf(pdevobj);
  if (!state) return FALSE;
  auto unidrv = SavedEntry<PFN_DrvStartDoc>(state, ROW_STARTDOC, WSTR("DrvStartDoc"));
  if (!unidrv || !unidrv(pso, pwszDocName, dwJobId)) return FALSE;
  if (dwJobId == 0) return FALSE;
  state->m_JobProc.Reset();
  g_dwLastJobId.store(dwJobId, std::memory_order_relaxed);
  state->m_JobProc.m_dwJobId = dwJobId;
  return TRUE;
}

BOOL APIENTRY DrvStartPage(SURFOBJ* pso) {
  PDEVOBJ pdevobj = DeviceOf(pso);
  POEMPDEV state = StateOf(pdevobj);
  auto unidrv = SavedEntry<PFN_DrvStartPage>(state, ROW_STARTPAGE, WSTR("DrvStartPage"));
  if (!unidrv) return FALSE;
  CJobProc& job = state->m_JobProc;
  if (job.m_dwPage == 0 && !StartJobAtFirstPage(pdevobj, job)) return FALSE;
  if (IsOpen(job) && !job.EndPage(pdevobj, job.m_dwPage)) {
    job.TakePageLost();
    return FALSE;
  }
  // A page lost at the end of its band loop, not yet reported because no DrvSendPage came.
  if (job.TakePageLost()) return FALSE;
  ++job.m_dwPage;
  if (!job.StartPage(pdevobj, job.m_dwPage)) return FALSE;
  return unidrv(pso);
}

BOOL APIENTRY DrvNextBand(SURFOBJ* pso, POINTL* pptl) {
  PDEVOBJ pdevobj = DeviceOf(pso);
  POEMPDEV state = StateOf(pdevobj);
  auto unidrv = SavedEntry<PFN_DrvNextBand>(state, ROW_NEXTBAND, WSTR("DrvNextBand"));
  if (!unidrv) return FALSE;
  BOOL result = unidrv(pso, pptl);
  // (-1, -1): the driver has no further band, so the page is complete. A failure here is kept
  // by the job processor and reported by the next page event.
  if (result && pptl && pptl->x < 0 && pptl->y < 0 && IsOpen(state->m_JobProc))
    state->m_JobProc.EndPage(pdevobj, state->m_JobProc.m_dwPage);
  return result;
}

BOOL APIENTRY DrvSendPage(SURFOBJ* pso) {
  PDEVOBJ pdevobj = DeviceOf(pso);
  POEMPDEV state = StateOf(pdevobj);
  auto unidrv = SavedEntry<PFN_DrvSendPage>(state, ROW_SENDPAGE, WSTR("DrvSendPage"));
  if (!unidrv || !unidrv(pso)) return FALSE;
  CJobProc& job = state->m_JobProc;
  const BOOL ended = IsOpen(job) ? job.EndPage(pdevobj, job.m_dwPage) : TRUE;
  // The band loop's page end cannot fail its caller, so a page it lost is reported here.
  if (job.TakePageLost()) return FALSE;
  return ended;
}

BOOL APIENTRY DrvEndDoc(SURFOBJ* pso, FLONG fl) {
  PDEVOBJ pdevobj = DeviceOf(pso);
  POEMPDEV state = StateOf(pdevobj);
  auto unidrv = SavedEntry<PFN_DrvEndDoc>(state, ROW_ENDDOC, WSTR("DrvEndDoc"));
  if (state) {
    // The plug-in's own failures here do not fail the end of the document.
    CJobProc& job = state->m_JobProc;
    if (fl == ED_ABORTDOC) {
      if (job.m_dwPage > 0) job.AbortJob(pdevobj);
    } else {
      if (IsOpen(job)) job.EndPage(pdevobj, job.m_dwPage);
      if (job.m_dwPage > 0) job.EndJob(pdevobj);
    }
    job.Reset();
  }
  if (!unidrv) return FALSE;
  return unidrv(pso, fl);
}

}  // namespace qxhooks
