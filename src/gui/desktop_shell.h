// What the window asks of the desktop: show a file in the file manager, open
// a folder or a web page. Each says whether something took the request, so
// that the window can say so when nothing did. Tests record the requests instead.
#pragma once

#include <string>

class QString;

namespace orvanta {

class DesktopShell {
 public:
  virtual ~DesktopShell() = default;
  virtual bool ShowFile(const std::string& path) = 0;
  virtual bool OpenFolder(const std::string& path) = 0;
  virtual bool OpenWebPage(const QString& url) = 0;
  // The item opened with the desktop's default program; false with the
  // reason in `error` when nothing could open it.
  virtual bool OpenItem(const std::string& path, std::string& error) = 0;
};

// Linux: the file manager over D-Bus (org.freedesktop.FileManager1), falling
// back to the desktop's handler for the folder; web pages through the
// desktop's handler. Windows: the shell's "open" (ShellExecuteW), Explorer
// with "/select," for a file (whose result is not examined: always true).
class SystemDesktopShell final : public DesktopShell {
 public:
  bool ShowFile(const std::string& path) override;
  bool OpenFolder(const std::string& path) override;
  bool OpenWebPage(const QString& url) override;
  bool OpenItem(const std::string& path, std::string& error) override;
};

}  // namespace orvanta
