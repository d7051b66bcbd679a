#include "tests/driver/driver_check.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#include "common/media/label_sizes.h"

namespace qxdriver {
namespace {

using Problems = std::vector<std::string>;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  size_t e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// ---- GPD: entries "*Keyword: value", each optionally followed by a { } block of entries.

struct Entry {
  std::string keyword;
  std::string value;
  int line = 0;
  std::vector<std::unique_ptr<Entry>> children;
};

// Parses `text` into `root`, noting unbalanced braces and quotes.
void ParseGpd(const std::string& text, Entry& root, Problems& problems) {
  std::vector<Entry*> open{&root};
  Entry* last = nullptr;
  int number = 0;
  for (const std::string& raw : Lines(text)) {
    ++number;
    std::string line;
    bool quoted = false;
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '"') quoted = !quoted;
      if (!quoted && raw.compare(i, 2, "*%") == 0) break;
      line.push_back(raw[i]);
    }
    if (quoted) problems.push_back("qxvn.gpd:" + std::to_string(number) + ": a quote is not closed");
    std::string pending = Trim(line);
    while (!pending.empty()) {
      if (pending[0] == '{') {
        if (!last) {
          problems.push_back("qxvn.gpd:" + std::to_string(number) + ": '{' without an entry before it");
          last = open.back();
        }
        open.push_back(last);
        last = nullptr;
        pending = Trim(pending.substr(1));
      } else if (pending[0] == '}') {
        if (open.size() == 1)
          problems.push_back("qxvn.gpd:" + std::to_string(number) + ": '}' closes nothing");
        else
          open.pop_back();
        last = nullptr;
        pending = Trim(pending.substr(1));
      } else if (pending[0] == '*') {
        // The entry runs to a brace outside quotes or to the end of the line.
        size_t end = 0;
        bool inQuote = false;
        for (; end < pending.size(); ++end) {
          if (pending[end] == '"') inQuote = !inQuote;
          if (!inQuote && (pending[end] == '{' || pending[end] == '}')) break;
        }
        std::string body = pending.substr(1, end - 1);
        auto entry = std::make_unique<Entry>();
        size_t colon = body.find(':');
        entry->keyword = Trim(body.substr(0, colon));
        entry->value = colon == std::string::npos ? "" : Trim(body.substr(colon + 1));
        entry->line = number;
        last = entry.get();
        open.back()->children.push_back(std::move(entry));
        pending = Trim(pending.substr(end));
      } else {
        problems.push_back("qxvn.gpd:" + std::to_string(number) + ": text outside an entry: " + pending);
        break;
      }
    }
  }
  if (open.size() > 1)
    problems.push_back("qxvn.gpd: " + std::to_string(open.size() - 1) +
                       " brace(s) not closed; the last open block is *" + open.back()->keyword + " of line " +
                       std::to_string(open.back()->line));
}

std::vector<const Entry*> All(const Entry& parent, const std::string& keyword) {
  std::vector<const Entry*> out;
  for (const auto& c : parent.children)
    if (c->keyword == keyword) out.push_back(c.get());
  return out;
}

const Entry* First(const Entry& parent, const std::string& keyword) {
  auto all = All(parent, keyword);
  return all.empty() ? nullptr : all.front();
}

std::string ValueOf(const Entry& parent, const std::string& keyword) {
  const Entry* e = First(parent, keyword);
  return e ? e->value : "";
}

// "PAIR(a, b)" as two numbers, or false.
bool Pair(const std::string& text, long* a, long* b) {
  static const std::regex pair(R"(PAIR\(\s*(-?\d+)\s*,\s*(-?\d+)\s*\))");
  std::smatch m;
  if (!std::regex_match(text, m, pair)) return false;
  *a = std::stol(m[1]);
  *b = std::stol(m[2]);
  return true;
}

long Number(const std::string& text, long otherwise) {
  static const std::regex number(R"(-?\d+)");
  return std::regex_match(text, number) ? std::stol(text) : otherwise;
}

const Entry* Feature(const Entry& root, const std::string& name) {
  for (const Entry* f : All(root, "Feature"))
    if (f->value == name) return f;
  return nullptr;
}

// The plug-in's own rounding of millimetres to dots.
long Dots(int mm) { return static_cast<long>(mm * 300 / 25.4 + 0.5); }

