#include "common/barcode/symbol_encoder.h"

#include <zint.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <string_view>

namespace qxvn::barcode {
namespace {

constexpr char kGroupSeparator = 0x1D;

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The GS1 modulo-10 check digit of all digits but the last, against the last.
bool Mod10CheckHolds(std::string_view digits) {
  if (!AllDigits(digits) || digits.size() < 2) return false;
  int sum = 0;
  const size_t n = digits.size() - 1;
  for (size_t i = 0; i < n; ++i) sum += (digits[n - 1 - i] - '0') * (i % 2 == 0 ? 3 : 1);
  return (10 - sum % 10) % 10 == digits[n] - '0';
}

bool Mod43CheckHolds(std::string_view text) {
  static constexpr std::string_view kCharset = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
  if (text.size() < 2) return false;
  size_t sum = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    const size_t value = kCharset.find(text[i]);
    if (value == std::string_view::npos) return false;
    sum += value;
  }
  return kCharset[sum % 43] == text.back();
}

// Digits of a GS1 application identifier by its first two digits (GS1 General Specifications,
// the AI table); 0 where no identifier starts so.
int AiDigits(int prefix) {
  if (prefix <= 22 || prefix == 30 || prefix == 37 || prefix >= 90) return 2;
  if ((prefix >= 23 && prefix <= 25) || (prefix >= 40 && prefix <= 42) || prefix == 71) return 3;
  if ((prefix >= 31 && prefix <= 36) || prefix == 39 || prefix == 43 || prefix == 70 || prefix == 72 ||
      (prefix >= 80 && prefix <= 82))
    return 4;
  return 0;
}

// Data digits of the identifiers of predefined length, by the identifier's first two digits;
// 0 for the others, whose field ends at a GS or the end.
int PredefinedLength(int prefix) {
  switch (prefix) {
    case 0:
      return 18;
    case 1:
    case 2:
    case 3:
      return 14;
    case 4:
      return 16;
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
    case 17:
    case 18:
    case 19:
      return 6;
    case 20:
      return 2;
    case 31:
    case 32:
    case 33:
    case 34:
    case 35:
    case 36:
      return 6;
    case 41:
      return 13;
    default:
      return 0;
  }
}

struct ZintSymbol {
  std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> symbol{ZBarcode_Create(), ZBarcode_Delete};
};

// zint's symbology and input for the symbol; false for a format it is not redrawn as.
bool Describe(const Symbol& symbol, zint_symbol& z, std::string& data) {
  const std::string& f = symbol.format;
  data = symbol.text;
  z.input_mode = UNICODE_MODE;
  if (symbol.Gs1()) {
    auto bracketed = Gs1Bracketed(symbol.bytes);
    if (!bracketed) return false;
    data = *bracketed;
    z.input_mode = GS1_MODE;
  } else if (f == "Code128" || f == "QRCode" || f == "DataMatrix" || f == "PDF417" || f == "Aztec") {
    data.assign(symbol.bytes.begin(), symbol.bytes.end());
    z.input_mode = DATA_MODE;
  }
  if (f == "Code128") {
    // FNC1 in the second position (]C2) is left as it is.
    if (symbol.symbologyId != "]C0" && !symbol.Gs1()) return false;
    z.symbology = symbol.Gs1() ? BARCODE_GS1_128 : BARCODE_CODE128;
  } else if (f == "EAN-13" || f == "EAN-8") {
    z.symbology = BARCODE_EANX_CHK;
  } else if (f == "UPC-A") {
    z.symbology = BARCODE_UPCA_CHK;
  } else if (f == "UPC-E") {
    z.symbology = BARCODE_UPCE_CHK;
  } else if (f == "ITF") {
    z.symbology = BARCODE_C25INTER;
  } else if (f == "Code39") {
    z.symbology = BARCODE_CODE39;
  } else if (f == "Code93") {
    z.symbology = BARCODE_CODE93;
  } else if (f == "QRCode") {
    z.symbology = BARCODE_QRCODE;
    const size_t level = std::string_view("LMQH").find(symbol.ecLevel.empty() ? 'M' : symbol.ecLevel[0]);
    if (level != std::string_view::npos) z.option_1 = static_cast<int>(level) + 1;
  } else if (f == "DataMatrix") {
    z.symbology = BARCODE_DATAMATRIX;
    // A square source stays square.
    if (std::abs(symbol.box.Width() - symbol.box.Height()) * 10 < std::max(symbol.box.Width(), 1))
      z.option_3 = DM_SQUARE;
  } else if (f == "PDF417") {
    z.symbology = BARCODE_PDF417;
    if (symbol.ecLevel.size() == 1 && symbol.ecLevel[0] >= '0' && symbol.ecLevel[0] <= '8')
      z.option_1 = symbol.ecLevel[0] - '0';
  } else if (f == "Aztec") {
    z.symbology = BARCODE_AZTEC;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int ModuleMatrix::HeightModules() const { return std::accumulate(rowModules.begin(), rowModules.end(), 0); }

bool DataProtected(const Symbol& symbol) {
  const std::string& f = symbol.format;
  if (f == "ITF") return symbol.text.size() == 14 && Mod10CheckHolds(symbol.text);
  if (f == "Code39") return Mod43CheckHolds(symbol.text);
  return f == "Code128" || f == "Code93" || f == "EAN-13" || f == "EAN-8" || f == "UPC-A" || f == "UPC-E" ||
         f == "QRCode" || f == "DataMatrix" || f == "PDF417" || f == "Aztec";
}

std::optional<std::string> Gs1Bracketed(const std::vector<uint8_t>& bytes) {
  std::string out;
  size_t i = 0;
  while (i < bytes.size()) {
    if (i + 2 > bytes.size() || !AllDigits(std::string_view(reinterpret_cast<const char*>(&bytes[i]), 2)))
      return std::nullopt;
    const int prefix = (bytes[i] - '0') * 10 + (bytes[i + 1] - '0');
    const auto aiDigits = static_cast<size_t>(AiDigits(prefix));
    if (aiDigits == 0 || i + aiDigits > bytes.size()) return std::nullopt;
    const std::string ai(bytes.begin() + static_cast<std::ptrdiff_t>(i),
                         bytes.begin() + static_cast<std::ptrdiff_t>(i + aiDigits));
    if (!AllDigits(ai)) return std::nullopt;
    i += aiDigits;
    size_t end;
    if (const int fixed = PredefinedLength(prefix)) {
      end = i + static_cast<size_t>(fixed);
      if (end > bytes.size()) return std::nullopt;
    } else {
      end = i;
      while (end < bytes.size() && bytes[end] != kGroupSeparator) ++end;
    }
    if (end == i) return std::nullopt;
    out += "[" + ai + "]";
    out.append(bytes.begin() + static_cast<std::ptrdiff_t>(i),
               bytes.begin() + static_cast<std::ptrdiff_t>(end));
    i = end;
    if (i < bytes.size() && bytes[i] == kGroupSeparator) ++i;
  }
  if (out.empty()) return std::nullopt;
  return out;
}

std::optional<ModuleMatrix> EncodeAgain(const Symbol& symbol, int columns) {
  if (!DataProtected(symbol)) return std::nullopt;
  ZintSymbol zint;
  zint_symbol& z = *zint.symbol;
  std::string data;
  if (!Describe(symbol, z, data) || data.empty()) return std::nullopt;
  if (columns > 0 && z.symbology == BARCODE_PDF417) z.option_2 = columns;
  z.warn_level = WARN_FAIL_ALL;
  if (ZBarcode_Encode(&z, reinterpret_cast<const unsigned char*>(data.data()),
                      static_cast<int>(data.size())) != 0)
    return std::nullopt;
  if (z.rows <= 0 || z.width <= 0 || z.rows > 200 || z.width > 1152) return std::nullopt;
  ModuleMatrix matrix;
  matrix.width = z.width;
  const bool linear = symbol.linear;
  const int rows = linear ? 1 : z.rows;
  const int evenRow = std::max(1, static_cast<int>(std::lround(z.height / z.rows)));
  for (int row = 0; row < rows; ++row) {
    const int height = z.row_height[row] > 0 ? static_cast<int>(std::lround(z.row_height[row])) : evenRow;
    matrix.rowModules.push_back(linear ? 1 : std::max(1, height));
    for (int column = 0; column < z.width; ++column)
      matrix.dark.push_back((z.encoded_data[row][column >> 3] >> (column & 7)) & 1);
  }
  return matrix;
}

}  // namespace qxvn::barcode
