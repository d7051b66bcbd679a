// One line of PAPPL's state file: a directive and its name="value" pairs, a value escaping '"'
// and '\' with '\' (PAPPL's own format, which its loader reads with cupsParseOptions).
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qxapp {

struct StateLine {
  std::string directive;
  std::vector<std::pair<std::string, std::string>> pairs;
  bool parsed = false;  // false when the line ends inside a pair (cut short, say)

  const std::string* Find(const std::string& name) const;
  void Set(const std::string& name, std::string value);
  void Erase(const std::string& name);
};

StateLine ParseStateLine(const std::string& line);
std::string FormatStateLine(const StateLine& line);

// A whole number of the line (0 when absent or not a number).
int StateInt(const std::string* text);

// A state text as lines and back (each line ended by a newline).
std::vector<std::string> SplitLines(const std::string& text);
std::string JoinLines(const std::vector<std::string>& lines);

// A file's whole text; false when it cannot be read.
bool ReadTextFile(const std::string& path, std::string* text);

}  // namespace qxapp
