// Moving or copying an item into a folder the person picked, never over
// anything that stands there.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/fd.h"
#include "platform/posix/seen_file.h"
#include "platform/posix/trash_posix.h"

namespace orvanta::platform {
namespace {

using posix::Fd;

constexpr std::size_t kCopyBufferBytes = 1 << 20;
constexpr const char* kTaken = "something already stands at its place in the destination folder";

std::string Why(const std::string& what, int error) { return what + ": " + std::strerror(error); }

std::string TemporaryName() {
  static std::atomic<unsigned> counter{0};
  return std::string(kCopyTemporaryPrefix) + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// A rename that never replaces what stands at the new name. Where the file
// system takes no RENAME_NOREPLACE, a file is linked there (which fails on
// an existing name) and its old name removed.
int RenameNoReplace(int fromFd, const std::string& from, int toFd, const std::string& to, bool file) {
  if (::renameat2(fromFd, from.c_str(), toFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL || !file) return -1;
  if (::linkat(fromFd, from.c_str(), toFd, to.c_str(), 0) != 0) return -1;
  ::unlinkat(fromFd, from.c_str(), 0);
  return 0;
}

// The folder the item goes into: the destination and the folders of the
// target below it, made where missing, each opened without following a link.
// A check makes none: it opens those that stand there, and the first one
// missing ends the way, as the move would make it and the rest below it.
class TargetFolder {
 public:
  // Empty when every folder is there (a check: or could be made); `Name()`
  // is then the item's new name.
  std::string Open(const std::string& destination, const std::string& target, bool checkOnly) {
    levels_.emplace_back(posix::OpenFolderNoLinks(destination));
    if (!levels_.back().Valid()) {
      return errno == ELOOP || errno == ENOTDIR ? "the destination folder is now a link or no folder"
                                                : Why("the destination folder", errno);
    }
    path_ = destination == "/" ? std::string() : destination;
    std::vector<std::string> names = TargetNames(target);
    if (names.empty()) return "no place for it below the destination folder";
    name_ = names.back();
    names.pop_back();
    for (const std::string& folder : names) {
      const int at = levels_.back().Get();
      bool made = false;
      if (struct stat st; checkOnly && ::fstatat(at, folder.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno == ENOENT ? posix::WriteRefusal(at) : errno;
        if (error != 0) return Why("a folder in the destination could not be made", error);
        // The move would make it and every one below it.
        missing_ = true;
        return {};
      }
      if (!checkOnly) {
        made = ::mkdirat(at, folder.c_str(), 0777) == 0;
        if (!made && errno != EEXIST) return Why("a folder in the destination could not be made", errno);
      }
      Fd next(::openat(at, folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!next.Valid()) {
        const int error = errno;
        if (made) ::unlinkat(at, folder.c_str(), AT_REMOVEDIR);
        return error == ELOOP || error == ENOTDIR ? "a folder on its way in the destination is a link or no folder"
                                                  : Why("a folder in the destination", error);
      }
      made_.push_back(made);
      names_.push_back(folder);
      levels_.push_back(std::move(next));
      path_ += "/" + folder;
    }
    return {};
  }

  // Removes the folders it made, innermost first, where they stayed empty.
  void RemoveMade() {
    for (std::size_t i = made_.size(); i-- > 0;) {
      if (made_[i]) ::unlinkat(levels_[i].Get(), names_[i].c_str(), AT_REMOVEDIR);
    }
  }

  // The folder it goes into; of a check that found one missing, the last
  // folder that stands on the way, where the rest would be made.
  int Get() const { return levels_.back().Get(); }
  // A check found a folder on the way missing: nothing stands at its place yet.
  bool Missing() const { return missing_; }
  const std::string& Name() const { return name_; }
  // The folder's path, for the comparison of a copy.
  std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::vector<Fd> levels_;  // the destination, then each folder below it
  std::vector<bool> made_;  // names_[i] was made in levels_[i]
  std::vector<std::string> names_;
  std::string name_, path_;
  bool missing_ = false;
};

// Copies the file under a temporary name beside its new name: written,
// given the original's mode, owner (where the process may) and times,
// flushed, compared by the caller, checked against the scan once more and
// renamed into place. Empty when it stands there; on any failure the
// temporary name is gone. A check stops before the temporary file.
std::string CopyInto(int parentFd, const std::string& name, const RelocationItem& item, TargetFolder& target,
                     const RelocationHooks& hooks, bool checkOnly) {
  if (!hooks.verifyCopy) return "its copy could not be compared";
  Fd source(::openat(parentFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  struct stat st;
  if (!source.Valid() || ::fstat(source.Get(), &st) != 0) return Why("open", errno);
  if (!posix::StillAsSeen(st, item.seen)) return "it changed since the scan";
  if (checkOnly) {
    // A folder the copy would make is its own to write in.
    const int error = target.Missing() ? 0 : posix::WriteRefusal(target.Get());
    return error != 0 ? Why("no temporary file in the destination", error) : std::string();
  }
  const std::string temporary = TemporaryName();
  Fd copy(::openat(target.Get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!copy.Valid()) return Why("no temporary file in the destination", errno);
  const auto abandon = [&](std::string why) {
    copy.Reset();
    ::unlinkat(target.Get(), temporary.c_str(), 0);
    return why;
  };
  std::vector<char> buffer(kCopyBufferBytes);
  for (;;) {
    const ssize_t n = ::read(source.Get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return abandon(Why("read", errno));
    if (n == 0) break;
    if (!WriteAll(copy.Get(), buffer.data(), static_cast<std::size_t>(n))) return abandon(Why("write", errno));
  }
  // The owner stays where the process may keep it, as mv keeps it.
  if (::fchown(copy.Get(), st.st_uid, st.st_gid) != 0) errno = 0;
  const timespec times[2] = {st.st_atim, st.st_mtim};
  if (::fchmod(copy.Get(), st.st_mode & 07777) != 0) return abandon(Why("its permissions could not be kept", errno));
  if (::futimens(copy.Get(), times) != 0) return abandon(Why("its times could not be kept", errno));
  if (::fsync(copy.Get()) != 0) return abandon(Why("sync", errno));
  copy.Reset();
  if (std::string why = hooks.verifyCopy(item.path, target.PathOf(temporary)); !why.empty()) return abandon(why);
  // What was copied is still the file the scan saw.
  struct stat now;
  if (::fstatat(parentFd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !posix::StillAsSeen(now, item.seen)) {
    return abandon("it changed while it was copied");
  }
  if (RenameNoReplace(target.Get(), temporary, target.Get(), target.Name(), true) != 0) {
    return abandon(errno == EEXIST ? std::string(kTaken) : Why("rename", errno));
  }
  if (Fd folder(::openat(target.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)); folder.Valid()) {
    ::fsync(folder.Get());
  }
  return {};
}

// Moves or copies the item, or with `checkOnly` makes every check of that
// and changes nothing: where the move or copy itself would meet a refusal of
// the kernel, the check asks for it (one mount, write access).
RelocationOutcome Relocate(const RelocationItem& item, RelocationKind kind, const RelocationHooks& hooks,
                           bool checkOnly) {
  RelocationOutcome outcome;
  const auto stay = [&outcome](std::string why) {
    outcome.reason = std::move(why);
    return outcome;
  };
  std::string parentPath, name;
  if (!posix::SplitPath(item.path, parentPath, name)) return stay("not an absolute path");
  Fd parent(posix::OpenFolderNoLinks(parentPath));
  if (!parent.Valid()) return stay(posix::FolderOpenReason(errno));
  struct stat st;
  if (::fstatat(parent.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return stay(std::strerror(errno));
  const bool folder = item.seen.kind == EntryKind::Folder, move = kind == RelocationKind::Move;
  const bool sameItem =
      folder ? S_ISDIR(st.st_mode) &&
                   (!item.seen.id.Known() || (static_cast<std::uint64_t>(st.st_dev) == item.seen.id.device &&
                                              static_cast<std::uint64_t>(st.st_ino) == item.seen.id.inode))
             : posix::StillAsSeen(st, item.seen);
  if (!sameItem) return stay("it is no longer the item that was scanned");
  if (folder && !move) return stay("a folder is not copied: copy its files from the file clone list");
  if (struct statvfs fs; move && ::fstatvfs(parent.Get(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0) {
    return stay("the file system is read-only");
  }
  if (hooks.beforeMove) {
    if (std::string reason = hooks.beforeMove(); !reason.empty()) return stay(std::move(reason));
  }
  TargetFolder target;
  const auto stayMade = [&](std::string why) {
    target.RemoveMade();
    return stay(std::move(why));
  };
  if (std::string why = target.Open(item.destination, item.target, checkOnly); !why.empty()) {
    return stayMade(std::move(why));
  }
  if (struct stat taken; !target.Missing()) {
    if (::fstatat(target.Get(), target.Name().c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) return stayMade(kTaken);
    if (errno != ENOENT) return stayMade(Why("its place in the destination", errno));
  }
  if (move) {
    // What is mounted inside would go along, as it would to the trash.
    if (std::string why = posix::MountReason(parent.Get(), name); !why.empty()) return stayMade(std::move(why));
    if (checkOnly) {
      if (posix::OnOneMount(parent.Get(), target.Get())) {
        // The rename writes in both folders, and in a folder its ".." entry.
        int error = posix::WriteRefusal(parent.Get());
        if (error == 0 && !target.Missing()) error = posix::WriteRefusal(target.Get());
        if (error == 0 && folder) error = posix::WriteRefusal(parent.Get(), name.c_str());
        if (error != 0) return stay(Why("rename", error));
        outcome.done = true;
        return outcome;
      }
    } else if (RenameNoReplace(parent.Get(), name, target.Get(), target.Name(), !folder) == 0) {
      outcome.done = true;
      return outcome;
    } else if (errno != EXDEV) {
      return stayMade(errno == EEXIST ? std::string(kTaken) : Why("rename", errno));
    }
    if (folder) return stayMade("a folder moves only within its file system, and the destination lies on another");
  }
  if (std::string why = CopyInto(parent.Get(), name, item, target, hooks, checkOnly); !why.empty()) {
    return stayMade(std::move(why));
  }
  if (move && checkOnly) {
    if (const int error = posix::WriteRefusal(parent.Get()); error != 0) {
      return stay(Why("its old place could not be emptied", error));
    }
  } else if (move) {
    // The original goes only now, and only while it is the file that was copied.
    struct stat now;
    const bool unchanged =
        ::fstatat(parent.Get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && posix::StillAsSeen(now, item.seen);
    if (!unchanged || ::unlinkat(parent.Get(), name.c_str(), 0) != 0) {
      const std::string why =
          unchanged ? Why("its old place could not be emptied", errno) : "it changed while it was copied";
      ::unlinkat(target.Get(), target.Name().c_str(), 0);
      return stayMade(why);
    }
  }
  outcome.copied = true;
  outcome.done = true;
  return outcome;
}

}  // namespace

RelocationOutcome RelocateItem(const RelocationItem& item, RelocationKind kind, const RelocationHooks& hooks) {
  return Relocate(item, kind, hooks, false);
}

RelocationOutcome CheckRelocation(const RelocationItem& item, RelocationKind kind, const RelocationHooks& hooks) {
  return Relocate(item, kind, hooks, true);
}

}  // namespace orvanta::platform
