// The words a user reads about a checked symbol: one line for `qxvn print --verify`, the job's
// log and its state message.
#pragma once

#include <string>

#include "common/barcode/symbol.h"

namespace qxvn::barcode {

// The symbol's format and data, at most 40 characters of it, unprintable bytes as \xNN:
// `Code128 "PARCEL-0042"`.
std::string SymbolName(const Symbol& symbol);

// `page 1: Code128 "PARCEL-0042" at 40,610 486x120 dots: grade B (decodability), X 0.25 mm
// (2.9 dots), repaired, passed`; a failed one ends `FAILED: not read from the printed dots`.
std::string CheckLine(const PageCheck& page, const SymbolCheck& check);

}  // namespace qxvn::barcode
