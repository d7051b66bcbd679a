#include "printer_app/options/media_names.h"

#include <cups/cups.h>

#include <cstdlib>

#include "common/media/label_sizes.h"

namespace qxapp {
namespace {

constexpr int kSameSizeHundredths = 50;
constexpr int kCustomMin = qxvn::kCustomMinMm * 100;
constexpr int kCustomMaxWidth = static_cast<int>(qxvn::kHeadWidthMm * 100);
constexpr int kCustomMaxLength = qxvn::kCustomMaxLengthMm * 100;

std::string ListedName(const qxvn::LabelSize& size) {
  char name[128];
  pwgFormatSizeName(name, sizeof name, "om", std::string(size.name).c_str(), size.widthMm * 100,
                    size.heightMm * 100, nullptr);
  return name;
}

}  // namespace

std::optional<MediaSize> ResolveMediaSize(int width, int length) {
  for (const qxvn::LabelSize& size : qxvn::kLabelSizes) {
    if (std::abs(width - size.widthMm * 100) <= kSameSizeHundredths &&
        std::abs(length - size.heightMm * 100) <= kSameSizeHundredths)
      return MediaSize{ListedName(size), size.widthMm * 100, size.heightMm * 100};
  }
  if (width >= kCustomMin && width <= kCustomMaxWidth && length >= kCustomMin && length <= kCustomMaxLength)
    return MediaSize{"", width, length};
  return std::nullopt;
}

std::optional<MediaSize> ResolveMediaName(std::string_view name) {
  const std::string text(name);
  for (const qxvn::LabelSize& size : qxvn::kLabelSizes)
    if (text == ListedName(size)) return MediaSize{text, size.widthMm * 100, size.heightMm * 100};
  pwg_media_t* media = pwgMediaForPWG(text.c_str());
  if (!media) media = pwgMediaForPPD(text.c_str());
  if (!media) media = pwgMediaForLegacy(text.c_str());
  if (!media || media->width <= 0 || media->length <= 0) return std::nullopt;
  return ResolveMediaSize(media->width, media->length);
}

std::string AcceptedMediaText() {
  std::string text;
  for (const qxvn::LabelSize& size : qxvn::kLabelSizes) text += std::string(size.name) + ", ";
  char range[160];
  std::snprintf(range, sizeof range, "or a custom WIDTHxLENGTHmm from %dx%dmm to %.2fx%dmm",
                qxvn::kCustomMinMm, qxvn::kCustomMinMm, kCustomMaxWidth / 100.0, qxvn::kCustomMaxLengthMm);
  return text + range;
}

}  // namespace qxapp
