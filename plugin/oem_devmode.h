// The plug-in's private section of the device mode: the standard 12-byte header with the
// plug-in's signature and version, and no settings of its own.
#pragma once

#include "platform/printoem_com.h"

// "QXVN" in memory, least significant byte first.
constexpr DWORD OEM_SIGNATURE = 0x4E565851;
constexpr DWORD OEM_VERSION = 1;
constexpr DWORD OEM_DEVMODE_SIZE = sizeof(OEM_DMEXTRAHEADER);
static_assert(OEM_DEVMODE_SIZE == 12);

// Writes the default section into `out`; its size, or 0 (traced) for a missing argument.
DWORD fill_default_oemdev(const DEVMODEW* publicIn, OEM_DMEXTRAHEADER* out);

// Takes over a section of the plug-in's kind from `in`, or writes the default one; the bytes
// taken over, or 0 (traced) for a missing argument.
DWORD convert_devmode(const DEVMODEW* publicIn, const OEM_DMEXTRAHEADER* in, OEM_DMEXTRAHEADER* out);

// The DevMode method: sizes, defaults, converts or merges the section.
HRESULT oem_devmode(DWORD dwMode, POEMDMPARAM pOemDMParam);
