// Replacing a copy with a copy-on-write clone or a hard link of the kept copy.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/fd.h"
#include "platform/posix/seen_file.h"
#include "platform/posix/trash_posix.h"

namespace orvanta::platform {
namespace {

using posix::Fd;

constexpr const char* kAclName = "system.posix_acl_access";

std::string Why(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

using posix::Nanoseconds;
using posix::StillAsSeen;

// A file of the path opened for reading, every folder on the way reached
// without following a link, and the file itself no link either.
struct OpenedFile {
  Fd folder, file;
  std::string name;
  struct stat st {};
  std::string error;
};

OpenedFile OpenNoLinks(const std::string& path) {
  OpenedFile opened;
  std::string folder;
  if (!posix::SplitPath(path, folder, opened.name)) {
    opened.error = "not an absolute path";
    return opened;
  }
  opened.folder = Fd(posix::OpenFolderNoLinks(folder));
  if (!opened.folder.Valid()) {
    opened.error = posix::FolderOpenReason(errno);
    return opened;
  }
  opened.file =
      Fd(::openat(opened.folder.Get(), opened.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!opened.file.Valid() || ::fstat(opened.file.Get(), &opened.st) != 0) opened.error = std::strerror(errno);
  return opened;
}

// The file's access control list as bytes; empty when it has none.
std::string Acl(int fd) {
  const ssize_t size = ::fgetxattr(fd, kAclName, nullptr, 0);
  if (size <= 0) return {};
  std::string value(static_cast<std::size_t>(size), '\0');
  const ssize_t read = ::fgetxattr(fd, kAclName, value.data(), value.size());
  value.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
  return value;
}

// Whether the file carries attributes a new file would not: an access
// control list or extended attributes of the user's. Security labels are
// the system's and set anew.
bool HasOwnAttributes(int fd) {
  const ssize_t size = ::flistxattr(fd, nullptr, 0);
  if (size <= 0) return false;
  std::string names(static_cast<std::size_t>(size), '\0');
  const ssize_t listed = ::flistxattr(fd, names.data(), names.size());
  if (listed < 0) return true;
  for (std::size_t at = 0; at < static_cast<std::size_t>(listed);) {
    const std::string name(names.c_str() + at);
    if (name.rfind("user.", 0) == 0 || name.rfind("system.posix_acl", 0) == 0 || name.rfind("trusted.", 0) == 0) {
      return true;
    }
    at += name.size() + 1;
  }
  return false;
}

// A name in the folder that nothing has: the temporary name a link is made
// under, recognisable by its prefix should a crash leave it behind.
std::string TemporaryName() {
  static std::atomic<unsigned> counter{0};
  return std::string(kLinkTemporaryPrefix) + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

// One replacement, or with `checkOnly` every check of it and no change: the
// clone is tried on an unnamed file (O_TMPFILE) that never gets a name in the
// folder and is gone when closed, and where the link or rename would need
// write access to the folder, the check asks for it.
class Replacement {
 public:
  Replacement(const LinkItem& item, const LinkCrashHook& crashHook, bool checkOnly)
      : item_(item), crashHook_(crashHook), checkOnly_(checkOnly) {}

  // Empty when both files can be reached and are still as the scan saw them.
  std::string Open() {
    copy_ = OpenNoLinks(item_.path);
    if (!copy_.error.empty()) return copy_.error;
    kept_ = OpenNoLinks(item_.keptPath);
    if (!kept_.error.empty()) return "its kept copy: " + kept_.error;
    if (!StillAsSeen(copy_.st, item_.seen)) return "it changed since the scan";
    if (!StillAsSeen(kept_.st, item_.keptSeen)) return "its kept copy changed since the scan";
    if (copy_.st.st_dev == kept_.st.st_dev && copy_.st.st_ino == kept_.st.st_ino) return "it is the kept copy itself";
    if (struct statvfs fs; ::fstatvfs(copy_.folder.Get(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0) {
      return "the file system is read-only";
    }
    return {};
  }

  // A clone of the kept copy's data with the copy's own mode, owner and
  // times; empty when it replaced the copy, else why not.
  std::string Clone(LinkOutcome& outcome) {
    if (HasOwnAttributes(copy_.file.Get())) {
      return "it has an access control list or extended attributes that a clone would not keep";
    }
    const std::string temporary = checkOnly_ ? std::string() : TemporaryName();
    Fd clone(checkOnly_ ? ::openat(copy_.folder.Get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600)
                        : ::openat(copy_.folder.Get(), temporary.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    // A file system without unnamed files is taken for one without clones too.
    if (!clone.Valid() && checkOnly_ && (errno == EOPNOTSUPP || errno == EISDIR)) errno = EOPNOTSUPP;
    else if (!clone.Valid()) return Why("no temporary file beside it");
    std::string why;
    if (!clone.Valid() || ::ioctl(clone.Get(), FICLONE, kept_.file.Get()) != 0) {
      why = errno == EOPNOTSUPP || errno == ENOTTY || errno == EXDEV || errno == EINVAL
                ? std::string("no copy-on-write clone here: ") + std::strerror(errno)
                : Why("clone");
    } else if (::fchown(clone.Get(), copy_.st.st_uid, copy_.st.st_gid) != 0) {
      why = Why("its owner could not be kept");
    } else if (::fchmod(clone.Get(), copy_.st.st_mode & 07777) != 0) {
      why = Why("its permissions could not be kept");
    } else if (const timespec times[2] = {copy_.st.st_atim, copy_.st.st_mtim}; ::futimens(clone.Get(), times) != 0) {
      why = Why("its times could not be kept");
    } else if (!checkOnly_ && ::fsync(clone.Get()) != 0) {
      why = Why("sync");
    }
    if (why.empty()) why = Commit(temporary, false, outcome);
    else if (!checkOnly_) ::unlinkat(copy_.folder.Get(), temporary.c_str(), 0);
    if (why.empty()) outcome.cloned = true;
    return why;
  }

  bool Crashed() const { return crashed_; }

  // A hard link to the kept copy, where nobody gains or loses access by it.
  std::string HardLink(LinkOutcome& outcome) {
    if (copy_.st.st_dev != kept_.st.st_dev) return "the kept copy lies on another file system";
    if (copy_.st.st_uid != kept_.st.st_uid) return "it belongs to another owner than the kept copy";
    if (copy_.st.st_gid != kept_.st.st_gid) return "it belongs to another group than the kept copy";
    if ((copy_.st.st_mode & 07777) != (kept_.st.st_mode & 07777)) return "its permissions differ from the kept copy's";
    if (Acl(copy_.file.Get()) != Acl(kept_.file.Get())) return "its access control list differs from the kept copy's";
    if (checkOnly_) {
      if (const int error = posix::WriteRefusal(copy_.folder.Get()); error != 0) {
        errno = error;
        return Why("hard link");
      }
      return Commit({}, true, outcome);
    }
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
      temporary = TemporaryName();
      if (::linkat(kept_.folder.Get(), kept_.name.c_str(), copy_.folder.Get(), temporary.c_str(), 0) == 0) break;
      if (errno != EEXIST || attempt > 100) return Why("hard link");
    }
    // The name linked is the kept copy the scan saw, not one swapped in since.
    struct stat linked;
    if (::fstatat(copy_.folder.Get(), temporary.c_str(), &linked, AT_SYMLINK_NOFOLLOW) != 0 ||
        linked.st_ino != kept_.st.st_ino || linked.st_dev != kept_.st.st_dev) {
      ::unlinkat(copy_.folder.Get(), temporary.c_str(), 0);
      return "its kept copy changed since the scan";
    }
    return Commit(temporary, true, outcome);
  }

 private:
  // The last checks, then the rename over the copy; the temporary name goes
  // on any failure (not on a simulated crash). A check has no temporary name.
  std::string Commit(const std::string& temporary, bool hardLink, LinkOutcome& outcome) {
    const auto abandon = [&](std::string why) {
      if (!temporary.empty()) ::unlinkat(copy_.folder.Get(), temporary.c_str(), 0);
      return why;
    };
    struct stat keptNow, copyNow;
    // A hard link moves the kept copy's change time; anything else it did not do.
    if (::fstat(kept_.file.Get(), &keptNow) != 0 || !StillAsSeen(keptNow, item_.keptSeen, !hardLink)) {
      return abandon("its kept copy changed since the scan");
    }
    if (::fstatat(copy_.folder.Get(), copy_.name.c_str(), &copyNow, AT_SYMLINK_NOFOLLOW) != 0 ||
        !StillAsSeen(copyNow, item_.seen)) {
      return abandon("it changed since the scan");
    }
    if (checkOnly_) {
      outcome.replaced = true;
      return {};
    }
    if (crashHook_ && !crashHook_(item_.path.substr(0, item_.path.rfind('/') + 1) + temporary)) {
      crashed_ = true;
      return "stopped between the link and the rename";
    }
    if (::renameat(copy_.folder.Get(), temporary.c_str(), copy_.folder.Get(), copy_.name.c_str()) != 0) {
      return abandon(Why("rename"));
    }
    outcome.replaced = true;
    if (::fstat(kept_.file.Get(), &keptNow) == 0) outcome.keptChanged = Nanoseconds(keptNow.st_ctim);
    return {};
  }

  const LinkItem& item_;
  const LinkCrashHook& crashHook_;
  bool checkOnly_;
  bool crashed_ = false;
  OpenedFile copy_, kept_;
};

LinkOutcome Link(const LinkItem& item, LinkKind kind, const LinkCrashHook& crashHook, bool checkOnly) {
  LinkOutcome outcome;
  Replacement replacement(item, crashHook, checkOnly);
  outcome.reason = replacement.Open();
  if (!outcome.reason.empty()) return outcome;
  std::string cloneWhy;
  if (kind != LinkKind::HardLinkOnly) {
    cloneWhy = replacement.Clone(outcome);
    if (outcome.replaced || kind == LinkKind::CloneOnly) {
      outcome.reason = cloneWhy;
      return outcome;
    }
  }
  // A simulated crash ends the replacement where it is.
  if (replacement.Crashed()) {
    outcome.reason = cloneWhy;
    return outcome;
  }
  const std::string hardWhy = replacement.HardLink(outcome);
  outcome.reason = hardWhy.empty() || cloneWhy.empty() ? hardWhy : hardWhy + "; " + cloneWhy;
  return outcome;
}

}  // namespace

LinkOutcome ReplaceWithLink(const LinkItem& item, LinkKind kind, const LinkCrashHook& crashHook) {
  return Link(item, kind, crashHook, false);
}

LinkOutcome CheckLink(const LinkItem& item, LinkKind kind) { return Link(item, kind, {}, true); }

}  // namespace orvanta::platform
