#include "tests/win/case_file.h"

#include <fstream>
#include <map>
#include <sstream>

namespace qxcase {

namespace {

// Pages of at most this many pixels keep a case file's mistakes from eating the machine.
constexpr int64_t kMaxPagePixels = 4 * 1024 * 1024;

struct DdiName {
  const char* name;
  ULONG index;
};
const DdiName kDdiNames[] = {
    {"DrvBitBlt", INDEX_DrvBitBlt},           {"DrvStretchBlt", INDEX_DrvStretchBlt},
    {"DrvTextOut", INDEX_DrvTextOut},         {"DrvStrokePath", INDEX_DrvStrokePath},
    {"DrvStartPage", INDEX_DrvStartPage},     {"DrvSendPage", INDEX_DrvSendPage},
    {"DrvStartDoc", INDEX_DrvStartDoc},       {"DrvEndDoc", INDEX_DrvEndDoc},
    {"DrvNextBand", INDEX_DrvNextBand},       {"DrvStartBanding", INDEX_DrvStartBanding},
    {"DrvDitherColor", INDEX_DrvDitherColor},
};

class ParseError {
 public:
  explicit ParseError(std::string text) : m_text(std::move(text)) {}
  const std::string& Text() const { return m_text; }

 private:
  std::string m_text;
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

int64_t Number(const std::string& word, int64_t minimum, int64_t maximum) {
  size_t used = 0;
  long long value = 0;
  try {
    value = std::stoll(word, &used, 0);
  } catch (...) {
    used = 0;
  }
  if (used == 0 || used != word.size()) throw ParseError("'" + word + "' is not a number");
  if (value < minimum || value > maximum)
    throw ParseError(word + " is outside " + std::to_string(minimum) + " to " + std::to_string(maximum));
  return value;
}

uint8_t HexByte(const std::string& word) {
  if (word.size() != 2) throw ParseError("'" + word + "' is not a byte in hex");
  return static_cast<uint8_t>(Number("0x" + word, 0, 255));
}

Rgb Colour(const std::string& word) {
  static const std::map<std::string, Rgb> named = {{"white", {255, 255, 255}},
                                                   {"black", {0, 0, 0}},
                                                   {"red", {255, 0, 0}},
                                                   {"green", {0, 255, 0}},
                                                   {"blue", {0, 0, 255}}};
  if (auto it = named.find(word); it != named.end()) return it->second;
  if (word.rfind("gray:", 0) == 0) {
    auto v = static_cast<uint8_t>(Number(word.substr(5), 0, 255));
    return {v, v, v};
  }
  if (word.size() == 7 && word[0] == '#')
    return {HexByte(word.substr(1, 2)), HexByte(word.substr(3, 2)), HexByte(word.substr(5, 2))};
  throw ParseError("'" + word + "' is not a colour");
}

void NeedWords(const std::vector<std::string>& w, size_t minimum, size_t maximum) {
  if (w.size() < minimum || w.size() > maximum) throw ParseError("wrong number of words for '" + w[0] + "'");
}

DEVMODEW DevMode(const std::vector<std::string>& w) {
  NeedWords(w, 4, 10);
  DEVMODEW dm{};
  dm.dmSpecVersion = DM_SPECVERSION;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmFields = DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_COPIES | DM_COLLATE;
  dm.dmPaperSize = static_cast<SHORT>(Number(w[1], -32768, 32767));
  dm.dmPaperWidth = static_cast<SHORT>(Number(w[2], -32768, 32767));
  dm.dmPaperLength = static_cast<SHORT>(Number(w[3], -32768, 32767));
  dm.dmCopies = 1;
  dm.dmCollate = DMCOLLATE_FALSE;
  for (size_t i = 4; i < w.size(); i += 2) {
    if (i + 1 >= w.size()) throw ParseError("'" + w[i] + "' needs a value");
    if (w[i] == "copies")
      dm.dmCopies = static_cast<SHORT>(Number(w[i + 1], -32768, 32767));
    else if (w[i] == "collate")
      dm.dmCollate = static_cast<SHORT>(Number(w[i + 1], -32768, 32767));
    else if (w[i] == "fields")
      dm.dmFields = static_cast<DWORD>(Number(w[i + 1], 0, 0xFFFFFFFF));
    else
      throw ParseError("unknown device-mode option '" + w[i] + "'");
  }
  return dm;
}

// A line that starts with '#' is a comment, and so is the rest of a line from a '#' that
// stands alone as a word; "#RRGGBB" colours are words of their own.
std::string StripComment(const std::string& line) {
  size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos || line[first] == '#') return std::string();
  for (size_t i = first; i < line.size(); ++i) {
    bool alone = line[i] == '#' && (line[i - 1] == ' ' || line[i - 1] == '\t') &&
                 (i + 1 == line.size() || line[i + 1] == ' ' || line[i + 1] == '\t' || line[i + 1] == '\r');
    if (alone) return line.substr(0, i);
  }
  return line;
}

std::string RestOfLine(const std::string& line, size_t words) {
  std::istringstream in(line);
  std::string word;
  for (size_t i = 0; i < words; ++i) in >> word;
  std::string rest;
  std::getline(in, rest);
  size_t first = rest.find_first_not_of(" \t");
  size_t last = rest.find_last_not_of(" \t\r");
  return first == std::string::npos ? std::string() : rest.substr(first, last - first + 1);
}

// What a page collects until the case is complete.
struct PageDraft {
  PageCase page;
  std::vector<LONG> bandHeights;
  std::vector<int64_t> blankBands;
  std::vector<int64_t> shortBands;
  std::vector<std::pair<int64_t, DWORD>> callbacks;
  bool bottomUp = false;
};

void Fill(PageCase& page, int64_t x, int64_t y, int64_t w, int64_t h, Rgb colour) {
  if (x < 0 || y < 0 || w < 0 || h < 0 || x + w > page.width || y + h > page.height)
    throw ParseError("the rectangle leaves the page");
  for (int64_t r = y; r < y + h; ++r)
    for (int64_t c = x; c < x + w; ++c) page.canvas[static_cast<size_t>(r * page.width + c)] = colour;
}

void CutBands(PageDraft& draft, WORD bitsPerPixel) {
  PageCase& page = draft.page;
  if (draft.bandHeights.empty()) draft.bandHeights.push_back(page.height);
  LONG top = 0;
  for (size_t i = 0; top < page.height; ++i) {
    LONG rows = draft.bandHeights[i < draft.bandHeights.size() ? i : draft.bandHeights.size() - 1];
    if (rows > page.height - top) rows = page.height - top;
    BandSpec band;
    band.top = top;
    band.rows = rows;
    band.bottomUp = draft.bottomUp;
    const DWORD stride = RowStride(page.width, bitsPerPixel);
    const size_t bytesPerPixel = bitsPerPixel / 8u;
    band.pixels.assign(static_cast<size_t>(stride) * static_cast<size_t>(rows), 0);
    for (LONG r = 0; r < rows; ++r) {
      for (LONG c = 0; c < page.width; ++c) {
        const Rgb& rgb = page.canvas[static_cast<size_t>((top + r) * page.width + c)];
        uint8_t* px = &band.pixels[static_cast<size_t>(r) * stride + static_cast<size_t>(c) * bytesPerPixel];
        px[0] = rgb[2];
        px[1] = rgb[1];
        px[2] = rgb[0];
      }
    }
    page.bands.push_back(std::move(band));
    top += rows;
  }
  auto bandAt = [&](int64_t number) -> BandSpec& {
    if (number < 1 || static_cast<size_t>(number) > page.bands.size())
      throw ParseError("the page has no band " + std::to_string(number));
    return page.bands[static_cast<size_t>(number - 1)];
  };
  for (int64_t n : draft.blankBands) bandAt(n).blank = true;
  for (int64_t n : draft.shortBands) bandAt(n).shortSize = true;
  for (auto& [n, id] : draft.callbacks) bandAt(n).callbackId = id;
}

class Parser {
 public:
  Parser(std::string name) { m_case.name = std::move(name); }

