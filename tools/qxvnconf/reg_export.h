// Writes printer data values as a registry export that regedit imports and that the .reg
// reader of qxvn and qxvnconf reads back to the same values.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/printerdata/reg_file.h"

namespace qxvnconf {

// UTF-16LE with a byte order mark and CR LF line ends, as regedit writes: the header, the
// printer's data key, then one line per value (long hex data wrapped with '\').
std::vector<uint8_t> ExportRegFile(const std::u16string& printer, std::span<const qxvn::RegValue> values);

}  // namespace qxvnconf