void CheckGpd(const Entry& root, Problems& problems) {
  auto fault = [&](const std::string& text) { problems.push_back("qxvn.gpd: " + text); };
  long x = 0, y = 0;
  if (!Pair(ValueOf(root, "MasterUnits"), &x, &y) || x != qxvn::kDotsPerInch || y != qxvn::kDotsPerInch)
    fault("*MasterUnits must be PAIR(300, 300)");

  for (const Entry* f : All(root, "Feature")) {
    const std::string def = ValueOf(*f, "DefaultOption");
    bool found = false;
    for (const Entry* o : All(*f, "Option")) found = found || o->value == def;
    if (!found)
      fault("feature " + f->value + " names the default option '" + def + "', which it does not have");
  }

  const Entry* resolution = Feature(root, "Resolution");
  if (!resolution || All(*resolution, "Option").empty()) fault("no Resolution feature with an option");
  if (resolution)
    for (const Entry* o : All(*resolution, "Option"))
      if (!Pair(ValueOf(*o, "DPI"), &x, &y) || x != 300 || y != 300)
        fault("resolution option " + o->value + " is not *DPI: PAIR(300, 300)");

  const Entry* colour = Feature(root, "ColorMode");
  std::set<std::pair<long, long>> modes;
  if (!colour) fault("no ColorMode feature");
  if (colour) {
    auto options = All(*colour, "Option");
    for (const Entry* o : options) {
      modes.insert({Number(ValueOf(*o, "DrvBPP"), -1), Number(ValueOf(*o, "IPCallbackID"), -1)});
      if (Number(ValueOf(*o, "DevBPP"), -1) != 0 || Number(ValueOf(*o, "DevNumOfPlanes"), -1) != 0)
        fault("colour mode " + o->value + " must have *DevBPP: 0 and *DevNumOfPlanes: 0");
    }
    // The band formats the plug-in's ImageProcessing is documented to receive are 1, 8 and 24
    // bits; 24 is the one it takes.
    if (options.size() != 1 || modes != std::set<std::pair<long, long>>{{24, 5}})
      fault("the colour mode must be one: *DrvBPP 24 with *IPCallbackID 5");
  }

  // Commands the driver requires of every printer description, empty here.
  for (const char* name : {"CmdCR", "CmdLF", "CmdFF", "CmdSendBlockData"}) {
    bool found = false;
    for (const Entry* c : All(root, "Command"))
      found = found || (c->value == name && First(*c, "Cmd") != nullptr);
    if (!found) fault(std::string("the required command *Command: ") + name + " { *Cmd: \"\" } is missing");
  }

  // Standard display names are strings of the system's resource library, which must be named.
  bool standardNames = false;
  std::vector<const Entry*> names{&root};
  while (!names.empty() && !standardNames) {
    const Entry* e = names.back();
    names.pop_back();
    standardNames = e->keyword == "rcNameID" && !e->value.empty() && e->value[0] == '=';
    for (const auto& c : e->children) names.push_back(c.get());
  }
  if (standardNames && Lower(ValueOf(root, "ResourceDLL")) != "\"unires.dll\"")
    fault("standard display names (=..._DISPLAY) are used without *ResourceDLL: \"unires.dll\"");

  const Entry* paper = Feature(root, "PaperSize");
  if (!paper) fault("no PaperSize feature");
  if (paper) {
    std::multiset<std::pair<long, long>> listed;
    bool custom = false;
    for (const Entry* o : All(*paper, "Option")) {
      if (o->value == "CUSTOMSIZE") {
        custom = true;
        long minX = 0, minY = 0;
        if (!Pair(ValueOf(*o, "MaxSize"), &x, &y) || x != qxvn::kHeadDots ||
            y != Dots(qxvn::kCustomMaxLengthMm) ||
            Number(ValueOf(*o, "MaxPrintableWidth"), -1) != qxvn::kHeadDots)
          fault("the custom size must reach the head's 576 dots (*MaxSize, *MaxPrintableWidth) and " +
                std::to_string(qxvn::kCustomMaxLengthMm) + " mm");
        if (!Pair(ValueOf(*o, "MinSize"), &minX, &minY) || minX != Dots(qxvn::kCustomMinMm) ||
            minY != Dots(qxvn::kCustomMinMm))
          fault("the custom size's *MinSize must be " + std::to_string(qxvn::kCustomMinMm) + " mm square");
        continue;
      }
      long pw = 0, ph = 0, aw = 0, ah = 0;
      if (!Pair(ValueOf(*o, "PageDimensions"), &pw, &ph) || !Pair(ValueOf(*o, "PrintableArea"), &aw, &ah)) {
        fault("paper " + o->value + " lacks *PageDimensions or *PrintableArea");
        continue;
      }
      if (pw > qxvn::kHeadDots || aw > qxvn::kHeadDots)
        fault("paper " + o->value + " is " + std::to_string(std::max(pw, aw)) +
              " dots wide, wider than the 576-dot head");
      if (ValueOf(*o, "Name").empty() && ValueOf(*o, "rcNameID").empty())
        fault("paper " + o->value + " has no name");
      listed.insert({pw, ph});
    }
    std::multiset<std::pair<long, long>> expected;
    for (const qxvn::LabelSize& s : qxvn::kLabelSizes) expected.insert({Dots(s.widthMm), Dots(s.heightMm)});
    if (listed != expected) fault("the paper sizes are not the label sizes of common/media/label_sizes.h");
    if (!custom) fault("no CUSTOMSIZE paper option");
  }

  // No command may put bytes of its own into the stream the plug-in writes.
  std::vector<const Entry*> stack{&root};
  while (!stack.empty()) {
    const Entry* e = stack.back();
    stack.pop_back();
    if (e->keyword == "Cmd" && e->value != "\"\"")
      fault("line " + std::to_string(e->line) + ": a command that sends bytes: " + e->value);
    for (const auto& c : e->children) stack.push_back(c.get());
  }
}

