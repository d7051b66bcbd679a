// The eleven DDI functions the plug-in takes over from the driver, and its hook table. The
// hooks live in a namespace so that their platform names do not meet the SDK's prototypes.
#pragma once

#include <atomic>

#include "plugin/device_state.h"

namespace qxhooks {

BOOL APIENTRY DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                        RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                        ROP4 rop4);
BOOL APIENTRY DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                            POINTL* pptlMask, ULONG iMode);
BOOL APIENTRY DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                         RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);
BOOL APIENTRY DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                            POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix);
BOOL APIENTRY DrvStartPage(SURFOBJ* pso);
BOOL APIENTRY DrvSendPage(SURFOBJ* pso);
BOOL APIENTRY DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
BOOL APIENTRY DrvEndDoc(SURFOBJ* pso, FLONG fl);
BOOL APIENTRY DrvNextBand(SURFOBJ* pso, POINTL* pptl);
BOOL APIENTRY DrvStartBanding(SURFOBJ* pso, POINTL* pptl);
ULONG APIENTRY DrvDitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG* pul);

}  // namespace qxhooks

// The hook table EnableDriver hands out; the order of its rows is the order of the saved
// entry points in OEMPDEV.
extern const DRVFN g_aHookTable[HOOK_COUNT];

// Job id of the last document started in any device of the process. Devices share it without
// a lock: last writer wins, and relaxed atomics keep that free of data races.
extern std::atomic<DWORD> g_dwLastJobId;

// What DrvDitherColor answers when it cannot ask the driver.
constexpr ULONG DITHER_COLOR_FAILED = DCR_SOLID;
