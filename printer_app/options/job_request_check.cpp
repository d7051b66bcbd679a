#include "printer_app/options/job_request_check.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/input/document_format.h"
#include "common/media/label_sizes.h"
#include "printer_app/label_driver/label_driver.h"
#include "printer_app/options/job_offers.h"
#include "printer_app/options/media_names.h"
#include "printer_app/options/setting_map.h"

namespace qxapp {
namespace {

// The standard keyword choices PAPPL drops rather than refuses, and what is accepted.
constexpr std::string_view kCopyHandling[] = {"separate-documents-uncollated-copies",
                                              "separate-documents-collated-copies"};
constexpr std::string_view kSheets[] = {"none"};
constexpr std::string_view kContent[] = {"auto", "graphic", "photo", "text", "text-and-graphic"};
constexpr std::string_view kSides[] = {"one-sided"};
constexpr std::string_view kBins[] = {"face-down"};
constexpr std::string_view kHolds[] = {"day-time", "evening",      "indefinite",  "night",
                                       "no-hold",  "second-shift", "third-shift", "weekend"};

struct KeywordChoice {
  const char* name;
  std::span<const std::string_view> accepted;
};
constexpr KeywordChoice kKeywordChoices[] = {
    {"print-color-mode", kAcceptedColorModes},
    {"multiple-document-handling", kCopyHandling},
    {"job-sheets", kSheets},
    {"print-content-optimize", kContent},
    {"job-hold-until", kHolds},
    {"sides", kSides},
    {"output-bin", kBins},
};

constexpr int kOrientations[] = {IPP_ORIENT_PORTRAIT, IPP_ORIENT_LANDSCAPE, IPP_ORIENT_REVERSE_LANDSCAPE,
                                 IPP_ORIENT_REVERSE_PORTRAIT, IPP_ORIENT_NONE};
struct EnumChoice {
  const char* name;
  std::span<const int> accepted;
};
constexpr EnumChoice kEnumChoices[] = {{"orientation-requested", kOrientations},
                                       {"print-quality", kAcceptedQualities}};

class Refusals {
 public:
  explicit Refusals(pappl_client_t* client) : m_client(client) {}
  // Returns the attribute in the unsupported group and takes it out of the request, so that
  // PAPPL's own checks do not answer for it again.
  void Refuse(ipp_attribute_t* attr, const std::string& why) {
    papplClientRespondIPPUnsupported(m_client, attr);
    ippDeleteAttribute(papplClientGetRequest(m_client), attr);
    m_message += (m_message.empty() ? "" : "; ") + why;
  }
  // False when anything was refused; the status message then lists every reason.
  bool Finish(ipp_t* request) {
    if (m_message.empty()) return true;
    papplClientRespondIPP(m_client, IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, "%s.", m_message.c_str());
    // PAPPL 1.3.1 takes a request that asks for fidelity for a valid one, whatever was refused.
    if (ipp_attribute_t* fidelity = ippFindAttribute(request, "ipp-attribute-fidelity", IPP_TAG_ZERO))
      ippDeleteAttribute(request, fidelity);
    return false;
  }

