// The step of start-up between the catalogue and the main window.
#pragma once

#include <chrono>

namespace orvanta {

class DesktopShell;
class Dialogs;
class InstallerLauncher;

// Runs the version check and, when it has news, the new-version dialog.
// False when the program is to end before the main window opens.
bool OfferNewVersion();

// The same with the dialogs, the desktop and the installer start given, and
// the version check bounded by `checkTimeLimit`.
bool OfferNewVersion(Dialogs& dialogs, DesktopShell& shell, InstallerLauncher& launcher,
                     std::chrono::milliseconds checkTimeLimit);

}  // namespace orvanta
