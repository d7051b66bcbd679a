// Included by the toolchain's winddi.h, missing from Debian's mingw-w64; the plug-in uses no
// Direct3D driver records (see ddrawint.h beside this file).
#pragma once
