// What the POSIX actions on a scanned item share: whether a file is still
// the one the scan saw, an absolute path split into folder and name, and why
// its folder could not be opened.
#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace orvanta::platform::posix {

inline std::int64_t Nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// Whether the file is still the one the scan saw: identity, size, write time
// and, unless told otherwise, change time (where the scan knew it).
inline bool StillAsSeen(const struct stat& st, const FileAttributes& seen, bool changeTimeCounts = true) {
  return S_ISREG(st.st_mode) && static_cast<std::int64_t>(st.st_size) == seen.size &&
         (!seen.id.Known() || (static_cast<std::uint64_t>(st.st_dev) == seen.id.device &&
                               static_cast<std::uint64_t>(st.st_ino) == seen.id.inode)) &&
         Nanoseconds(st.st_mtim) == seen.modified &&
         (!changeTimeCounts || seen.changed == 0 || Nanoseconds(st.st_ctim) == seen.changed);
}

// The folder and the name of an absolute path; false when it has no name.
inline bool SplitPath(const std::string& path, std::string& folder, std::string& name) {
  const auto slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == std::string::npos) return false;
  folder = slash == 0 ? "/" : path.substr(0, slash);
  name = path.substr(slash + 1);
  return !name.empty() && name != "." && name != "..";
}

// Why OpenFolderNoLinks failed with `error`, as the actions report it.
inline std::string FolderOpenReason(int error) {
  return error == ELOOP || error == ENOTDIR ? "a folder on its path is now a link or no folder" : std::strerror(error);
}

}  // namespace orvanta::platform::posix