  void Line(const std::string& raw) {
    if (m_inArt) {
      ArtLine(raw);
      return;
    }
    std::string line = StripComment(raw);
    std::vector<std::string> w = Split(line);
    if (w.empty()) return;
    Directive(w, line);
  }

  Case Finish() {
    if (m_inArt) throw ParseError("art without 'end'");
    FinishPage();
    return std::move(m_case);
  }

 private:
  void Directive(const std::vector<std::string>& w, const std::string& line) {
    const std::string& d = w[0];
    if (d == "job-id") {
      NeedWords(w, 2, 2);
      m_case.jobId = static_cast<DWORD>(Number(w[1], 0, 0xFFFFFFFF));
    } else if (d == "document") {
      NeedWords(w, 2, 64);
      if (w.size() == 2 && w[1] == "none")
        m_case.documentName.reset();
      else
        m_case.documentName = RestOfLine(line, 1);
    } else if (d == "devmode") {
      m_case.devMode = DevMode(w);
    } else if (d == "total-pages") {
      NeedWords(w, 2, 2);
      m_case.totalPages = static_cast<DWORD>(Number(w[1], 0, 0xFFFFFFFF));
    } else if (d == "bits") {
      NeedWords(w, 2, 2);
      int64_t bits = Number(w[1], 24, 32);
      if (bits != 24 && bits != 32) throw ParseError("bits must be 24 or 32");
      if (!m_case.pages.empty() || m_page) throw ParseError("bits must come before the first page");
      m_case.bitsPerPixel = static_cast<WORD>(bits);
    } else if (d == "printer") {
      PrinterData(w, line);
    } else if (d == "abort-in-page") {
      NeedWords(w, 2, 2);
      m_case.abortInPage = static_cast<DWORD>(Number(w[1], 1, 0xFFFFFFFF));
    } else if (d == "fail") {
      Fault(w);
    } else if (d == "page") {
      NeedWords(w, 3, 4);
      FinishPage();
      m_page.emplace();
      m_page->page.width = static_cast<LONG>(Number(w[1], 1, 1 << 16));
      m_page->page.height = static_cast<LONG>(Number(w[2], 1, 1 << 16));
      if (int64_t{m_page->page.width} * m_page->page.height > kMaxPagePixels)
        throw ParseError("the page is too large");
      Rgb background = w.size() == 4 ? Colour(w[3]) : Rgb{255, 255, 255};
      m_page->page.canvas.assign(static_cast<size_t>(m_page->page.width * m_page->page.height), background);
    } else {
      PageDirective(w);
    }
  }