 private:
  pappl_client_t* m_client;
  std::string m_message;
};

template <typename T>
std::string Listed(std::span<const T> values, const char* attribute) {
  std::string text;
  for (const T& value : values) {
    text += text.empty() ? "" : ", ";
    if constexpr (std::is_same_v<T, int>)
      text += ippEnumString(attribute, value);
    else
      text += std::string(value);
  }
  return text;
}

std::string ValueOf(ipp_attribute_t* attr) {
  char value[256];
  ippAttributeString(attr, value, sizeof value);
  return value;
}

// 'value', for a name given by a client.
std::string Quoted(const std::string& value) {
  std::string text(1, '\'');
  text.append(value).push_back('\'');
  return text;
}

bool IsKeyword(ipp_attribute_t* attr) {
  const ipp_tag_t tag = ippGetValueTag(attr);
  return ippGetCount(attr) == 1 && (tag == IPP_TAG_KEYWORD || tag == IPP_TAG_NAME || tag == IPP_TAG_NAMELANG);
}

// The head's one resolution, and the speeds it prints at (0 is "Auto", the default speed).
void CheckResolutionAndSpeed(ipp_t* request, Refusals& refusals) {
  if (ipp_attribute_t* attr = ippFindAttribute(request, "printer-resolution", IPP_TAG_ZERO);
      attr && ippGetGroupTag(attr) == IPP_TAG_JOB) {
    int down = 0;
    ipp_res_t units = IPP_RES_PER_INCH;
    const int across =
        ippGetValueTag(attr) == IPP_TAG_RESOLUTION ? ippGetResolution(attr, 0, &down, &units) : 0;
    if (ippGetCount(attr) != 1 || across != qxvn::kDotsPerInch || down != qxvn::kDotsPerInch ||
        units != IPP_RES_PER_INCH)
      refusals.Refuse(attr, "printer-resolution " + ValueOf(attr) + " is not offered (accepted: 300dpi)");
  }
  if (ipp_attribute_t* attr = ippFindAttribute(request, "print-speed", IPP_TAG_ZERO);
      attr && ippGetGroupTag(attr) == IPP_TAG_JOB) {
    const int speed = ippGetValueTag(attr) == IPP_TAG_INTEGER ? ippGetInteger(attr, 0) : -1;
    if (ippGetCount(attr) != 1 || (speed != 0 && (speed < kSpeedStep || speed > 5 * kSpeedStep)))
      refusals.Refuse(attr, "print-speed " + ValueOf(attr) +
                                " is out of range (accepted: 0 for the default, " +
                                std::to_string(kSpeedStep) + " to " + std::to_string(5 * kSpeedStep) +
                                " hundredths of a millimetre a second)");
  }
}

void CheckKeywordChoices(ipp_t* request, Refusals& refusals) {
  for (const KeywordChoice& choice : kKeywordChoices) {
    ipp_attribute_t* attr = ippFindAttribute(request, choice.name, IPP_TAG_ZERO);
    if (!attr || ippGetGroupTag(attr) != IPP_TAG_JOB) continue;
    bool accepted = IsKeyword(attr);
    if (accepted) {
      const std::string value = ippGetString(attr, 0, nullptr);
      accepted = false;
      for (std::string_view keyword : choice.accepted) accepted = accepted || keyword == value;
    }
    if (!accepted)
      refusals.Refuse(attr, std::string(choice.name) + " " + ValueOf(attr) +
                                " is not offered (accepted: " + Listed(choice.accepted, choice.name) + ")");
  }
  for (const EnumChoice& choice : kEnumChoices) {
    ipp_attribute_t* attr = ippFindAttribute(request, choice.name, IPP_TAG_ZERO);
    if (!attr || ippGetGroupTag(attr) != IPP_TAG_JOB) continue;
    bool accepted = ippGetCount(attr) == 1 && ippGetValueTag(attr) == IPP_TAG_ENUM;
    if (accepted) {
      accepted = false;
      for (int value : choice.accepted) accepted = accepted || value == ippGetInteger(attr, 0);
    }
    if (!accepted)
      refusals.Refuse(attr, std::string(choice.name) + " " + ValueOf(attr) +
                                " is not offered (accepted: " + Listed(choice.accepted, choice.name) + ")");
  }
}

// CUPS sends the settings it does not know as names ("60"): made the integers and keywords
// they are.
void RetypeAsInteger(ipp_t* request, const char* name) {
  ipp_attribute_t* attr = ippFindAttribute(request, name, IPP_TAG_ZERO);
  if (!attr || ippGetGroupTag(attr) != IPP_TAG_JOB || !IsKeyword(attr)) return;
  const char* text = ippGetString(attr, 0, nullptr);
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (!*text || *end || errno == ERANGE || value < -0x7FFFFFFFL || value > 0x7FFFFFFFL) return;
  ippDeleteAttribute(request, attr);
  ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, name, static_cast<int>(value));
}

void RetypeAsKeyword(ipp_t* request, const char* name) {
  ipp_attribute_t* attr = ippFindAttribute(request, name, IPP_TAG_ZERO);
  if (!attr || ippGetGroupTag(attr) != IPP_TAG_JOB || !IsKeyword(attr) ||
      ippGetValueTag(attr) == IPP_TAG_KEYWORD)
    return;
  const std::string text = ippGetString(attr, 0, nullptr);
  ippDeleteAttribute(request, attr);
  ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, name, nullptr, text.c_str());
}

