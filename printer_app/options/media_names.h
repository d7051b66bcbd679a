// The label a media name asks for. Clients name sizes in several ways: the printer's own PWG
// names (om_48x76mm_48x76mm), other PWG self-describing names (custom_x_48x60mm, iso_a8_52x74mm),
// CUPS's names (48x50mm, Custom.48x60mm, w136h216) and legacy ones. Each comes to one of the
// listed labels when within half a millimetre of it, else to a custom size within the head's
// width and the custom lengths, else to none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qxapp {

struct MediaSize {
  std::string listedName;  // the printer's media name of a listed label; empty for a custom size
  int width = 0;           // hundredths of a millimetre
  int length = 0;
};

std::optional<MediaSize> ResolveMediaName(std::string_view name);
// The size of these dimensions: a listed label's, a custom size, or none.
std::optional<MediaSize> ResolveMediaSize(int width, int length);

// What a refusal says is accepted.
std::string AcceptedMediaText();

}  // namespace qxapp
