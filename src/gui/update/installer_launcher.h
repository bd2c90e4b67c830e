// Starting the downloaded installer: the desktop's handler for the file, as
// the shell's default action does on Windows. Tests record the request instead.
#pragma once

#include <filesystem>

namespace orvanta {

class InstallerLauncher {
 public:
  virtual ~InstallerLauncher() = default;
  // Whether it started is not reported: the program ends either way.
  virtual void Start(const std::filesystem::path& installer) = 0;
};

class DesktopInstallerLauncher final : public InstallerLauncher {
 public:
  void Start(const std::filesystem::path& installer) override;
};

}  // namespace orvanta