  void PageDirective(const std::vector<std::string>& w) {
    const std::string& d = w[0];
    if (!m_page) throw ParseError("'" + d + "' is unknown, or needs a page first");
    PageDraft& p = *m_page;
    if (d == "page-devmode") {
      p.page.devMode = DevMode(w);
    } else if (d == "ink") {
      NeedWords(w, 3, 3);
      if (w[1].size() != 1 || w[1] == "#" || w[1] == ".")
        throw ParseError("an ink is one character, not '#' or '.'");
      m_inks[w[1][0]] = Colour(w[2]);
    } else if (d == "rect") {
      NeedWords(w, 6, 6);
      Fill(p.page, Number(w[1], 0, 1 << 16), Number(w[2], 0, 1 << 16), Number(w[3], 0, 1 << 16),
           Number(w[4], 0, 1 << 16), Colour(w[5]));
    } else if (d == "art") {
      NeedWords(w, 3, 3);
      m_artX = Number(w[1], 0, p.page.width - 1);
      m_artY = Number(w[2], 0, p.page.height - 1);
      m_inArt = true;
    } else if (d == "bands") {
      NeedWords(w, 2, 256);
      for (size_t i = 1; i < w.size(); ++i)
        p.bandHeights.push_back(static_cast<LONG>(Number(w[i], 1, 1 << 16)));
    } else if (d == "blank") {
      NeedWords(w, 2, 256);
      for (size_t i = 1; i < w.size(); ++i) p.blankBands.push_back(Number(w[i], 1, 1 << 16));
    } else if (d == "bottom-up") {
      NeedWords(w, 1, 1);
      p.bottomUp = true;
    } else if (d == "short-size") {
      NeedWords(w, 2, 2);
      p.shortBands.push_back(Number(w[1], 1, 1 << 16));
    } else if (d == "callback") {
      NeedWords(w, 3, 3);
      p.callbacks.emplace_back(Number(w[1], 1, 1 << 16), static_cast<DWORD>(Number(w[2], 0, 0xFFFFFFFF)));
    } else {
      throw ParseError("unknown directive '" + d + "'");
    }
  }

  void ArtLine(const std::string& raw) {
    std::string line = raw;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (Split(line) == std::vector<std::string>{"end"}) {
      m_inArt = false;
      return;
    }
    PageCase& page = m_page->page;
    if (m_artY >= page.height) throw ParseError("the art leaves the page at the bottom");
    for (size_t i = 0; i < line.size(); ++i) {
      auto ink = m_inks.find(line[i]);
      if (ink == m_inks.end()) throw ParseError(std::string("no ink for '") + line[i] + "'");
      if (m_artX + static_cast<int64_t>(i) >= page.width)
        throw ParseError("the art leaves the page at the right");
      page.canvas[static_cast<size_t>(m_artY * page.width + m_artX + static_cast<int64_t>(i))] = ink->second;
    }
    ++m_artY;
  }

