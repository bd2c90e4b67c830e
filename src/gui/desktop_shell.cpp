#include "gui/desktop_shell.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDesktopServices>
#include <QUrl>

#include "actions/open_location.h"
#include "core/paths.h"
#include "platform/platform.h"

namespace orvanta {

#ifdef _WIN32

bool SystemDesktopShell::ShowFile(const std::string& path) {
  platform::ShellOpen("explorer.exe", ExplorerSelectParameters(path));
  return true;
}

bool SystemDesktopShell::OpenFolder(const std::string& path) {
  platform::ShellOpen(path, "");
  return true;
}

bool SystemDesktopShell::OpenWebPage(const QString& url) {
  platform::ShellOpen(url.toStdString(), "");
  return true;
}

#else

namespace {

// A file URL made from the path's bytes, so names that are not UTF-8 survive.
QUrl FileUrl(const std::string& path) {
  return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
}

}  // namespace

bool SystemDesktopShell::ShowFile(const std::string& path) {
  QDBusInterface fileManager("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                             "org.freedesktop.FileManager1", QDBusConnection::sessionBus());
  if (fileManager.isValid()) {
    fileManager.setTimeout(5000);
    const QDBusMessage reply =
        fileManager.call("ShowItems", QStringList{QString::fromLatin1(FileUrl(path).toEncoded())}, QString());
    if (reply.type() == QDBusMessage::ReplyMessage) return true;
  }
  // No file manager answers: open the folder that holds the file.
  return OpenFolder(std::string(ExtractFileDir(path)));
}

bool SystemDesktopShell::OpenFolder(const std::string& path) { return QDesktopServices::openUrl(FileUrl(path)); }

bool SystemDesktopShell::OpenWebPage(const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }

#endif

bool SystemDesktopShell::OpenItem(const std::string& path, std::string& error) {
  return platform::OpenWithDefaultProgram(path, error);
}

}  // namespace orvanta
