#include "platform/posix/trash_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#if __has_include(<linux/openat2.h>)
#include <linux/openat2.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <unordered_map>
#include <vector>

#include "platform/escaped_name.h"
#include "platform/platform.h"
#include "platform/posix/fd.h"
#include "platform/posix/seen_file.h"

namespace orvanta::platform {
namespace posix {
namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int OpenByComponents(const std::string& path) {
  Fd current(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  std::size_t start = 1;
  while (current.Valid() && start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) current = Fd(::openat(current.Get(), path.substr(start, end - start).c_str(), kFolderFlags));
    start = end + 1;
  }
  return current.Release();
}

// The user's own folder in a trash: created with mode 0700 when missing, and
// refused unless it is a real folder owned by the user (in a shared place also
// with exactly that mode), so that no other user can read, empty or swap what
// lands there.
Fd OpenPrivateFolder(int parentFd, const std::string& name, std::string& error, bool exactMode = true) {
  int madeError = 0;
  if (::mkdirat(parentFd, name.c_str(), 0700) == 0) {
    ::fchmodat(parentFd, name.c_str(), 0700, 0);
  } else {
    madeError = errno;
  }
  Fd folder(::openat(parentFd, name.c_str(), kFolderFlags));
  struct stat st;
  if (!folder.Valid() || ::fstat(folder.Get(), &st) != 0) {
    // Missing because it could not be made: why it could not be made.
    const int why = errno == ENOENT && madeError != 0 && madeError != EEXIST ? madeError : errno;
    error = name + ": " + std::strerror(why);
    return Fd();
  }
  if (st.st_uid != ::getuid() || (exactMode && (st.st_mode & 07777) != 0700)) {
    error = name + " is not a private folder of this user";
    return Fd();
  }
  return folder;
}

// "files" and "info" lie inside a folder only the user may enter: owned by the user suffices.
bool OpenTrashSubfolders(int trashFd, TrashFolderFds& folders, std::string& error) {
  Fd files = OpenPrivateFolder(trashFd, "files", error, false);
  if (!files.Valid()) return false;
  Fd info = OpenPrivateFolder(trashFd, "info", error, false);
  if (!info.Valid()) return false;
  folders.files = files.Release();
  folders.info = info.Release();
  return true;
}

}  // namespace

int OpenFolderNoLinks(const std::string& path, bool useOpenat2) {
  if (path.empty() || path[0] != '/') {
    errno = EINVAL;
    return -1;
  }
#if defined(SYS_openat2) && defined(RESOLVE_NO_SYMLINKS)
  if (useOpenat2) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(kFolderFlags);
    how.resolve = RESOLVE_NO_SYMLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    // Older kernels, a sandbox that forbids the call, or a path longer than
    // one call takes: the component walk.
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != ENAMETOOLONG)) return static_cast<int>(fd);
  }
#else
  (void)useOpenat2;
#endif
  return OpenByComponents(path);
}

bool OpenTopTrash(int topFd, TrashFolderFds& folders, std::string& error) {
  const std::string uid = std::to_string(::getuid());
  struct stat st;
  if (::fstatat(topFd, ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
    Fd shared(::openat(topFd, ".Trash", kFolderFlags));
    if (shared.Valid()) {
      std::string why;
      Fd own = OpenPrivateFolder(shared.Get(), uid, why);
      if (own.Valid() && OpenTrashSubfolders(own.Get(), folders, why)) {
        folders.name = ".Trash/" + uid;
        return true;
      }
    }
  }
  folders.name = ".Trash-" + uid;
  Fd own = OpenPrivateFolder(topFd, folders.name, error);
  return own.Valid() && OpenTrashSubfolders(own.Get(), folders, error);
}

}  // namespace posix

namespace {

using posix::Fd;
using posix::TrashFolderFds;

// The longest name the trash can hold: its .trashinfo must fit in a name too.
constexpr std::size_t kMaxNameBytes = 255;
constexpr std::string_view kInfoSuffix = ".trashinfo";

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) return user->pw_dir;
  return {};
}