  void PrinterData(const std::vector<std::string>& w, const std::string& line) {
    NeedWords(w, 4, 1024);
    PrinterValue value;
    value.name = w[1];
    const std::string& kind = w[2];
    if (kind == "dword") {
      NeedWords(w, 4, 4);
      auto v = static_cast<uint32_t>(Number(w[3], 0, 0xFFFFFFFF));
      value.type = REG_DWORD;
      for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<uint8_t>(v >> (8 * i)));
    } else if (kind == "sz") {
      value.type = REG_SZ;
      std::u16string text = Utf16(RestOfLine(line, 3));
      for (char16_t c : text) {
        value.data.push_back(static_cast<uint8_t>(c & 0xFF));
        value.data.push_back(static_cast<uint8_t>(c >> 8));
      }
      value.data.push_back(0);
      value.data.push_back(0);
    } else if (kind == "type") {
      value.type = static_cast<DWORD>(Number(w[3], 0, 0xFFFFFFFF));
      for (size_t i = 4; i < w.size(); ++i) value.data.push_back(HexByte(w[i]));
    } else {
      throw ParseError("unknown printer-data kind '" + kind + "'");
    }
    m_case.printerData.push_back(std::move(value));
  }

  void Fault(const std::vector<std::string>& w) {
    NeedWords(w, 2, 3);
    const std::string& f = w[1];
    if (f == "ddi") {
      NeedWords(w, 3, 3);
      ULONG index = DdiIndex(w[2]);
      if (!index) throw ParseError("unknown DDI function '" + w[2] + "'");
      m_case.faults.failingDdi.push_back(index);
    } else if (f == "spool-write") {
      NeedWords(w, 3, 3);
      m_case.faults.spoolFailFromWrite = static_cast<size_t>(Number(w[2], 1, 1 << 30));
    } else if (f == "getjob-size") {
      m_case.faults.getJobNoSize = true;
    } else if (f == "getjob-fill") {
      m_case.faults.getJobFillFails = true;
    } else if (f == "palette") {
      m_case.faults.createPaletteFails = true;
    } else {
      throw ParseError("unknown fault '" + f + "'");
    }
  }

  void FinishPage() {
    if (!m_page) return;
    CutBands(*m_page, m_case.bitsPerPixel);
    m_case.pages.push_back(std::move(m_page->page));
    m_page.reset();
    m_inks = DefaultInks();
  }

  static std::map<char, Rgb> DefaultInks() { return {{'.', {255, 255, 255}}, {'#', {0, 0, 0}}}; }

  Case m_case;
  std::optional<PageDraft> m_page;
  std::map<char, Rgb> m_inks = DefaultInks();
  bool m_inArt = false;
  int64_t m_artX = 0;
  int64_t m_artY = 0;
};

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = file.rfind('.');
  return dot == std::string::npos ? file : file.substr(0, dot);
}

}  // namespace

std::optional<Case> ParseCase(const std::string& name, const std::string& text, std::string* error) {
  Parser parser(name);
  std::istringstream in(text);
  size_t number = 0;
  try {
    for (std::string line; std::getline(in, line);) {
      ++number;
      parser.Line(line);
    }
    ++number;
    return parser.Finish();
  } catch (const ParseError& e) {
    if (error) *error = name + ": line " + std::to_string(number) + ": " + e.Text();
    return std::nullopt;
  }
}

std::optional<Case> ReadCase(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read the case file " + path;
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseCase(BaseName(path), text.str(), error);
}

DWORD RowStride(LONG width, WORD bitsPerPixel) {
  const uint64_t bytes = static_cast<uint64_t>(width < 0 ? 0 : width) * (bitsPerPixel / 8u);
  return static_cast<DWORD>((bytes + 3) & ~uint64_t{3});
}

DWORD BandSizeImage(const BandSpec& band, LONG width, WORD bitsPerPixel) {
  DWORD size = RowStride(width, bitsPerPixel) * static_cast<DWORD>(band.rows);
  return band.shortSize && size > 0 ? size - 1 : size;
}

DWORD BandCallbackId(const BandSpec& band, WORD bitsPerPixel) {
  if (band.callbackId) return *band.callbackId;
  return bitsPerPixel == 32 ? 6 : 5;
}

ULONG DdiIndex(const std::string& name) {
  for (const DdiName& d : kDdiNames)
    if (name == d.name) return d.index;
  return 0;
}

std::u16string Utf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    auto b = static_cast<unsigned char>(text[i]);
    uint32_t cp = b;
    size_t extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
    if (extra) cp = b & (0x3F >> extra);
    for (size_t k = 1; k <= extra && i + k < text.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace qxcase
