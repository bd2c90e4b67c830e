#include <fcntl.h>
#include <stdio.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

namespace orvanta::platform {
namespace {

std::string Parent(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) return user->pw_dir;
  return {};
}

std::string HomeTrash() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
    return std::string(data) + "/Trash";
  }
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.local/share/Trash";
}

bool MakeFolders(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (path != "/" && !MakeFolders(Parent(path))) return false;
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// The mount's top folder: the highest ancestor still on the item's device.
std::string TopFolder(const std::string& path, dev_t device) {
  std::string top = Parent(path);
  while (top != "/") {
    const std::string up = Parent(top);
    struct stat st;
    if (::stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
    top = up;
  }
  return top;
}

// $topdir/.Trash/$uid when the shared .Trash is a real sticky folder, else $topdir/.Trash-$uid.
std::string TopTrash(const std::string& top) {
  const std::string base = top == "/" ? std::string() : top;
  const std::string shared = base + "/.Trash";
  struct stat st;
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
    return shared + "/" + std::to_string(::getuid());
  }
  return base + "/.Trash-" + std::to_string(::getuid());
}

std::string PercentEncoded(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : path) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '/' || b == '-' ||
        b == '_' || b == '.' || b == '~') {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[b >> 4]);
      out.push_back(kHex[b & 0x0F]);
    }
  }
  return out;
}

std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool MoveToTrash(const std::string& path, std::string& error) {
  auto fail = [&error, &path](const std::string& why) {
    error = "Cannot move \"" + path + "\" to the trash: " + why;
    return false;
  };
  if (path.empty() || path[0] != '/') return fail("not an absolute path");
  struct stat item;
  if (::lstat(path.c_str(), &item) != 0) return fail(std::strerror(errno));

  std::string trash = HomeTrash();
  std::string recordedPath = path;
  struct stat trashStat;
  const bool homeTrashHere = !trash.empty() && MakeFolders(trash) && ::stat(trash.c_str(), &trashStat) == 0 &&
                             trashStat.st_dev == item.st_dev;
  if (!homeTrashHere) {
    // Another file system: its own trash, so the item is renamed, never copied.
    const std::string top = TopFolder(path, item.st_dev);
    trash = TopTrash(top);
    recordedPath = top == "/" ? path.substr(1) : path.substr(top.size() + 1);
  }
  const std::string files = trash + "/files", info = trash + "/info";
  if (!MakeFolders(files) || !MakeFolders(info)) return fail("no usable trash folder at " + trash);

  std::string name = path.substr(path.rfind('/') + 1);
  if (name.empty()) return fail("no name");
  const std::string record =
      "[Trash Info]\nPath=" + PercentEncoded(recordedPath) + "\nDeletionDate=" + DeletionDate() + "\n";
  for (int attempt = 1; attempt < 10000; ++attempt) {
    const std::string candidate = attempt == 1 ? name : name + "." + std::to_string(attempt);
    const std::string infoFile = info + "/" + candidate + ".trashinfo";
    // The .trashinfo claims the name; created exclusively, so two movers never share one.
    const int fd = ::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return fail(std::strerror(errno));
    }
    const bool written = WriteAll(fd, record);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
      const int why = errno;
      ::unlink(infoFile.c_str());
      return fail(std::strerror(why));
    }
    const std::string target = files + "/" + candidate;
    // Never over an item already in the trash under that name.
    int moved = ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
    if (moved != 0 && errno == EINVAL) {
      struct stat existing;
      errno = EEXIST;
      moved = ::lstat(target.c_str(), &existing) == 0 ? -1 : ::rename(path.c_str(), target.c_str());
    }
    if (moved == 0) return true;
    const int why = errno;
    ::unlink(infoFile.c_str());
    if (why == EEXIST) continue;
    return fail(std::strerror(why));
  }
  return fail("no free name in the trash");
}

}  // namespace orvanta::platform
