#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#include <pwd.h>
#endif
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <stdexcept>

// The digest functions without the provider layer: fetching SHA-1 through
// EVP loads providers and their tables, 2 MiB of the process's memory for a
// digest these functions compute with the same code.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "platform/ascii.h"
#include "platform/posix/fd.h"
#include "platform/posix/long_paths.h"
#include "platform/posix/seen_file.h"

namespace orvanta::platform {
namespace {

EntryKind KindFromMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::File;
  if (S_ISDIR(mode)) return EntryKind::Folder;
  if (S_ISLNK(mode)) return EntryKind::Link;
  return EntryKind::Other;
}

EntryKind KindFromDirentType(unsigned char type) {
  switch (type) {
    case DT_REG: return EntryKind::File;
    case DT_DIR: return EntryKind::Folder;
    case DT_LNK: return EntryKind::Link;
    case DT_UNKNOWN: return EntryKind::Unknown;
    default: return EntryKind::Other;
  }
}

void FillAttributes(const struct stat& st, FileAttributes& attributes) {
  attributes.kind = KindFromMode(st.st_mode);
  attributes.size = static_cast<std::int64_t>(st.st_size);
  attributes.id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  attributes.modified = posix::Nanoseconds(st.st_mtim);
  attributes.changed = posix::Nanoseconds(st.st_ctim);
  attributes.owner = static_cast<std::uint32_t>(st.st_uid);
  attributes.shared = (st.st_mode & (S_IWGRP | S_IWOTH | S_ISVTX)) != 0;
  attributes.offline = false;
}

bool StatFollowingLinks(const std::string& path, struct stat& st) {
  return posix::AtPath(path, [&st](int at, const char* name) { return ::fstatat(at, name, &st, 0); }) == 0;
}

}  // namespace

struct FolderReader::State {
  DIR* dir = nullptr;
  bool failed = false;
};

FolderReader::FolderReader(const std::string& folder) : state_(std::make_unique<State>()) {
  // O_NOFOLLOW: a subfolder swapped for a link after it was listed is not entered.
  // A listed root ends in "/", which makes the kernel follow a link the user chose.
  const int fd = posix::AtPath(folder, [](int at, const char* name) {
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  });
  if (fd >= 0) {
    state_->dir = ::fdopendir(fd);
    if (state_->dir == nullptr) ::close(fd);
  }
}

FolderReader::FolderReader() : state_(std::make_unique<State>()) {}

FolderReader::~FolderReader() {
  if (state_->dir != nullptr) ::closedir(state_->dir);
}

std::unique_ptr<FolderReader> FolderReader::OpenSubfolder(std::string_view name) const {
  std::unique_ptr<FolderReader> sub(new FolderReader());
  if (state_->dir == nullptr) return sub;
  const int fd =
      ::openat(::dirfd(state_->dir), std::string(name).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    sub->state_->dir = ::fdopendir(fd);
    if (sub->state_->dir == nullptr) ::close(fd);
  }
  return sub;
}

bool FolderReader::IsOpen() const { return state_->dir != nullptr; }

bool FolderReader::Failed() const { return state_->failed; }

bool FolderReader::Next(std::string_view& name, EntryKind& kind) {
  if (state_->dir == nullptr) return false;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(state_->dir);
    if (entry == nullptr) {
      if (errno != 0) state_->failed = true;
      return false;
    }
    const char* n = entry->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    name = n;
    kind = KindFromDirentType(entry->d_type);
    return true;
  }
}

