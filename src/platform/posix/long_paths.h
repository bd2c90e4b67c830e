// Paths longer than the kernel takes in one call (PATH_MAX, 4096 bytes): a
// tree may go deeper than that, and its files are still reached, listed and
// read under their full paths.
#pragma once

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace orvanta::platform::posix {

// Opens the folder part of a long path piece by piece, each piece shorter than
// the limit and opened relative to the one before (links in it are followed,
// as the kernel follows them in a short path). Returns the folder's handle,
// or -1 with errno set.
inline int OpenLongFolder(const std::string& folder) {
  int current = AT_FDCWD;
  std::size_t start = 0;
  while (start < folder.size()) {
    std::size_t end = folder.size();
    if (end - start >= PATH_MAX) {
      // The last delimiter that keeps the piece under the limit; a name is at
      // most NAME_MAX bytes, so one always exists past the start.
      end = folder.rfind('/', start + PATH_MAX - 1);
      if (end == std::string::npos || end <= start) {
        if (current != AT_FDCWD) ::close(current);
        errno = ENAMETOOLONG;
        return -1;
      }
    }
    const std::string piece = folder.substr(start, end - start);
    const int next = ::openat(current, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int error = errno;
    if (current != AT_FDCWD) ::close(current);
    if (next < 0) {
      errno = error;
      return -1;
    }
    current = next;
    start = end;
    while (start < folder.size() && folder[start] == '/') ++start;
  }
  return current == AT_FDCWD ? ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC) : current;
}

// Runs call(folderHandle, name) for the item at `path`: (AT_FDCWD, path) when
// the path fits in one call, else the handle of its folder, opened piece by
// piece, and its last name ("." for a path that ends in "/", so a link named
// as a folder is followed as in a short path). Returns what the call returns,
// or -1 with errno set when the folder could not be opened.
template <class Call>
auto AtPath(const std::string& path, Call call) -> decltype(call(AT_FDCWD, "")) {
  if (path.size() < PATH_MAX) return call(AT_FDCWD, path.c_str());
  std::string folder, name;
  if (path.back() == '/') {
    folder = path;
    name = ".";
  } else {
    const std::size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    name = path.substr(slash + 1);
  }
  const int folderFd = OpenLongFolder(folder);
  if (folderFd < 0) return -1;
  const auto result = call(folderFd, name.c_str());
  const int error = errno;
  ::close(folderFd);
  errno = error;
  return result;
}

}  // namespace orvanta::platform::posix
