// Placeholder until the band rasteriser lands: refuses every band.
#include "jobproc/job_proc.h"

BOOL CJobProc::ImageProcessing(PDEVOBJ, const BYTE*, const BITMAPINFOHEADER*, const BYTE*, DWORD,
                               const IPPARAMS*) {
  return FALSE;
}