// ---- INF: [sections] of "key=value" or plain lines.

struct InfLine {
  std::string key;  // lower case; empty for a plain line
  std::string value;
};
using Inf = std::map<std::string, std::vector<InfLine>>;  // by lower-case section name

Inf ParseInf(const std::string& text) {
  Inf inf;
  std::vector<InfLine>* section = nullptr;
  for (const std::string& raw : Lines(text)) {
    std::string line;
    bool quoted = false;
    for (char c : raw) {
      if (c == '"') quoted = !quoted;
      if (!quoted && c == ';') break;
      line.push_back(c);
    }
    line = Trim(line);
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']') {
      section = &inf[Lower(line.substr(1, line.size() - 2))];
      continue;
    }
    if (!section) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos)
      section->push_back({"", line});
    else
      section->push_back({Lower(Trim(line.substr(0, eq))), Trim(line.substr(eq + 1))});
  }
  return inf;
}

std::string Get(const Inf& inf, const std::string& section, const std::string& key) {
  auto it = inf.find(section);
  if (it == inf.end()) return "";
  for (const InfLine& l : it->second)
    if (l.key == key) return l.value;
  return "";
}

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) out.push_back(Trim(item));
  return out;
}

std::string Unquoted(std::string s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

// Files the system's NTPRINT.INF brings with UNIDRV.OEM rather than the package.
bool IsSystemFile(const std::string& name) {
  static const std::set<std::string> system{"unidrv.dll", "unidrvui.dll", "unidrv.hlp", "unires.dll",
                                            "stdnames.gpd"};
  return system.count(Lower(name)) != 0;
}

// The plug-in configuration file: comments start with '#', "KEY=VALUE" has no space around '=',
// and every plug-in it names (OEMDriverFile1..n, OEMConfigFile1..n) is installed too.
template <typename Fault>
void CheckPluginIni(const std::string& name, const std::string& text, const std::set<std::string>& copied,
                    Fault fault) {
  int number = 0;
  for (const std::string& raw : Lines(text)) {
    ++number;
    const std::string line = Trim(raw);
    if (!line.empty() && line[0] == ';')
      fault(name + ":" + std::to_string(number) + ": comments start with '#', not ';'");
    const size_t eq = line.find('=');
    if (!line.empty() && line[0] != '#' && eq != std::string::npos &&
        ((eq > 0 && std::isspace(static_cast<unsigned char>(line[eq - 1]))) ||
         (eq + 1 < line.size() && std::isspace(static_cast<unsigned char>(line[eq + 1])))))
      fault(name + ":" + std::to_string(number) + ": no space may stand around '='");
  }
  Inf ini = ParseInf(text);
  if (Get(ini, "oemfiles", "oemdriverfile1").empty())
    fault(name + " names no rendering plug-in (OEMDriverFile1 in [OEMFiles])");
  for (const std::string kind : {"oemdriverfile", "oemconfigfile"}) {
    for (int n = 1;; ++n) {
      const std::string plugin = Get(ini, "oemfiles", kind + std::to_string(n));
      if (plugin.empty()) break;
      if (!copied.count(Lower(plugin)))
        fault(name + " names the plug-in " + plugin + ", which is not installed");
    }
  }
}

void CheckInf(const std::string& infName, const Inf& inf, const Entry& gpd,
              const std::set<std::string>& present, const std::map<std::string, std::string>& byLowerName,
              Problems& problems) {
  auto fault = [&](const std::string& text) { problems.push_back(infName + ": " + text); };
  auto has = [&](const std::string& name) { return present.count(Lower(name)) != 0; };
  if (Unquoted(Get(inf, "version", "signature")) != "$Windows NT$")
    fault("[Version] Signature must be \"$Windows NT$\"");
  if (Lower(Get(inf, "version", "class")) != "printer") fault("[Version] Class must be Printer");
  if (Lower(Get(inf, "version", "classguid")) != "{4d36e979-e325-11ce-bfc1-08002be10318}")
    fault("[Version] ClassGUID is not the printer class");
  // Signing names the catalog from this line; an installer refuses a package without one.
  const std::string catalog = Lower(Unquoted(Get(inf, "version", "catalogfile")));
  if (catalog.size() < 5 || catalog.substr(catalog.size() - 4) != ".cat" ||
      catalog.find_first_of("\\/") != std::string::npos)
    fault("[Version] has no CatalogFile=NAME.cat line, which signing needs");

  for (const auto& [name, lines] : inf)
    for (const InfLine& l : lines)
      for (std::string text : {l.key, l.value}) {
        static const std::regex token("%([^%]+)%");
        for (std::sregex_iterator m(text.begin(), text.end(), token), end; m != end; ++m)
          if (Get(inf, "strings", Lower((*m)[1])).empty())
            fault("[" + name + "] uses %" + (*m)[1].str() + "%, which [Strings] does not define");
      }

  std::set<std::string> sourceFiles;
  if (auto it = inf.find("sourcedisksfiles.amd64"); it != inf.end())
    for (const InfLine& l : it->second) sourceFiles.insert(Lower(l.key.empty() ? l.value : l.key));
  else
    fault("no [SourceDisksFiles.amd64] section");
  for (const std::string& f : sourceFiles)
    if (!has(f)) fault("[SourceDisksFiles.amd64] names " + f + ", which the package does not hold");

  auto manufacturer = inf.find("manufacturer");
  int models = 0;
  if (manufacturer == inf.end()) fault("no [Manufacturer] section");
  for (const InfLine& maker : manufacturer == inf.end() ? std::vector<InfLine>{} : manufacturer->second) {
    std::vector<std::string> parts = Split(maker.value);
    if (parts.size() < 2 || Lower(parts[1]) != "ntamd64") {
      fault("the manufacturer " + maker.value + " is not decorated for x64 (NTamd64)");
      continue;
    }
    auto list = inf.find(Lower(parts[0]) + ".ntamd64");
    if (list == inf.end()) {
      fault("no models section [" + parts[0] + ".NTamd64]");
      continue;
    }
    for (const InfLine& model : list->second) {
      ++models;
      const std::string modelName = Unquoted(model.key);
      if (Lower(modelName) != Lower(Unquoted(ValueOf(gpd, "ModelName"))))
        fault("the model " + modelName + " is not the printer description's *ModelName");
      const std::string install = Lower(Split(model.value).front());
      auto section = inf.find(install);
      if (section == inf.end()) {
        fault("the model's install section [" + install + "] is missing");
        continue;
      }
      const std::string data = Get(inf, install, "datafile");
      if (Lower(data) != Lower(Unquoted(ValueOf(gpd, "GPDFileName"))))
        fault("DataFile " + data + " is not the printer description's *GPDFileName");
      if (Lower(Get(inf, install, "needs")) != "unidrv.oem" ||
          Lower(Get(inf, install, "include")) != "ntprint.inf")
        fault("[" + install +
              "] must have Include=NTPRINT.INF and Needs=UNIDRV.OEM for the driver's own files");
      std::set<std::string> copied;
      for (const std::string& copy : Split(Get(inf, install, "copyfiles"))) {
        if (copy.empty() || copy[0] == '@') {
          if (!copy.empty()) copied.insert(Lower(copy.substr(1)));
          continue;
        }
        auto files = inf.find(Lower(copy));
        if (files == inf.end()) {
          fault("CopyFiles names the section [" + copy + "], which is missing");
          continue;
        }
        for (const InfLine& f : files->second) copied.insert(Lower(f.key.empty() ? f.value : f.key));
      }
      for (const char* key : {"datafile", "driverfile", "configfile", "helpfile"}) {
        const std::string file = Get(inf, install, key);
        if (!file.empty() && !IsSystemFile(file) && !copied.count(Lower(file)))
          fault(std::string(key) + " " + file + " is not among the files copied");
      }
      for (const std::string& f : copied) {
        if (!has(f)) fault("the package does not hold " + f + ", which the INF copies");
        if (!sourceFiles.count(f)) fault(f + " is copied but not in [SourceDisksFiles.amd64]");
        if (Lower(std::filesystem::path(f).extension().string()) != ".ini" || !has(f)) continue;
        CheckPluginIni(f, byLowerName.at(f), copied, fault);
      }
    }
  }
  if (models == 0) fault("no printer model for x64");
}

std::string Utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// Every binary of the package carries a version resource whose file version is the INF's
// DriverVer version. A file of a few bytes stands in for a binary in the source tree's tests.
void CheckVersions(const std::map<std::string, std::string>& files, const Inf& inf, Problems& problems) {
  const std::vector<std::string> driverVer = Split(Get(inf, "version", "driverver"));
  const std::string version = driverVer.size() == 2 ? driverVer[1] : "";
  for (const auto& [name, bytes] : files) {
    const std::string ext = Lower(std::filesystem::path(name).extension().string());
    if ((ext != ".dll" && ext != ".exe") || bytes.size() < 1024) continue;
    const size_t info = bytes.find(Utf16("VS_VERSION_INFO"));
    const size_t field = info == std::string::npos ? info : bytes.find(Utf16("FileVersion"), info);
    if (field == std::string::npos) {
      problems.push_back(name + " has no version resource");
      continue;
    }
    const size_t value = bytes.find(Utf16(version) + std::string(2, '\0'), field);
    if (version.empty() || value == std::string::npos || value > field + 64)
      problems.push_back(name + ": its file version is not the INF's DriverVer version " + version);
  }
}

// The install scripts name the driver and the catalog themselves: they must be the package's.
void CheckScripts(const std::map<std::string, std::string>& byLower, const Entry& gpd, const Inf& inf,
                  Problems& problems) {
  const std::string model = Unquoted(ValueOf(gpd, "ModelName"));
  const std::string catalog = Unquoted(Get(inf, "version", "catalogfile"));
  for (const char* script : {"install.ps1", "uninstall.ps1"}) {
    auto it = byLower.find(script);
    if (it == byLower.end()) continue;
    auto assigned = [&](const std::string& variable) -> std::optional<std::string> {
      const std::regex line("\\$" + variable + R"(\s*=\s*'([^']*)')");
      std::smatch m;
      if (!std::regex_search(it->second, m, line)) return std::nullopt;
      return m[1].str();
    };
    const std::optional<std::string> driver = assigned("DriverName");
    if (!driver || *driver != model)
      problems.push_back(std::string(script) + ": $DriverName is not the model's name \"" + model + "\"");
    if (std::string(script) == "install.ps1") {
      const std::optional<std::string> cat = assigned("CatalogName");
      if (!cat || Lower(*cat) != Lower(catalog))
        problems.push_back(std::string(script) + ": $CatalogName is not the INF's CatalogFile " + catalog);
    }
  }
}

}  // namespace

std::vector<std::string> CheckDriverPackage(const std::map<std::string, std::string>& files) {
  Problems problems;
  std::set<std::string> present;
  std::map<std::string, std::string> byLower;
  std::string infName;
  std::string gpdName;
  for (const auto& [name, text] : files) {
    present.insert(Lower(name));
    byLower[Lower(name)] = text;
    const std::string ext = Lower(std::filesystem::path(name).extension().string());
    if (ext == ".inf") infName = name;
    if (ext == ".gpd") gpdName = name;
  }
  if (infName.empty() || gpdName.empty()) return {"the package has no .inf or no .gpd file"};
  Entry gpd;
  ParseGpd(files.at(gpdName), gpd, problems);
  CheckGpd(gpd, problems);
  const Inf inf = ParseInf(files.at(infName));
  CheckInf(infName, inf, gpd, present, byLower, problems);
  CheckScripts(byLower, gpd, inf, problems);
  CheckVersions(files, inf, problems);
  return problems;
}

std::map<std::string, std::string> ReadFolder(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    files[entry.path().filename().string()] = text.str();
  }
  return files;
}

}  // namespace qxdriver
