// The spooler's end of DrvWriteSpoolBuf for one device object: collects every byte the
// plug-in writes, and can be told to write short to exercise the failure path.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "platform/printoem.h"

namespace qxhost {

class SpoolWriter {
 public:
  SpoolWriter();
  SpoolWriter(const SpoolWriter&) = delete;
  SpoolWriter& operator=(const SpoolWriter&) = delete;

  // Makes `devobj` write here: sets its pDrvProcs and its engine handle.
  void Attach(DEVOBJ& devobj);

  // From the given write on (counted from 1), each write reports one byte fewer than asked
  // and keeps nothing. 0 turns the failure off.
  void FailFromWrite(size_t writeNumber) { m_failFrom = writeNumber; }
  // Only the given write (from 1) comes up short, the same way; 0 turns it off.
  void FailOnlyWrite(size_t writeNumber) { m_failOnly = writeNumber; }
  // Hands each write's bytes to `sink` instead of keeping them; a sink that returns false
  // makes that write come up short. Null keeps the bytes here again.
  using Sink = std::function<bool(const BYTE* bytes, DWORD size)>;
  void SetSink(Sink sink) { m_sink = std::move(sink); }

  const std::vector<BYTE>& Bytes() const { return m_bytes; }
  const std::vector<DWORD>& WriteSizes() const { return m_writeSizes; }
  // Writes that reported fewer bytes than asked, and the first of them (from 1; 0 for none).
  size_t ShortWrites() const { return m_shortWrites; }
  size_t FirstShortWrite() const { return m_firstShortWrite; }
  void Clear();

 private:
  static DWORD APIENTRY WriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize);

  DRVPROCS m_procs{};
  std::vector<BYTE> m_bytes;
  std::vector<DWORD> m_writeSizes;
  size_t m_failFrom = 0;
  size_t m_failOnly = 0;
  Sink m_sink;
  size_t m_shortWrites = 0;
  size_t m_firstShortWrite = 0;
};

}  // namespace qxhost
