#include "gui/startup_hooks.h"

#include "gui/desktop_shell.h"
#include "gui/dialogs.h"
#include "gui/update/installer_launcher.h"
#include "gui/update/new_version_dialog.h"
#include "gui/update/version_check.h"

namespace orvanta {

bool OfferNewVersion() {
  SystemDialogs dialogs;
  SystemDesktopShell shell;
  DesktopInstallerLauncher launcher;
  return OfferNewVersion(dialogs, shell, launcher, kVersionCheckTimeLimit);
}

bool OfferNewVersion(Dialogs& dialogs, DesktopShell& shell, InstallerLauncher& launcher,
                     std::chrono::milliseconds checkTimeLimit) {
  const std::optional<UpdateOffer> offer = CheckForNewVersion(checkTimeLimit);
  if (!offer) return true;
  NewVersionDialog dialog(*offer, dialogs, shell, launcher);
  dialog.exec();  // its result carries no meaning; continueToMainWindow does
  return dialog.continueToMainWindow;
}

}  // namespace orvanta
