#include "printer_app/state/state_line.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qxapp {
namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

}  // namespace

const std::string* StateLine::Find(const std::string& name) const {
  for (const auto& [key, value] : pairs)
    if (key == name) return &value;
  return nullptr;
}

void StateLine::Set(const std::string& name, std::string value) {
  for (auto& [key, old] : pairs)
    if (key == name) {
      old = std::move(value);
      return;
    }
  pairs.emplace_back(name, std::move(value));
}

void StateLine::Erase(const std::string& name) {
  std::erase_if(pairs, [&](const auto& pair) { return pair.first == name; });
}

StateLine ParseStateLine(const std::string& line) {
  StateLine out;
  size_t at = line.find(' ');
  out.directive = line.substr(0, at);
  while (at != std::string::npos && at < line.size()) {
    while (at < line.size() && line[at] == ' ') ++at;
    if (at >= line.size() || line[at] == '>') break;
    const size_t equals = line.find("=\"", at);
    if (equals == std::string::npos) return out;
    std::string name = line.substr(at, equals - at), value;
    size_t i = equals + 2;
    for (; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 3 < line.size() && IsOctal(line[i + 1]) && IsOctal(line[i + 2]) &&
          IsOctal(line[i + 3])) {
        value += static_cast<char>((line[i + 1] - '0') << 6 | (line[i + 2] - '0') << 3 | (line[i + 3] - '0'));
        i += 3;
        continue;
      }
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value += line[i];
    }
    if (i >= line.size()) return out;
    out.pairs.emplace_back(std::move(name), std::move(value));
    at = i + 1;
  }
  out.parsed = true;
  return out;
}

std::string FormatStateLine(const StateLine& line) {
  std::string text = line.directive;
  for (const auto& [name, value] : line.pairs) {
    text += " " + name + "=\"";
    for (char c : value) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7f) {
        text += '\\';
        text += static_cast<char>('0' + (byte >> 6));
        text += static_cast<char>('0' + (byte >> 3 & 7));
        text += static_cast<char>('0' + (byte & 7));
        continue;
      }
      if (c == '"' || c == '\\') text += '\\';
      text += c;
    }
    text += '"';
  }
  return text;
}

bool FitStateLine(StateLine* line, const std::vector<std::string>& shortenable, size_t bytes) {
  for (const std::string& name : shortenable) {
    for (auto& [key, value] : line->pairs) {
      if (key != name) continue;
      const size_t length = FormatStateLine(*line).size();
      if (length <= bytes) return true;
      // An escaped byte takes two or four bytes of the line: cut by the excess and check again.
      while (!value.empty() && FormatStateLine(*line).size() > bytes) {
        const size_t excess = FormatStateLine(*line).size() - bytes;
        value.resize(CharacterBoundary(value, value.size() > excess ? value.size() - excess : 0));
      }
    }
  }
  return FormatStateLine(*line).size() <= bytes;
}

size_t CharacterBoundary(const std::string& text, size_t size) {
  if (size >= text.size()) return text.size();
  while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xc0) == 0x80) --size;
  return size;
}

std::string WithoutControls(const char* text) {
  std::string out = text ? text : "";
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return out;
}

int StateInt(const std::string* text) {
  try {
    return text ? std::stoi(*text) : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

bool ReadTextFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  *text = all.str();
  return true;
}

}  // namespace qxapp
