// The "Label settings" page of the printer's Properties: one row a setting of the shared table,
// showing the printer's stored values; Apply checks every row and stores them all as REG_DWORD
// printer data, or nothing, saying why on the page.
#pragma once

#include "uiplugin/oem_ui_interface.h"

// Hands the page to the driver's property sheet (through its callback) for the printer that
// `param` names; the page's state is kept in info.UserData. False when the sheet refused it.
bool AddSettingsPage(PROPSHEETUI_INFO& info, const OEMUIPSPARAM& param);
// Frees what AddSettingsPage kept, when the sheet is destroyed.
void FreeSettingsPage(PROPSHEETUI_INFO& info);
