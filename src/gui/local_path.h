// Paths between the engine and Qt. The engine's paths are UTF-8 on Windows,
// whatever the ANSI code page, and the system's bytes elsewhere; Qt takes
// UTF-16, so on Windows no path passes through the local 8-bit encoding.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <filesystem>
#include <string>

namespace orvanta {

#ifdef _WIN32
inline std::string ToLocalPath(const QString& path) { return path.toStdString(); }
inline QString FromLocalPath(const std::string& path) { return QString::fromStdString(path); }
inline std::filesystem::path FileSystemPath(const std::string& path) {
  return std::filesystem::path(FromLocalPath(path).toStdWString());
}
inline QString FromFileSystemPath(const std::filesystem::path& path) { return QString::fromStdWString(path.native()); }
#else
inline std::string ToLocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }
inline QString FromLocalPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
inline std::filesystem::path FileSystemPath(const std::string& path) { return std::filesystem::path(path); }
inline QString FromFileSystemPath(const std::filesystem::path& path) {
  return QFile::decodeName(QByteArray::fromStdString(path.native()));
}
#endif

}  // namespace orvanta
