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

void SystemDesktopShell::ShowFile(const std::string& path) {
  platform::ShellOpen("explorer.exe", ExplorerSelectParameters(path));
}

void SystemDesktopShell::OpenFolder(const std::string& path) { platform::ShellOpen(path, ""); }

void SystemDesktopShell::OpenWebPage(const QString& url) { platform::ShellOpen(url.toStdString(), ""); }

#else

namespace {

// A file URL made from the path's bytes, so names that are not UTF-8 survive.
QUrl FileUrl(const std::string& path) {
  return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
}

}  // namespace

void SystemDesktopShell::ShowFile(const std::string& path) {
  QDBusInterface fileManager("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                             "org.freedesktop.FileManager1", QDBusConnection::sessionBus());
  if (fileManager.isValid()) {
    fileManager.setTimeout(5000);
    const QDBusMessage reply =
        fileManager.call("ShowItems", QStringList{QString::fromLatin1(FileUrl(path).toEncoded())}, QString());
    if (reply.type() == QDBusMessage::ReplyMessage) return;
  }
  // No file manager answers: open the folder that holds the file.
  OpenFolder(std::string(ExtractFileDir(path)));
}

void SystemDesktopShell::OpenFolder(const std::string& path) { QDesktopServices::openUrl(FileUrl(path)); }

void SystemDesktopShell::OpenWebPage(const QString& url) { QDesktopServices::openUrl(QUrl(url)); }

#endif

bool SystemDesktopShell::OpenItem(const std::string& path, std::string& error) {
  return platform::OpenWithDefaultProgram(path, error);
}

}  // namespace orvanta
