// What the printer offers clients, made to hold: choices that would print the same as another
// (colour, draft and high quality on a one-bit head) are not announced, and the job settings a
// client asking for "all" would not see (PAPPL lists only the standard ones then: print-darkness,
// print-speed and the vendor settings were missing, so CUPS's queues and the sub-commands never
// offered them) are added. The checks of job requests use the same choices.
#pragma once

#include <pappl/pappl.h>

#include <span>
#include <string_view>

namespace qxapp {

// Announced; "auto" (the printer's choice, monochrome) is taken from clients too.
inline constexpr std::string_view kOfferedColorModes[] = {"monochrome"};
inline constexpr std::string_view kAcceptedColorModes[] = {"auto", "monochrome"};
inline constexpr int kOfferedQualities[] = {IPP_QUALITY_NORMAL};
// Taken, and printed as normal: CUPS offers "Draft" for every printer of an even resolution.
inline constexpr int kAcceptedQualities[] = {IPP_QUALITY_DRAFT, IPP_QUALITY_NORMAL, IPP_QUALITY_HIGH};

// Completes a Get-Printer-Attributes response for the client's printer.
void CompleteOffers(pappl_client_t* client);

}  // namespace qxapp
