// The label settings the plug-in reads from a printer's data: their ranges, units and meanings,
// and what the plug-in makes of a stored value. Knows nothing of the spooler, so that the rules
// are the same wherever the values come from.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/printerdata/reg_file.h"
#include "settings/label_settings.h"

namespace qxvnconf {

using qxlabel::kLargestMillimetres;
using qxlabel::Setting;
using qxlabel::Unit;

// Every value the plug-in reads, in the order it reads them (the shared table).
inline std::span<const Setting> Settings() { return qxlabel::LabelSettings(); }
// The setting of that name (letter case aside, as the registry compares names), or null.
inline const Setting* FindSetting(std::u16string_view name) { return qxlabel::FindLabelSetting(name); }

// What the plug-in does with the stored value of one setting, given all the printer's values.
enum class Outcome { Taken, Absent, Ignored };
struct Verdict {
  Outcome outcome = Outcome::Absent;
  std::string text;  // one line: what the plug-in makes of it
};
Verdict Judge(const Setting& setting, std::span<const qxvn::RegValue> values);

// Why the plug-in would not use `value` for `setting` as meant (wrong type or size, out of
// range, a size that wraps), or nothing when it would.
std::optional<std::string> Refusal(const Setting& setting, const qxvn::RegValue& value);

// "NAME=VALUE" with VALUE decimal or 0x hexadecimal, a 32-bit REG_DWORD. Throws UsageError.
qxvn::RegValue ParseAssignment(std::string_view argument);

// The changes a list of values makes, later values of a name (letter case aside) replacing
// earlier ones. Unless `force`, throws ToolError naming the first value the plug-in would not
// use ("FILE:LINE: NAME: ..." when the value came from a file, else "NAME: ..."), an unknown
// name, or a label wider than the head once the changes are made to the printer's `current`
// values.
std::vector<qxvn::RegValue> PlanChanges(std::vector<qxvn::RegValue> values, bool force,
                                        const std::string& fileName,
                                        std::span<const qxvn::RegValue> current = {});

// The table that `show` prints: every setting with its stored value, range, unit and verdict,
// then the printer's other values.
std::string ShowTable(const std::string& printer, std::span<const qxvn::RegValue> values);
// Every setting with its range, unit and meaning, for --help.
std::string SettingsHelp();

// How a stored value reads to a person: "100", "0x64", "REG_SZ "text"", "REG_BINARY 3 bytes".
std::string DescribeStored(const qxvn::RegValue& value);

}  // namespace qxvnconf
