#include "gui/update/installer_launcher.h"

#include <QDesktopServices>
#include <QUrl>

#include "gui/local_path.h"

namespace orvanta {

void DesktopInstallerLauncher::Start(const std::filesystem::path& installer) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(FromFileSystemPath(installer)));
}

}  // namespace orvanta
