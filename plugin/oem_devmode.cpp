#include "plugin/oem_devmode.h"

#include <algorithm>
#include <cstring>

#include "trace/trace.h"

DWORD fill_default_oemdev(const DEVMODEW* publicIn, OEM_DMEXTRAHEADER* out) {
  if (!publicIn || !out) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("fill_default_oemdev(), ERROR_INVALID_PARAMETER."));
    return 0;
  }
  out->dwSignature = OEM_SIGNATURE;
  out->dwSize = OEM_DEVMODE_SIZE;
  out->dwVersion = OEM_VERSION;
  return OEM_DEVMODE_SIZE;
}

DWORD convert_devmode(const DEVMODEW* publicIn, const OEM_DMEXTRAHEADER* in, OEM_DMEXTRAHEADER* out) {
  if (!publicIn || !in || !out) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("convert_devmode(), ERROR_INVALID_PARAMETER."));
    return 0;
  }
  // The kind is judged by the signature the output section holds on entry.
  if (in->dwSignature != out->dwSignature) {
    TraceMessage(TRACE_WRN, TRUE, WSTR("Unknown DEVMODE signature, pOemDevIn ignored."));
    return fill_default_oemdev(publicIn, out);
  }
  // Copy only the section's fixed size, however large the input claims to be.
  const DWORD inSize = in->dwSize;
  fill_default_oemdev(publicIn, out);
  const DWORD taken = std::min(out->dwSize, inSize);
  std::memmove(out, in, taken);
  out->dwVersion = OEM_VERSION;
  out->dwSize = OEM_DEVMODE_SIZE;
  return std::min(inSize, OEM_DEVMODE_SIZE);
}

HRESULT oem_devmode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
  if (!pOemDMParam || dwMode < OEMDM_SIZE || dwMode > OEMDM_MERGE) {
    TraceMessage(TRACE_ERR, TRUE, WSTR("DevMode(), ERROR_INVALID_PARAMETER."));
    SetLastError(ERROR_INVALID_PARAMETER);
    return E_FAIL;
  }
  auto* in = static_cast<const OEM_DMEXTRAHEADER*>(pOemDMParam->pOEMDMIn);
  auto* out = static_cast<OEM_DMEXTRAHEADER*>(pOemDMParam->pOEMDMOut);
  const DEVMODEW* publicIn = pOemDMParam->pPublicDMIn;
  switch (dwMode) {
    case OEMDM_SIZE:
      pOemDMParam->cbBufSize = OEM_DEVMODE_SIZE;
      break;
    case OEMDM_DEFAULT:
      pOemDMParam->cbBufSize = fill_default_oemdev(publicIn, out);
      break;
    case OEMDM_CONVERT:
      pOemDMParam->cbBufSize = convert_devmode(publicIn, in, out);
      break;
    case OEMDM_MERGE: {
      // The merged section is always the default one; the conversion only reports.
      convert_devmode(publicIn, in, out);
      if (out) {
        out->dwSignature = OEM_SIGNATURE;
        out->dwSize = OEM_DEVMODE_SIZE;
        out->dwVersion = OEM_VERSION;
      }
      break;
    }
  }
  return S_OK;
}
