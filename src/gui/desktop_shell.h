// What the window asks of the desktop: show a file in the file manager, open
// a folder or a web page. Tests record the requests instead.
#pragma once

#include <string>

class QString;

namespace orvanta {

class DesktopShell {
 public:
  virtual ~DesktopShell() = default;
  virtual void ShowFile(const std::string& path) = 0;
  virtual void OpenFolder(const std::string& path) = 0;
  virtual void OpenWebPage(const QString& url) = 0;
  // The item opened with the desktop's default program; false with the
  // reason in `error` when nothing could open it.
  virtual bool OpenItem(const std::string& path, std::string& error) = 0;
};

// Linux: the file manager over D-Bus (org.freedesktop.FileManager1), falling
// back to the desktop's handler for the folder; web pages through the
// desktop's handler. Windows: the shell's "open" (ShellExecuteW), Explorer
// with "/select," for a file.
class SystemDesktopShell final : public DesktopShell {
 public:
  void ShowFile(const std::string& path) override;
  void OpenFolder(const std::string& path) override;
  void OpenWebPage(const QString& url) override;
  bool OpenItem(const std::string& path, std::string& error) override;
};

}  // namespace orvanta
