#include "printer_app/state_line.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qxapp {

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
      if (c == '"' || c == '\\') text += '\\';
      text += c;
    }
    text += '"';
  }
  return text;
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
