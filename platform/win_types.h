// The one door to the host platform's types and services. On Windows they come from the SDK;
// elsewhere from our own declarations with the same names, layouts and meanings.
#pragma once

#if defined(_WIN32)
// The POSIX declarations bring the fixed-width integer types along; so must this side.
#include <cstddef>
#include <cstdint>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// winddi.h needs the base types from windows.h; the DirectDraw headers it pulls in come from
// platform/windows/ where the toolchain lacks them.
#include <winddi.h>
#include <winspool.h>
// Wide string literal in the platform's 16-bit WCHAR.
#define WSTR(s) L##s
#else
#include "posix/win_services.h"
#define WSTR(s) u##s
#endif

static_assert(sizeof(WCHAR) == 2, "trace text and printer-data names are 16-bit");
