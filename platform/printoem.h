// Records of the printer driver's rendering plug-in interface. No SDK ships these for our
// toolchains, so they are declared here with the layout the Windows x64 ABI gives them.
#pragma once

#include "win_types.h"

struct _DEVOBJ;
typedef struct _DEVOBJ DEVOBJ, *PDEVOBJ;

typedef DWORD(APIENTRY* PROC_WRITESPOOLBUF)(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize);
typedef INT(APIENTRY* PROC_XMOVETO)(PDEVOBJ pdevobj, INT x, DWORD dwFlags);
typedef INT(APIENTRY* PROC_YMOVETO)(PDEVOBJ pdevobj, INT y, DWORD dwFlags);
typedef BOOL(APIENTRY* PROC_GETSTANDARDVARIABLE)(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pBuffer, DWORD cbSize,
                                                 PDWORD pcbNeeded);
typedef BOOL(APIENTRY* PROC_GETGPDDATA)(PDEVOBJ pdevobj, DWORD dwDataType, PVOID pInputData,
                                        PVOID pOutputData, DWORD cbSize, PDWORD pcbNeeded);
typedef BOOL(APIENTRY* PROC_UNIDRVTEXTOUT)(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                           RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                           BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);
typedef DWORD(APIENTRY* PROC_WRITEABORTBUF)(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize, DWORD dwWait);

// Services the printer driver offers its plug-in.
typedef struct _DRVPROCS {
  PROC_WRITESPOOLBUF DrvWriteSpoolBuf;
  PROC_XMOVETO DrvXMoveTo;
  PROC_YMOVETO DrvYMoveTo;
  PROC_GETSTANDARDVARIABLE DrvGetStandardVariable;
  PROC_GETGPDDATA DrvGetGPDData;
  PROC_UNIDRVTEXTOUT DrvUniTextOut;
  PROC_WRITEABORTBUF DrvWriteAbortBuf;
} DRVPROCS, *PDRVPROCS;

// The printer driver's device object, one per device context.
struct _DEVOBJ {
  DWORD dwSize;
  PVOID pdevOEM;
  HANDLE hEngine;
  HANDLE hPrinter;
  HANDLE hOEM;
  PDEVMODEW pPublicDM;
  PVOID pOEMDM;
  PDRVPROCS pDrvProcs;
};

// Band parameters handed to ImageProcessing.
typedef struct {
  DWORD dwSize;
  POINT ptOffset;
  PSTR pHalftoneOption;
  BOOL bBanding;
  BOOL bBlankBand;
} IPPARAMS, *PIPPARAMS;

// Parameter block of the device-mode call.
typedef struct _OEMDMPARAM {
  DWORD cbSize;
  PVOID pdriverobj;
  HANDLE hPrinter;
  HANDLE hModule;
  PDEVMODEW pPublicDMIn;
  PDEVMODEW pPublicDMOut;
  PVOID pOEMDMIn;
  PVOID pOEMDMOut;
  DWORD cbBufSize;
} OEMDMPARAM, *POEMDMPARAM;

// Header of a plug-in's private device-mode section.
typedef struct _OEM_DMEXTRAHEADER {
  DWORD dwSize;
  DWORD dwSignature;
  DWORD dwVersion;
} OEM_DMEXTRAHEADER, *POEM_DMEXTRAHEADER;