bool FolderReader::QueryAttributes(std::string_view name, FileAttributes& attributes) const {
  if (state_->dir == nullptr) return false;
  // d_name is NUL-terminated, so the view given out by Next can be passed on as is.
  struct stat st;
  if (::fstatat(::dirfd(state_->dir), std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  FillAttributes(st, attributes);
  attributes.offline = OfflineForTesting(name);
  return true;
}

bool FolderReader::QueryFolderAttributes(FileAttributes& attributes) const {
  if (state_->dir == nullptr) return false;
  struct stat st;
  if (::fstat(::dirfd(state_->dir), &st) != 0) return false;
  FillAttributes(st, attributes);
  return true;
}

bool FolderReader::QueryEntryContent(std::string_view name, std::string& content) const {
  if (state_->dir == nullptr) return false;
  const int at = ::dirfd(state_->dir);
  const std::string entry(name);
  struct stat st;
  if (::fstatat(at, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISLNK(st.st_mode)) {
    // st_size is the target's length, except on file systems that give 0.
    content.resize(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 256);
    for (;;) {
      const ssize_t n = ::readlinkat(at, entry.c_str(), content.data(), content.size());
      if (n < 0) return false;
      if (static_cast<std::size_t>(n) < content.size()) {
        content.resize(static_cast<std::size_t>(n));
        return true;
      }
      content.resize(content.size() * 2);
    }
  }
  if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return false;
  content = S_ISFIFO(st.st_mode)   ? "fifo"
            : S_ISSOCK(st.st_mode) ? "socket"
            : S_ISCHR(st.st_mode)  ? "character device "
            : S_ISBLK(st.st_mode)  ? "block device "
                                   : "other";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
    content += std::to_string(major(st.st_rdev)) + "," + std::to_string(minor(st.st_rdev));
  }
  return true;
}

bool QueryAttributes(const std::string& path, FileAttributes& attributes) {
  struct stat st;
  if (posix::AtPath(path, [&st](int at, const char* name) { return ::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW); }) !=
      0) {
    return false;
  }
  FillAttributes(st, attributes);
  return true;
}

bool FolderExists(const std::string& path) {
  struct stat st;
  return StatFollowingLinks(path, st) && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return StatFollowingLinks(path, st) && !S_ISDIR(st.st_mode);
}

std::string LowerCase(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::int32_t length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    const std::uint8_t b = bytes[i];
    if (b < 0x80) {
      result.push_back(static_cast<char>(AsciiLower(b)));
      ++i;
      continue;
    }
    const std::int32_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {
      result.append(text.substr(start, i - start));
      continue;
    }
    std::uint8_t out[U8_MAX_LENGTH];
    std::int32_t n = 0;
    U8_APPEND_UNSAFE(out, n, u_tolower(c));
    result.append(reinterpret_cast<const char*>(out), n);
  }
  return result;
}

unsigned LogicalProcessorCount() {
  const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
  return n < 1 ? 1u : static_cast<unsigned>(n);
}

void ReleaseFreedMemory() {
#ifdef __GLIBC__
  ::malloc_trim(0);
#endif
}

void KeepHeapSmall() {
#ifdef __GLIBC__
  ::mallopt(M_ARENA_MAX, 1);
  // glibc's default, held fixed: setting it stops the threshold from rising.
  ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

std::int64_t FileTimeNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return posix::Nanoseconds(now);
}

double ProcessCpuSeconds() {
  timespec used{};
  if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) != 0) return 0;
  return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return path;
  // ".." is resolved as the kernel does, through links ("link/.." is the link
  // target's parent); the rest keeps the names given, a linked folder too.
  std::filesystem::path resolved, rest;
  for (const std::filesystem::path& part : absolute) {
    rest /= part;
    if (part == "..") {
      resolved = std::filesystem::canonical(resolved / rest, error);
      if (error) return absolute.lexically_normal().string();
      rest.clear();
    }
  }
  return (resolved / rest).lexically_normal().string();
}

std::string RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string result = resolved;
  std::free(resolved);
  return result;
}

std::optional<std::uint32_t> CurrentUserId() { return static_cast<std::uint32_t>(::geteuid()); }

std::string UserName(std::uint32_t owner) {
  if (owner == kNoOwner) return {};
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(static_cast<uid_t>(owner), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_name == nullptr) {
    return {};
  }
  return found->pw_name;
}

}  // namespace orvanta::platform

namespace orvanta::platform {

namespace {

// Writes all of `data` from the start of the file; 0 or the errno.
int WriteFromStart(int fd, std::string_view data) {
  std::size_t written = 0;
  while (written < data.size()) {
    const ssize_t n = ::pwrite(fd, data.data() + written, data.size() - written, static_cast<off_t>(written));
    if (n < 0 && errno != EINTR) return errno;
    if (n > 0) written += static_cast<std::size_t>(n);
  }
  return 0;
}

// Replaces the contents of the open file itself, so that every hard link sees
// them and no entry of its folder is made. The old bytes are kept in memory
// first and written back when the new ones cannot all be written; 0 or the errno.
int ReplaceInPlace(int fd, const std::string& bytes) {
  std::string old;
  for (char buffer[65536];;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(old.size()));
    if (n < 0 && errno != EINTR) return errno;
    if (n == 0) break;
    if (n > 0) old.append(buffer, static_cast<std::size_t>(n));
  }
  int error = WriteFromStart(fd, bytes);
  if (error == 0 && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) error = errno;
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (error != 0) {
    // Blocks the old bytes held are still the file's: writing them back needs no new space.
    [[maybe_unused]] const int restored = WriteFromStart(fd, old);
    [[maybe_unused]] const int truncated = ::ftruncate(fd, static_cast<off_t>(old.size()));
    [[maybe_unused]] const int synced = ::fsync(fd);
  }
  return error;
}

}  // namespace

