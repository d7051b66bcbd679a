// The host services behind the plug-in under Wine: printers, their data and jobs in the real
// spooler, with the stand-in host's control functions (host_services.h) carried out on it, and
// the few imports of the plug-in that the harness has to answer itself.
#pragma once

#include <windows.h>

#include <string>

namespace qxwin {

// Installs the printer driver that the harness's printers use, if it is missing, and removes
// printers that earlier runs left behind. False with the reason in `error`.
bool PrepareSpooler(std::string* error);

// Adds a printer of that name on the harness's driver, or on another maker's driver
// (replacing one left behind), or removes it. False with the reason in `error`.
bool AddPrinter(const std::wstring& printer, std::string* error, bool otherDriver = false);
bool DeleteNamedPrinter(const std::wstring& printer, std::string* error);
// Prints from now on go to this existing printer, with the data it holds, and leave it
// installed; the case's own printer values are added to it.
void UseExistingPrinter(const std::wstring& printer);

// Rebinds the plug-in's imports of GetJobW and of the engine's palette functions (see
// spooler.cpp for why). False with the reason in `error`.
bool BindPluginImports(HMODULE plugin, std::string* error);

// The first spooler call that failed behind the control functions, which report nothing
// themselves; empty when all went well.
const std::string& SpoolerError();

// UTF-8 and UTF-16 for the Windows side.
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);

}  // namespace qxwin
