// The version check at start-up: asks the update server whether a newer
// version is published and whether this one is still supported.
#pragma once

#include <chrono>
#include <optional>

#include "update/update_rules.h"

namespace orvanta {

// No single read may wait longer than this.
inline constexpr std::chrono::milliseconds kUpdateReadTimeout{10000};
// The whole check, name lookup and connecting included, so that start-up
// never hangs on a dead network.
inline constexpr std::chrono::milliseconds kVersionCheckTimeLimit{10000};

// The offer the download dialog is to show, or nothing: no news, or any
// failure, silently. Needs a running QCoreApplication.
std::optional<UpdateOffer> CheckForNewVersion(std::chrono::milliseconds timeLimit = kVersionCheckTimeLimit);

}  // namespace orvanta
