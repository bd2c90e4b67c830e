#include "gui/update/installer_launcher.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>

namespace orvanta {

void DesktopInstallerLauncher::Start(const std::filesystem::path& installer) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(installer.c_str())));
}

}  // namespace orvanta