void RetypeSettings(ipp_t* request) {
  RetypeAsInteger(request, "print-darkness");
  RetypeAsInteger(request, "print-speed");
  for (const SettingMapping& mapping : kSettingMap) {
    if (mapping.source == SettingSource::VendorInteger) RetypeAsInteger(request, mapping.ipp.data());
    if (mapping.source == SettingSource::VendorKeyword) RetypeAsKeyword(request, mapping.ipp.data());
  }
}

// The job's vendor settings (IPP_TAG_JOB, "") or the printer's defaults of them
// (IPP_TAG_PRINTER, "-default").
void CheckVendorSettings(ipp_t* request, Refusals& refusals, ipp_tag_t group = IPP_TAG_JOB,
                         const std::string& suffix = "") {
  for (const SettingMapping& mapping : kSettingMap) {
    if (mapping.source != SettingSource::VendorInteger && mapping.source != SettingSource::VendorKeyword)
      continue;
    const std::string name = std::string(mapping.ipp) + suffix;
    ipp_attribute_t* attr = ippFindAttribute(request, name.c_str(), IPP_TAG_ZERO);
    if (!attr || ippGetGroupTag(attr) != group) continue;
    if (mapping.source == SettingSource::VendorInteger) {
      const bool ok = ippGetCount(attr) == 1 && ippGetValueTag(attr) == IPP_TAG_INTEGER &&
                      ippGetInteger(attr, 0) >= mapping.min && ippGetInteger(attr, 0) <= mapping.max;
      if (!ok)
        refusals.Refuse(attr, name + " " + ValueOf(attr) + " is out of range (accepted: " +
                                  std::to_string(mapping.min) + " to " + std::to_string(mapping.max) + ")");
      continue;
    }
    std::vector<std::string_view> keywords;
    bool ok = false;
    for (const KeywordValue& choice : mapping.keywords) {
      keywords.push_back(choice.keyword);
      ok = ok || (IsKeyword(attr) && choice.keyword == ippGetString(attr, 0, nullptr));
    }
    if (!ok)
      refusals.Refuse(attr, name + " " + ValueOf(attr) + " is not offered (accepted: " +
                                Listed(std::span<const std::string_view>(keywords), nullptr) + ")");
  }
}

ipp_t* SizeCollection(const MediaSize& size) {
  ipp_t* col = ippNew();
  ipp_t* dimensions = ippNew();
  ippAddInteger(dimensions, IPP_TAG_ZERO, IPP_TAG_INTEGER, "x-dimension", size.width);
  ippAddInteger(dimensions, IPP_TAG_ZERO, IPP_TAG_INTEGER, "y-dimension", size.length);
  ippAddCollection(col, IPP_TAG_ZERO, "media-size", dimensions);
  ippDelete(dimensions);
  return col;
}

std::string Millimetres(int hundredths) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", hundredths / 100.0);
  return text;
}

std::string MediaRefusal(const std::string& what) {
  return "media " + what + " is not a label this printer takes (accepted: " + AcceptedMediaText() + ")";
}