std::string HomeTrash() {
  const std::string data = UserDataFolder();
  return data.empty() ? std::string() : data + "/Trash";
}

std::string Parent(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
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

// The name in the trash: the item's own name plus `suffix`, with the name cut
// (at a character boundary, keeping a short extension) where the whole would
// not leave room for the .trashinfo suffix.
std::string TrashName(const std::string& name, const std::string& suffix) {
  const std::size_t room = kMaxNameBytes - kInfoSuffix.size() - suffix.size();
  if (name.size() <= room) return name + suffix;
  std::string extension;
  if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0 && name.size() - dot <= 16) {
    extension = name.substr(dot);
  }
  std::size_t cut = room - extension.size();
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut) + extension + suffix;
}

// Where an entry lies as statx tells it: its device, its mount where the
// kernel says (5.8 and later), and whether it is the root of a mount.
struct MountPlace {
  dev_t device = 0;
  std::uint64_t mountId = 0;
  bool haveMountId = false;
  bool mountRoot = false;
  mode_t mode = 0;

  // On one mount: a rename between the two can succeed. Without mount ids
  // (older kernels) the device is all there is to compare.
  bool SameMount(const MountPlace& other) const {
    if (haveMountId && other.haveMountId) return mountId == other.mountId;
    return device == other.device;
  }
};

