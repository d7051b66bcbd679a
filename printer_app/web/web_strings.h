// The web pages' strings files (printer_app/*.strings), built into the app.
#pragma once

namespace qxapp {

extern const char* const kEnglishStrings;

}  // namespace qxapp
