// Which connected printers are ours: the IEEE 1284 device ID the driver announces, and the match
// PAPPL asks for when a printer is added with the driver "auto" (the `autoadd` sub-command).
#pragma once

namespace qxapp {

inline constexpr const char* kDeviceId = "MFG:QXVN;MDL:Label Printer;CMD:QXVN;";

// True for a device ID of the maker QXVN that either speaks the QXVN command set or is the
// Label Printer model. Keys are matched in their short and long forms (MFG or MANUFACTURER,
// MDL or MODEL, CMD or COMMAND SET), values case-insensitively.
bool IsLabelPrinterId(const char* deviceId);

// PAPPL's auto-add callback: the driver for that device, or nullptr when it is not ours.
const char* AutoAddDriver(const char* deviceInfo, const char* deviceUri, const char* deviceId, void* data);

}  // namespace qxapp
