// The plug-in's state of one device context: the driver's own entry points of the hooked DDI
// functions and the device's job processor. Created by EnablePDEV, kept by the driver as the
// DEVOBJ's pdevOEM, destroyed by DisablePDEV.
#pragma once

#include "jobproc/job_proc.h"
#include "platform/printoem_com.h"

constexpr ULONG HOOK_COUNT = 11;

struct OEMPDEV {
  // The driver's own functions, one per row of the hook table and in its order; null where the
  // driver's table did not offer that index.
  PFN m_pfnBitBlt = nullptr;
  PFN m_pfnStretchBlt = nullptr;
  PFN m_pfnTextOut = nullptr;
  PFN m_pfnStrokePath = nullptr;
  PFN m_pfnStartPage = nullptr;
  PFN m_pfnSendPage = nullptr;
  PFN m_pfnStartDoc = nullptr;
  PFN m_pfnEndDoc = nullptr;
  PFN m_pfnNextBand = nullptr;
  PFN m_pfnStartBanding = nullptr;
  PFN m_pfnDitherColor = nullptr;
  // Recorded for the device's lifetime; no reference of its own.
  IPrintOemDriverUni* m_pDriverUni = nullptr;
  // The device's default palette as EnablePDEV left it; not owned.
  HPALETTE m_hPalette = nullptr;
  CJobProc m_JobProc;
};
typedef OEMPDEV* POEMPDEV;

// The saved entry point of each hook-table row.
inline constexpr PFN OEMPDEV::*SAVED_ENTRY[HOOK_COUNT] = {
    &OEMPDEV::m_pfnBitBlt,       &OEMPDEV::m_pfnStretchBlt,  &OEMPDEV::m_pfnTextOut,
    &OEMPDEV::m_pfnStrokePath,   &OEMPDEV::m_pfnStartPage,   &OEMPDEV::m_pfnSendPage,
    &OEMPDEV::m_pfnStartDoc,     &OEMPDEV::m_pfnEndDoc,      &OEMPDEV::m_pfnNextBand,
    &OEMPDEV::m_pfnStartBanding, &OEMPDEV::m_pfnDitherColor,
};
