#include "host/spool_writer.h"

namespace qxhost {

SpoolWriter::SpoolWriter() { m_procs.DrvWriteSpoolBuf = &SpoolWriter::WriteSpoolBuf; }

void SpoolWriter::Attach(DEVOBJ& devobj) {
  devobj.pDrvProcs = &m_procs;
  devobj.hEngine = this;
}

void SpoolWriter::Clear() {
  m_bytes.clear();
  m_writeSizes.clear();
  m_shortWrites = m_firstShortWrite = 0;
}

DWORD APIENTRY SpoolWriter::WriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize) {
  if (!pdevobj || !pdevobj->hEngine) return 0;
  auto* self = static_cast<SpoolWriter*>(pdevobj->hEngine);
  self->m_writeSizes.push_back(cbSize);
  const size_t number = self->m_writeSizes.size();
  const bool injected =
      (self->m_failFrom && number >= self->m_failFrom) || (self->m_failOnly && number == self->m_failOnly);
  const auto* bytes = static_cast<const BYTE*>(pBuffer);
  const bool refused = (cbSize && !pBuffer) || (!injected && self->m_sink && !self->m_sink(bytes, cbSize));
  if (injected || refused) {
    if (self->m_shortWrites++ == 0) self->m_firstShortWrite = number;
    if (injected) return cbSize ? cbSize - 1 : 1;
    return 0;
  }
  if (!self->m_sink) self->m_bytes.insert(self->m_bytes.end(), bytes, bytes + cbSize);
  return cbSize;
}

}  // namespace qxhost
