#include "stream/packages.h"

#include <cstring>

namespace {

DWORD FramedSize(DWORD payloadLength) {
  return payloadLength + (payloadLength >= SHORT_NUMBER_TWO_BYTES ? 5 : 4);
}

// Writes head, command and length; returns where the payload goes.
BYTE* WriteFrameStart(BYTE* at, BYTE command, DWORD payloadLength) {
  *at++ = PACKAGE_HEAD;
  *at++ = command;
  return at + EncodeShortNumber(static_cast<WORD>(payloadLength), at);
}

}  // namespace

DWORD EncodeShortNumber(WORD value, BYTE out[2]) {
  if (value < SHORT_NUMBER_TWO_BYTES) {
    out[0] = static_cast<BYTE>(value);
    return 1;
  }
  out[0] = static_cast<BYTE>((value >> 8) | 0xC0);
  out[1] = static_cast<BYTE>(value & 0xFF);
  return 2;
}

BOOL PushPackage(CPackageList& list, BYTE command, const BYTE* payload, DWORD length) {
  // No package is larger than a chunk; refusing here also keeps the framed size from wrapping.
  if (length > PACKAGE_CHUNK_BYTES || (length && !payload)) return FALSE;
  BYTE* at = list.Append(FramedSize(length));
  if (!at) return FALSE;
  at = WriteFrameStart(at, command, length);
  if (length) std::memcpy(at, payload, length);
  at[length] = PACKAGE_TAIL;
  return TRUE;
}

BOOL PushNumber(CPackageList& list, BYTE command, WORD value) {
  BYTE number[2];
  DWORD n = EncodeShortNumber(value, number);
  return PushPackage(list, command, number, n);
}

BOOL PushPrintLinesPackage(CPackageList& list, WORD offset, const BYTE* bytes, DWORD byteCount, WORD repeat) {
  BYTE prefix[4];
  DWORD prefixLength = EncodeShortNumber(repeat, prefix);
  prefixLength += EncodeShortNumber(offset, prefix + prefixLength);
  if (byteCount > PACKAGE_CHUNK_BYTES || (byteCount && !bytes)) return FALSE;
  const DWORD payloadLength = prefixLength + byteCount;
  BYTE* at = list.Append(FramedSize(payloadLength));
  if (!at) return FALSE;
  at = WriteFrameStart(at, CMD_PRINT_LINES, payloadLength);
  std::memcpy(at, prefix, prefixLength);
  if (byteCount) std::memcpy(at + prefixLength, bytes, byteCount);
  at[payloadLength] = PACKAGE_TAIL;
  return TRUE;
}