void ReplaceFileContents(const std::string& fileName, const std::string& bytes) {
  auto fail = [&fileName](const std::string& why) {
    throw std::runtime_error("Cannot write \"" + fileName + "\": " + why);
  };
  std::string target = fileName;
  struct stat existing;
  bool exists = ::lstat(target.c_str(), &existing) == 0;
  if (exists && S_ISLNK(existing.st_mode)) {
    // The file the link names is written; the link itself stays.
    char* resolved = ::realpath(fileName.c_str(), nullptr);
    if (resolved == nullptr) fail(std::strerror(errno));
    target = resolved;
    std::free(resolved);
    exists = ::lstat(target.c_str(), &existing) == 0;
  }
  if (exists && !S_ISREG(existing.st_mode)) fail("not a regular file");

  const std::string folder(std::string_view(target).substr(0, target.rfind('/') + 1));
  std::string temp = folder + ".orvanta-XXXXXX";
  // A file with other hard links is written in place, or they would keep the
  // old contents; so is one whose folder takes no new entry while it can be written.
  const int fd = exists && existing.st_nlink > 1 ? -1 : ::mkstemp(temp.data());
  if (fd < 0) {
    const int tempError = errno;
    if (!exists) fail(std::strerror(tempError));
    // O_NOFOLLOW and the identity: the file looked at above, not one put in its place.
    const int file = ::open(target.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file < 0) fail(std::strerror(existing.st_nlink > 1 ? errno : tempError));
    struct stat opened;
    int error = ::fstat(file, &opened) != 0 ? errno : 0;
    if (error == 0 &&
        (!S_ISREG(opened.st_mode) || opened.st_dev != existing.st_dev || opened.st_ino != existing.st_ino)) {
      ::close(file);
      fail("not the file it was a moment ago");
    }
    if (error == 0) error = ReplaceInPlace(file, bytes);
    if (::close(file) != 0 && error == 0) error = errno;
    if (error != 0) fail(std::strerror(error));
    return;
  }
  int error = WriteFromStart(fd, bytes);
  mode_t mode;
  if (exists) {
    // Another owner is kept where the process may set it (root); otherwise the file becomes the writer's.
    if (::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      [[maybe_unused]] const int groupKept = ::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
    }
    mode = existing.st_mode & 0777;
  } else {
    // mkstemp makes the file private; give it the mode an ordinary new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (error == 0 && ::fchmod(fd, mode) != 0) error = errno;
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    fail(std::strerror(error));
  }
}

}  // namespace orvanta::platform

namespace orvanta::platform {

InputFile::~InputFile() { Close(); }

InputFile::OpenResult InputFile::Open(const std::string& path, std::string& error) {
  const int fd =
      posix::AtPath(path, [](int at, const char* name) { return ::openat(at, name, posix::kInputFileFlags); });
  return Adopt(fd, errno, path, error);
}

InputFile::OpenResult InputFile::Adopt(int fd, int failure, const std::string& path, std::string& error) {
  Close();
  fd_ = fd;
  if (fd_ < 0) {
    if (failure == ENOENT || failure == ENOTDIR || failure == ELOOP) return OpenResult::NotAFile;
    error = "Cannot open file \"" + path + "\": " + std::strerror(failure);
    return OpenResult::Failed;
  }
  struct stat st;
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    Close();
    return OpenResult::NotAFile;
  }
  size_ = static_cast<std::int64_t>(st.st_size);
  return OpenResult::Opened;
}

bool InputFile::QueryAttributes(FileAttributes& attributes) const {
  struct stat st;
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
  FillAttributes(st, attributes);
  return true;
}

std::int64_t InputFile::Read(void* buffer, std::size_t capacity, std::string& error) {
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, capacity);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    error = std::strerror(errno);
    return -1;
  }
}

std::int64_t InputFile::ReadAt(void* buffer, std::size_t capacity, std::int64_t offset, std::string& error) {
  for (;;) {
    const ssize_t n = ::pread(fd_, buffer, capacity, static_cast<off_t>(offset));
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    error = std::strerror(errno);
    return -1;
  }
}

void InputFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

namespace {
std::atomic<bool> gSha1Fails{false};
}  // namespace

void Sha1::FailForTesting(bool fail) { gSha1Fails = fail; }

struct Sha1::State {
  SHA_CTX context;
  bool failed = false;  // a step failed since the last digest
};

Sha1::Sha1() : state_(std::make_unique<State>()) { Reset(); }

Sha1::~Sha1() = default;

void Sha1::Reset() {
  if (SHA1_Init(&state_->context) != 1) throw std::runtime_error("SHA-1 is not available");
  state_->failed = false;
}

void Sha1::Update(const void* data, std::size_t length) {
  if (SHA1_Update(&state_->context, data, length) != 1) state_->failed = true;
}

bool Sha1::Finish(std::array<unsigned char, 20>& digest) {
  static_assert(SHA_DIGEST_LENGTH == 20);
  unsigned char bytes[SHA_DIGEST_LENGTH];
  const bool ok = SHA1_Final(bytes, &state_->context) == 1 && !state_->failed && !gSha1Fails.load();
  if (ok) std::memcpy(digest.data(), bytes, digest.size());
  return ok;
}

}  // namespace orvanta::platform
