// Putting an item a removal moved back from the freedesktop.org trash.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/platform.h"
#include "platform/posix/fd.h"
#include "platform/posix/seen_file.h"
#include "platform/posix/trash_posix.h"

namespace orvanta::platform {
namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

using posix::Fd;

RestoreOutcome Outcome(RestoreResult result, std::string reason = {}) { return {result, std::move(reason)}; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(text[i + 1]) << 4 | HexDigit(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The original path a .trashinfo names, absolute: a top trash records it
// relative to the top of its mount (the folder holding .Trash-$uid, or
// .Trash/$uid); empty when the file cannot be read or names none.
std::string RecordedPath(int infoFd, const std::string& infoName, const std::string& trashFolder) {
  const int fd = ::openat(infoFd, infoName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || text.size() > 64 * 1024) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  std::size_t at = text.find("\nPath=");
  if (at == std::string::npos) return {};
  at += 6;
  const std::string path = PercentDecoded(std::string_view(text).substr(at, text.find('\n', at) - at));
  if (path.empty() || path[0] == '/') return path;
  std::string top = trashFolder.substr(0, trashFolder.rfind('/'));
  if (top.size() >= 7 && top.compare(top.size() - 7, 7, "/.Trash") == 0) top.resize(top.size() - 7);
  return (top.empty() ? std::string() : top) + "/" + path;
}

}  // namespace

RestoreOutcome RestoreFromTrash(const TrashedItem& item) {
  const std::string& path = item.path;
  const auto slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == std::string::npos || item.trashName.empty() ||
      item.trashName.find('/') != std::string::npos || item.trashName == "." || item.trashName == "..") {
    return Outcome(RestoreResult::Failed, "the record of this item is not usable");
  }
  const std::string name = path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return Outcome(RestoreResult::Failed, "no name");

  // The trash folder may lie below links the user set up (a linked data
  // folder); its "files" and "info" are entered without following any.
  const Fd trash(::open(item.trashFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!trash.Valid()) {
    return errno == ENOENT ? Outcome(RestoreResult::NotInTrash) : Outcome(RestoreResult::Failed, std::strerror(errno));
  }
  const Fd files(::openat(trash.Get(), "files", kFolderFlags));
  const Fd info(::openat(trash.Get(), "info", kFolderFlags));
  if (!files.Valid() || !info.Valid()) {
    return errno == ENOENT ? Outcome(RestoreResult::NotInTrash) : Outcome(RestoreResult::Failed, std::strerror(errno));
  }
  struct stat st;
  if (::fstat(files.Get(), &st) != 0 || st.st_uid != ::getuid()) {
    return Outcome(RestoreResult::Failed, "the trash folder is not the user's own");
  }
  const std::string infoName = item.trashName + ".trashinfo";
  if (::fstatat(files.Get(), item.trashName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT ? Outcome(RestoreResult::NotInTrash) : Outcome(RestoreResult::Failed, std::strerror(errno));
  }
  // The trash emptied and the name taken by another item since: not this one.
  const FileId id{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  if ((item.id.Known() && id != item.id) || RecordedPath(info.Get(), infoName, item.trashFolder) != path) {
    return Outcome(RestoreResult::NotInTrash);
  }

  const std::string parentPath = slash == 0 ? "/" : path.substr(0, slash);
  const Fd parent(posix::OpenFolderNoLinks(parentPath));
  if (!parent.Valid()) {
    if (errno == ENOENT) return Outcome(RestoreResult::NoFolder);
    return Outcome(RestoreResult::Failed, posix::FolderOpenReason(errno));
  }
  int moved = ::renameat2(files.Get(), item.trashName.c_str(), parent.Get(), name.c_str(), RENAME_NOREPLACE);
  if (moved != 0 && errno == EINVAL) {
    // A file system without RENAME_NOREPLACE: look first, then rename.
    struct stat existing;
    errno = EEXIST;
    moved = ::fstatat(parent.Get(), name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0
                ? -1
                : ::renameat(files.Get(), item.trashName.c_str(), parent.Get(), name.c_str());
  }
  if (moved != 0) {
    if (errno == EEXIST || errno == ENOTEMPTY) return Outcome(RestoreResult::Occupied);
    return Outcome(RestoreResult::Failed, std::strerror(errno));
  }
  ::unlinkat(info.Get(), infoName.c_str(), 0);
  return Outcome(RestoreResult::Restored);
}

}  // namespace orvanta::platform