// `media` by name: a listed label by its own name, a custom size as media-col (PAPPL takes
// custom sizes only as dimensions).
void ResolveMedia(ipp_t* request, Refusals& refusals) {
  ipp_attribute_t* attr = ippFindAttribute(request, "media", IPP_TAG_ZERO);
  if (!attr || ippGetGroupTag(attr) != IPP_TAG_JOB) return;
  const std::string name = IsKeyword(attr) ? ippGetString(attr, 0, nullptr) : "";
  if (name.compare(0, 7, "custom_") == 0 &&
      (name.find("_min_") != std::string::npos || name.find("_max_") != std::string::npos))
    return;  // the range's own names, which PAPPL takes
  const std::optional<MediaSize> size = name.empty() ? std::nullopt : ResolveMediaName(name);
  if (!size) {
    refusals.Refuse(attr, MediaRefusal(Quoted(ValueOf(attr))));
    return;
  }
  if (!size->listedName.empty()) {
    ippSetString(request, &attr, 0, size->listedName.c_str());
    return;
  }
  const bool hasCol = ippFindAttribute(request, "media-col", IPP_TAG_ZERO) != nullptr;
  ippDeleteAttribute(request, attr);
  if (!hasCol) {
    ipp_t* col = SizeCollection(*size);
    ippAddCollection(request, IPP_TAG_JOB, "media-col", col);
    ippDelete(col);
  }
}

void ResolveMediaCol(ipp_t* request, Refusals& refusals) {
  ipp_attribute_t* attr = ippFindAttribute(request, "media-col", IPP_TAG_BEGIN_COLLECTION);
  if (!attr || ippGetGroupTag(attr) != IPP_TAG_JOB || ippGetCount(attr) != 1) return;
  ipp_t* col = ippGetCollection(attr, 0);
  if (ipp_attribute_t* named = ippFindAttribute(col, "media-size-name", IPP_TAG_ZERO)) {
    const std::string name = IsKeyword(named) ? ippGetString(named, 0, nullptr) : "";
    const std::optional<MediaSize> size = name.empty() ? std::nullopt : ResolveMediaName(name);
    if (!size) {
      refusals.Refuse(attr, MediaRefusal(Quoted(ValueOf(named))));
    } else if (!size->listedName.empty()) {
      ippSetString(col, &named, 0, size->listedName.c_str());
    } else {
      ippDeleteAttribute(col, named);
      if (ipp_attribute_t* old = ippFindAttribute(col, "media-size", IPP_TAG_ZERO))
        ippDeleteAttribute(col, old);
      ipp_t* sized = SizeCollection(*size);
      ippCopyAttribute(col, ippFindAttribute(sized, "media-size", IPP_TAG_BEGIN_COLLECTION), 0);
      ippDelete(sized);
    }
    return;
  }
  ipp_attribute_t* x = ippFindAttribute(col, "media-size/x-dimension", IPP_TAG_INTEGER);
  ipp_attribute_t* y = ippFindAttribute(col, "media-size/y-dimension", IPP_TAG_INTEGER);
  if (x && y && !ResolveMediaSize(ippGetInteger(x, 0), ippGetInteger(y, 0)))
    refusals.Refuse(attr, MediaRefusal(Millimetres(ippGetInteger(x, 0)) + " x " +
                                       Millimetres(ippGetInteger(y, 0)) + " mm"));
}

bool IsPrintableType(const std::string& type) {
  for (qxvn::DocumentFormat format :
       {qxvn::DocumentFormat::kPdf, qxvn::DocumentFormat::kPng, qxvn::DocumentFormat::kJpeg,
        qxvn::DocumentFormat::kPnm, qxvn::DocumentFormat::kPwgRaster, qxvn::DocumentFormat::kAppleRaster,
        qxvn::DocumentFormat::kText})
    if (type == qxvn::MimeTypeOf(format)) return true;
  return false;
}

bool IsDocumentRequest(ipp_op_t op) { return op == IPP_OP_PRINT_JOB || op == IPP_OP_SEND_DOCUMENT; }

