// One line of PAPPL's state file: a directive and its name="value" pairs, a value escaping '"'
// and '\' with '\' (PAPPL's own format, which its loader reads with cupsParseOptions). A
// control character, which PAPPL would write raw (a newline would start a line of its own), is
// written as '\' and three octal digits, so that every value stays on its line and reads back
// whole here; such values are refused where clients give them, so PAPPL never meets one.
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

// PAPPL's loader reads a line of its state into 2048 bytes and takes what does not fit as the
// next line: a longer line would let a value (a job's name) write lines of its own.
constexpr size_t kStateLineBytes = 2000;

// Shortens the values named, the first before the next, each at a character's boundary, until
// the formatted line fits in `bytes`. False when it cannot fit.
bool FitStateLine(StateLine* line, const std::vector<std::string>& shortenable,
                  size_t bytes = kStateLineBytes);

// The length of `text` cut to at most `size` bytes without splitting a UTF-8 character.
size_t CharacterBoundary(const std::string& text, size_t size);

// The text with each control character turned into a space.
std::string WithoutControls(const char* text);

// A whole number of the line (0 when absent or not a number).
int StateInt(const std::string* text);

// A state text as lines and back (each line ended by a newline).
std::vector<std::string> SplitLines(const std::string& text);
std::string JoinLines(const std::vector<std::string>& lines);

// A file's whole text; false when it cannot be read.
bool ReadTextFile(const std::string& path, std::string* text);

}  // namespace qxapp
