// The label settings page's controls: one row a setting of the shared table, in its order.
// Settings with named values are drop-down lists whose first item means "not stored"; the
// others are edit boxes, empty for "not stored".
#pragma once

inline constexpr int kPageStatusId = 999;       // the line that says why Apply was refused
inline constexpr int kPageFirstValueId = 1000;  // + the setting's index in the table

constexpr int PageValueId(int settingIndex) { return kPageFirstValueId + settingIndex; }