// The format by the document's first bytes, as far as they have arrived.
qxvn::DocumentFormat PeekedFormat(pappl_client_t* client) {
  char head[qxvn::kFormatProbeBytes];
  const ssize_t got = httpPeek(papplClientGetHTTP(client), head, sizeof head);
  if (got <= 0) return qxvn::DocumentFormat::kUnknown;
  return qxvn::FormatOfBytes(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(head), static_cast<size_t>(got)));
}

// The format PAPPL will print the document as: told by content where the sender's word is wrong
// or missing. False, with the response set, when it is none the printer prints.
bool CheckDocumentFormat(pappl_client_t* client) {
  ipp_t* request = papplClientGetRequest(client);
  ipp_attribute_t* detected = ippFindAttribute(request, "document-format-detected", IPP_TAG_MIMETYPE);
  ipp_attribute_t* declared = ippFindAttribute(request, "document-format", IPP_TAG_MIMETYPE);
  const std::string current = detected   ? ippGetString(detected, 0, nullptr)
                              : declared ? ippGetString(declared, 0, nullptr)
                                         : "application/octet-stream";
  // The printer's own stream is sent as it is.
  if (current == kPrinterFormat) return true;
  const qxvn::DocumentFormat format = PeekedFormat(client);
  if (format == qxvn::DocumentFormat::kUnknown) {
    // A damaged document of a format the printer prints: its reader says what is wrong.
    if (IsPrintableType(current)) return true;
    papplClientRespondIPP(client, IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED,
                          "The document is of no format this printer prints (%s).",
                          std::string(qxvn::PrintableFormatList()).c_str());
    return false;
  }
  const std::string told(qxvn::MimeTypeOf(format));
  if (told == current) return true;
  papplLogClient(client, PAPPL_LOGLEVEL_INFO, "The document sent as '%s' is %s: printed as '%s'.",
                 current.c_str(), std::string(qxvn::NameOf(format)).c_str(), told.c_str());
  if (detected)
    ippSetString(request, &detected, 0, told.c_str());
  else
    ippAddString(request, IPP_TAG_JOB, IPP_TAG_MIMETYPE, "document-format-detected", nullptr, told.c_str());
  return true;
}

}  // namespace

bool CheckJobTemplate(pappl_client_t* client) {
  ipp_t* request = papplClientGetRequest(client);
  Refusals refusals(client);
  RetypeSettings(request);
  ResolveMedia(request, refusals);
  ResolveMediaCol(request, refusals);
  CheckVendorSettings(request, refusals);
  CheckKeywordChoices(request, refusals);
  CheckResolutionAndSpeed(request, refusals);
  return refusals.Finish(request);
}

bool CheckPrinterDefaults(pappl_client_t* client) {
  ipp_t* request = papplClientGetRequest(client);
  Refusals refusals(client);
  CheckVendorSettings(request, refusals, IPP_TAG_PRINTER, "-default");
  if (ipp_attribute_t* attr = ippFindAttribute(request, "print-color-mode-default", IPP_TAG_ZERO)) {
    bool ok = false;
    for (std::string_view mode : kAcceptedColorModes)
      ok = ok || (IsKeyword(attr) && mode == ippGetString(attr, 0, nullptr));
    if (!ok)
      refusals.Refuse(attr, "print-color-mode-default " + ValueOf(attr) + " is not offered (accepted: " +
                                Listed(std::span<const std::string_view>(kAcceptedColorModes), nullptr) +
                                ")");
  }
  return refusals.Finish(request);
}

// Print-Job, Validate-Job, Create-Job and Send-Document, after PAPPL's own document checks.
bool CheckJobRequest(pappl_client_t* client) {
  const ipp_op_t op = papplClientGetOperation(client);
  if (IsDocumentRequest(op) && !CheckDocumentFormat(client)) return false;
  if (op == IPP_OP_PRINT_JOB || op == IPP_OP_VALIDATE_JOB || op == IPP_OP_CREATE_JOB)
    return CheckJobTemplate(client);
  return true;
}

}  // namespace qxapp