// The entry `name` of the folder (empty: the folder itself), never following
// a link and never triggering an automount.
bool QueryMountPlace(int folderFd, const char* name, MountPlace& place) {
  struct statx stx;
  const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (name[0] == '\0' ? AT_EMPTY_PATH : 0);
  if (::statx(folderFd, name, flags, STATX_TYPE | STATX_MNT_ID, &stx) != 0) return false;
  place.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
  place.haveMountId = (stx.stx_mask & STATX_MNT_ID) != 0;
  place.mountId = place.haveMountId ? stx.stx_mnt_id : 0;
  place.mountRoot =
      (stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 && (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  place.mode = stx.stx_mode;
  return true;
}

}  // namespace

namespace posix {

// Why the item must not go to the trash because of a mount: it is a mount
// point itself, or a file system (another one, or a bind mount of its own) is
// mounted somewhere inside it, which the rename would carry into the trash
// and emptying the trash would delete. Folders are opened relative to their
// parent, never through a link. A tree that cannot be read in full cannot be
// vouched for either. Empty when nothing is mounted there.
std::string MountReason(int parentFd, const std::string& name) {
  MountPlace parent, item;
  if (!QueryMountPlace(parentFd, "", parent) || !QueryMountPlace(parentFd, name.c_str(), item)) {
    return std::string("cannot tell whether it is a mount point: ") + std::strerror(errno);
  }
  if (item.mountRoot || !item.SameMount(parent) || item.device != parent.device) return "it is a mount point";
  if (!S_ISDIR(item.mode)) return {};
  const auto elsewhere = [&item](const MountPlace& place) {
    return place.mountRoot || !place.SameMount(item) || place.device != item.device;
  };
  const auto joined = [](const std::string& path, const std::string& entry) {
    return path.empty() ? entry : path + '/' + entry;
  };

  // Depth first; each level holds its folder open until its subfolders are done.
  struct Level {
    Fd folder;
    std::string path;  // relative to the item; empty for the item itself
    std::vector<std::string> subfolders;
    std::size_t next = 0;
  };
  std::vector<Level> levels;
  std::string mountPoint;  // relative to the item
  std::string unread;      // a folder that could not be read, and why
  const auto enter = [&](int at, const std::string& entry, std::string path) {
    const auto failed = [&] {
      unread = (path.empty() ? std::string(".") : EscapedName(path)) + ": " + std::strerror(errno);
      return false;
    };
    Fd folder(::openat(at, entry.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    MountPlace here;
    if (!folder.Valid() || !QueryMountPlace(folder.Get(), "", here)) return failed();
    if (elsewhere(here)) {  // mounted there since it was listed
      mountPoint = path.empty() ? std::string(".") : path;
      return false;
    }
    const int listFd = ::dup(folder.Get());
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (dir == nullptr) {
      if (listFd >= 0) ::close(listFd);
      return failed();
    }
    std::vector<std::string> subfolders;
    bool whole = true;
    for (;;) {
      errno = 0;
      const dirent* listed = ::readdir(dir);
      if (listed == nullptr) {
        whole = errno == 0;
        break;
      }
      const char* n = listed->d_name;
      if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
      // Every entry, files too: a file can be the target of a bind mount.
      MountPlace place;
      if (!QueryMountPlace(folder.Get(), n, place)) {
        if (errno == ENOENT) continue;  // gone since the listing
        whole = false;
        break;
      }
      if (elsewhere(place)) {
        mountPoint = joined(path, n);
        break;
      }
      if (S_ISDIR(place.mode)) subfolders.emplace_back(n);
    }
    const int why = errno;
    ::closedir(dir);
    errno = why;
    if (!mountPoint.empty()) return false;
    if (!whole) return failed();
    levels.push_back({std::move(folder), std::move(path), std::move(subfolders)});
    return true;
  };
  if (enter(parentFd, name, {})) {
    while (!levels.empty()) {
      Level& level = levels.back();
      if (level.next == level.subfolders.size()) {
        levels.pop_back();
        continue;
      }
      const std::string subfolder = level.subfolders[level.next++];
      if (!enter(level.folder.Get(), subfolder, joined(level.path, subfolder))) break;
    }
  }
  if (!mountPoint.empty()) return "it holds a mount point: " + EscapedName(mountPoint);
  if (!unread.empty()) return "it could not be checked for mount points (" + unread + ")";
  return {};
}

bool OnOneMount(int folderFd, int otherFd) {
  MountPlace one, other;
  return QueryMountPlace(folderFd, "", one) && QueryMountPlace(otherFd, "", other) && one.SameMount(other) &&
         one.device == other.device;
}

int WriteRefusal(int folderFd, const char* name) {
  return ::faccessat(folderFd, name, W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

}  // namespace posix

namespace {

using posix::MountReason;

struct Trash {
  TrashFolderFds fds;
  std::string top;     // empty for the home trash, whose records hold absolute paths
  std::string folder;  // the trash folder itself, as the outcome names it
  MountPlace mount;    // where its "files" folder lies
  std::string error;
  ~Trash() {
    if (fds.files >= 0) ::close(fds.files);
    if (fds.info >= 0) ::close(fds.info);
  }
};

// The mount's top folder above the item's parent: climbs ".." while it stays
// on the parent's mount (a bind mount has a top of its own, though its device
// is the one below it). Returns the levels climbed, or -1.
int ClimbToTop(int parentFd, const MountPlace& mount, Fd& top) {
  top = Fd(::openat(parentFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  int levels = 0;
  while (top.Valid()) {
    struct stat here, up;
    MountPlace upPlace;
    Fd upFd(::openat(top.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!upFd.Valid() || ::fstat(top.Get(), &here) != 0 || ::fstat(upFd.Get(), &up) != 0 ||
        !QueryMountPlace(upFd.Get(), "", upPlace)) {
      return -1;
    }
    if (!upPlace.SameMount(mount) || up.st_dev != mount.device ||
        (up.st_ino == here.st_ino && up.st_dev == here.st_dev))
      return levels;
    top = std::move(upFd);
    ++levels;
  }
  return -1;
}

std::string DropComponents(std::string path, int levels) {
  for (; levels > 0; --levels) path = Parent(path);
  return path;
}

class TrashRun {
 public:
  // Checks only: an item that passes every check is reported as moved, and stays.
  explicit TrashRun(bool checkOnly) : checkOnly_(checkOnly) {}

  TrashOutcome Move(const TrashItem& item, const std::function<std::string()>& beforeMove) {
    const std::string& path = item.path;
    const auto slash = path.rfind('/');
    if (path.empty() || path[0] != '/' || slash == std::string::npos) return Stayed("not an absolute path");
    const std::string name = path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return Stayed("no name");
    const std::string parentPath = slash == 0 ? "/" : path.substr(0, slash);
    Fd parent(posix::OpenFolderNoLinks(parentPath));
    if (!parent.Valid()) return Stayed(posix::FolderOpenReason(errno));
    struct stat st;
    if (::fstatat(parent.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Stayed(std::strerror(errno));
    const FileId id{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    if (item.scannedId != FileId{} && id != item.scannedId) return Stayed("it is no longer the item that was scanned");
    // Nothing leaves a read-only file system; the reason says that, not what
    // failed on the way to a trash there.
    if (struct statvfs fs; ::fstatvfs(parent.Get(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0) {
      return Stayed("the file system is read-only");
    }
    if (beforeMove) {
      if (std::string reason = beforeMove(); !reason.empty()) return Stayed(std::move(reason));
    }

    MountPlace mount;
    if (!QueryMountPlace(parent.Get(), "", mount)) return Stayed(std::strerror(errno));
    const Trash& trash = TrashFor(parent.Get(), parentPath, mount);
    if (!trash.error.empty()) return Stayed(trash.error);
    // Last before the move: a mount inside the item would go along with it.
    if (std::string reason = MountReason(parent.Get(), name); !reason.empty()) return Stayed(std::move(reason));
    if (checkOnly_) return {true, {}, trash.folder, &trash != &home_, {}};
    const std::string recorded = trash.top.empty()  ? path
                                 : trash.top == "/" ? path.substr(1)
                                                    : path.substr(trash.top.size() + 1);
    const std::string record =
        "[Trash Info]\nPath=" + PercentEncoded(recorded) + "\nDeletionDate=" + DeletionDate() + "\n";
    // Names already taken in this trash are not tried again: many items of one
    // name (cover.jpg in every album) each find theirs in constant time.
    std::uint64_t& attempt = nextSuffix_[std::to_string(trash.fds.info) + '/' + name];
    for (attempt = std::max<std::uint64_t>(attempt, 1);; ++attempt) {
      const std::string candidate = TrashName(name, attempt == 1 ? std::string() : "." + std::to_string(attempt));
      const std::string infoName = candidate + std::string(kInfoSuffix);
      // The .trashinfo claims the name; created exclusively, so two movers never share one.
      const int fd =
          ::openat(trash.fds.info, infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        return Stayed(std::strerror(errno));
      }
      const bool written = WriteAll(fd, record);
      const int writeError = errno;
      if (::close(fd) != 0 || !written) {
        const int why = written ? errno : writeError;
        ::unlinkat(trash.fds.info, infoName.c_str(), 0);
        return Stayed(std::strerror(why));
      }
      // Never over an item already in the trash under that name.
      int moved = ::renameat2(parent.Get(), name.c_str(), trash.fds.files, candidate.c_str(), RENAME_NOREPLACE);
      if (moved != 0 && errno == EINVAL) {
        struct stat existing;
        errno = EEXIST;
        moved = ::fstatat(trash.fds.files, candidate.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0
                    ? -1
                    : ::renameat(parent.Get(), name.c_str(), trash.fds.files, candidate.c_str());
      }
      if (moved == 0) {
        ++attempt;
        return {true, {}, trash.folder, &trash != &home_, candidate};
      }
      const int why = errno;
      ::unlinkat(trash.fds.info, infoName.c_str(), 0);
      if (why == EEXIST) continue;
      return Stayed(std::strerror(why));
    }
  }

 private:
  static TrashOutcome Stayed(std::string reason) {
    TrashOutcome outcome;
    outcome.reason = std::move(reason);
    return outcome;
  }

  // The home trash when it lies on the item's mount (a rename reaches no
  // other, not even a bind mount of the same file system), else the trash at
  // the top of the item's mount; each opened once per request.
  const Trash& TrashFor(int parentFd, const std::string& parentPath, const MountPlace& mount) {
    if (!homeTried_) {
      homeTried_ = true;
      const std::string home = HomeTrash();
      Fd homeFd;
      if (!home.empty() && MakeFolders(home)) homeFd = Fd(::open(home.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
      std::string why;
      haveHome_ = homeFd.Valid() && posix::OpenTrashSubfolders(homeFd.Get(), home_.fds, why) &&
                  QueryMountPlace(home_.fds.files, "", home_.mount);
      home_.folder = home;
    }
    if (haveHome_ && home_.mount.SameMount(mount) && home_.mount.device == mount.device) return home_;
    auto [it, inserted] =
        tops_.try_emplace(std::pair{mount.haveMountId, mount.haveMountId ? mount.mountId : mount.device});
    Trash& trash = it->second;
    if (inserted) {
      Fd top;
      const int levels = ClimbToTop(parentFd, mount, top);
      if (levels < 0) {
        trash.error = std::string("no trash on this file system: ") + std::strerror(errno);
      } else {
        trash.top = DropComponents(parentPath, levels);
        std::string why;
        if (posix::OpenTopTrash(top.Get(), trash.fds, why)) {
          trash.folder = (trash.top == "/" ? std::string() : trash.top) + "/" + trash.fds.name;
        } else {
          trash.error = "no safe trash on this file system (" + why + ")";
        }
      }
    }
    return trash;
  }

  bool checkOnly_;
  bool homeTried_ = false;
  bool haveHome_ = false;
  Trash home_;
  // The top trashes by mount id (by device where the kernel gives no mount id).
  std::map<std::pair<bool, std::uint64_t>, Trash> tops_;
  // The next suffix to try for a name in a trash (keyed by the trash's info
  // folder and the name), for the rest of this request.
  std::unordered_map<std::string, std::uint64_t> nextSuffix_;
};

std::vector<TrashOutcome> RunTrash(const std::vector<TrashItem>& items, const TrashHooks& hooks, bool checkOnly) {
  TrashRun run(checkOnly);
  std::vector<TrashOutcome> outcomes;
  outcomes.reserve(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    std::function<std::string()> before;
    if (hooks.beforeMove) before = [&hooks, i] { return hooks.beforeMove(i); };
    outcomes.push_back(run.Move(items[i], before));
    if (hooks.afterMove) hooks.afterMove(i, outcomes.back());
  }
  return outcomes;
}

}  // namespace

std::string UserDataFolder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') return data;
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.local/share";
}

// The user's data folder lies in the user's own tree, whose path may pass
// through links the user set up; the folders inside a trash are opened without them.
bool MakeFolders(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (path != "/" && !MakeFolders(Parent(path))) return false;
  return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

std::vector<TrashOutcome> MoveToTrash(const std::vector<TrashItem>& items, const TrashHooks& hooks) {
  return RunTrash(items, hooks, false);
}

std::vector<TrashOutcome> CheckTrash(const std::vector<TrashItem>& items, const TrashHooks& hooks) {
  return RunTrash(items, hooks, true);
}

bool IsTrashFolder(const std::function<std::string()>& parentPath, std::string_view name) {
  constexpr std::string_view kTopTrash = ".Trash", kUserTrash = ".Trash-";
  const bool userTrash =
      name.size() > kUserTrash.size() && name.substr(0, kUserTrash.size()) == kUserTrash &&
      std::all_of(name.begin() + kUserTrash.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (name != "Trash" && name != kTopTrash && !userTrash) return false;
  const std::string parent = parentPath();
  std::string path = parent;
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(name);
  struct stat entry;
  if (::lstat(path.c_str(), &entry) != 0 || !S_ISDIR(entry.st_mode)) return false;
  if (name == "Trash") {
    struct stat home;
    const std::string trash = HomeTrash();
    return !trash.empty() && ::stat(trash.c_str(), &home) == 0 && home.st_dev == entry.st_dev &&
           home.st_ino == entry.st_ino;
  }
  // At the top of a mount: the kernel says so (5.8 and later), or the folder
  // above lies on another device, or is the folder itself ("/").
  const posix::Fd top(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  MountPlace place;
  if (!top.Valid() || !QueryMountPlace(top.Get(), "", place)) return false;
  if (place.mountRoot) return true;
  struct stat here, up;
  return ::fstat(top.Get(), &here) == 0 && ::fstatat(top.Get(), "..", &up, 0) == 0 &&
         (here.st_dev != up.st_dev || here.st_ino == up.st_ino);
}

}  // namespace orvanta::platform
