// Who the program is: its title, version and the maker's host.
#pragma once

namespace orvanta {

inline constexpr char kApplicationTitle[] = "Orvanta";
inline constexpr char kVersion[] = "2.4";
// A build setting; the default lies under the reserved .invalid domain, so no
// third party is ever contacted by a build that did not set it.
#ifndef ORVANTA_MAKER_HOST
#define ORVANTA_MAKER_HOST "orvanta.invalid"
#endif
inline constexpr char kMakerHost[] = ORVANTA_MAKER_HOST;

}  // namespace orvanta
