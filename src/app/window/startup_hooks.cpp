#include "app/window/startup_hooks.h"

#include "app/window/desktop_shell.h"
#include "app/window/dialogs.h"
#include "update/installer_launcher.h"
#include "update/new_version_dialog.h"
#include "update/version_check.h"

namespace orvanta {

bool OfferNewVersion() {
  SystemDialogs dialogs;
  SystemDesktopShell shell;
  DesktopInstallerLauncher launcher;
  return OfferNewVersion(dialogs, shell, launcher, kVersionCheckTimeLimit);
}

bool OfferNewVersion(Dialogs& dialogs, DesktopShell& shell, InstallerLauncher& launcher,
                     std::chrono::milliseconds checkTimeLimit) {
  if (!CheckForNewVersion(checkTimeLimit)) return true;
  int tag = 0;
  {
    TfrmNewVersion dialog(dialogs, shell, launcher);
    dialog.exec();  // its result carries no meaning; Tag does
    tag = dialog.Tag;
  }
  return tag != 0;
}

}  // namespace orvanta
