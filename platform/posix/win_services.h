// The host services the plug-in imports, under their platform names. Without Windows they
// are provided by the stand-in host library (host/), which exports them with C linkage.
#pragma once

#include "win_spool.h"

#define QX_HOST_EXPORT __attribute__((visibility("default")))

extern "C" {
// kernel32
QX_HOST_EXPORT void WINAPI OutputDebugStringW(LPCWSTR lpOutputString);
QX_HOST_EXPORT void WINAPI SetLastError(DWORD dwErrCode);
QX_HOST_EXPORT DWORD WINAPI GetLastError(void);
QX_HOST_EXPORT void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
// winspool
QX_HOST_EXPORT DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData,
                                            DWORD nSize, LPDWORD pcbNeeded);
QX_HOST_EXPORT BOOL WINAPI GetJobW(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD cbBuf,
                                   LPDWORD pcbNeeded);
// gdi32 (engine)
QX_HOST_EXPORT HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed,
                                                  FLONG flGreen, FLONG flBlue);
QX_HOST_EXPORT BOOL APIENTRY EngDeletePalette(HPALETTE hpal);
}
