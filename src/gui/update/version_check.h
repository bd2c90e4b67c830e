// The version check at start-up: asks the update server whether a newer
// version is published and whether this one is still supported.
#pragma once

#include <chrono>

namespace orvanta {

// No single read may wait longer than this.
inline constexpr std::chrono::milliseconds kUpdateReadTimeout{10000};
// The whole check, name lookup and connecting included, so that start-up
// never hangs on a dead network.
inline constexpr std::chrono::milliseconds kVersionCheckTimeLimit{10000};

// True when the download dialog is to be shown: NewVersionMessage then holds
// its text and ExitOnClose tells whether the update is compulsory. Every
// failure gives false, silently. Needs a running QCoreApplication.
bool CheckForNewVersion(std::chrono::milliseconds timeLimit = kVersionCheckTimeLimit);

}  // namespace orvanta
