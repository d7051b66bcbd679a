// Writers of framed packages: head, command, short-number length, payload, tail.
#pragma once

#include "stream/commands.h"
#include "stream/package_list.h"

// Encodes `value` (at most 0x3FFF) as a short number; returns the 1 or 2 bytes written.
DWORD EncodeShortNumber(WORD value, BYTE out[2]);

BOOL PushPackage(CPackageList& list, BYTE command, const BYTE* payload, DWORD length);
// One package whose payload is `value` as a short number.
BOOL PushNumber(CPackageList& list, BYTE command, WORD value);
// One CMD_PRINT_LINES package: repeat count minus one, offset of the first data byte, data.
BOOL PushPrintLinesPackage(CPackageList& list, WORD offset, const BYTE* bytes, DWORD byteCount, WORD repeat);
