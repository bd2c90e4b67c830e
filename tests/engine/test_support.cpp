#include "test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/windows/windows_text.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#endif

#include <algorithm>
#include <array>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace orvanta::test {
namespace {

// The path as std::filesystem takes it: on Windows from UTF-16, not the ANSI code page.
fs::path FsPath(const std::string& path) {
#ifdef _WIN32
  return fs::path(platform::windows::Wide(path));
#else
  return fs::path(path);
#endif
}

std::string CreatedParent(const std::string& path) {
  fs::create_directories(FsPath(path).parent_path());
  return path;
}

}  // namespace

void EditInPlaceKeepingTime(const std::string& path, const std::string& bytes) {
#ifdef _WIN32
  const HANDLE file = CreateFileW(platform::windows::SystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  FILETIME written;
  DWORD count = 0;
  const bool done = GetFileTime(file, nullptr, nullptr, &written) != 0 &&
                    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr) != 0 &&
                    count == bytes.size() && SetFileTime(file, nullptr, nullptr, &written) != 0;
  CloseHandle(file);
#else
  struct stat st;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  const bool done = ::fstat(fd, &st) == 0 &&
                    ::pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()) &&
                    ::futimens(fd, std::array<timespec, 2>{st.st_atim, st.st_mtim}.data()) == 0;
  ::close(fd);
#endif
  if (!done) throw std::runtime_error("cannot edit " + path + " in place");
}

TempTree::TempTree() {
#ifdef _WIN32
  // Process ids come back under Wine, and a run that died leaves its folders:
  // the first free name.
  for (unsigned n = 0;; ++n) {
    root_ =
        platform::JoinedPath(platform::TempFolder(), "orvanta-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                                                         std::to_string(GetTickCount64()) + "-" + std::to_string(n));
    if (CreateDirectoryW(platform::windows::SystemPath(root_).c_str(), nullptr) != 0) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create " + root_);
  }
#else
  std::string pattern = (fs::temp_directory_path() / "orvanta-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
#endif
}

#ifndef _WIN32
namespace {

// Removes a folder's contents through handles, so trees deeper than the path
// limit go too; folders a test locked away are opened again first.
void RemoveContents(int folder) {
  DIR* listing = ::fdopendir(::dup(folder));
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
      ::fchmodat(folder, name, 0755, 0);
      const int child = ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child >= 0) {
        RemoveContents(child);
        ::close(child);
      }
      ::unlinkat(folder, name, AT_REMOVEDIR);
    } else {
      ::unlinkat(folder, name, 0);
    }
  }
  ::closedir(listing);
}

}  // namespace
#endif

TempTree::~TempTree() {
#ifdef _WIN32
  std::error_code error;
  fs::remove_all(FsPath(root_), error);
#else
  ::chmod(root_.c_str(), 0755);
  const int root = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (root >= 0) {
    RemoveContents(root);
    ::close(root);
  }
  ::rmdir(root_.c_str());
#endif
}

std::string TempTree::Folder(const std::string& relative) const {
  std::string path = relative.empty() ? root_ : Path(relative);
  if (!platform::IsPathDelimiter(path.back())) path.push_back(platform::kPathDelimiter);
  return path;
}

std::string TempTree::Path(const std::string& relative) const {
  // Tests write "a/b"; on Windows the engine gives "a\b" back.
  std::string path = root_ + platform::kPathDelimiter + relative;
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(root_.size()), path.end(), '/', platform::kPathDelimiter);
  return path;
}

std::string TempTree::Relative(std::string_view path) const {
  std::string relative(path.substr(std::min(path.size(), root_.size() + 1)));
  std::replace(relative.begin(), relative.end(), platform::kPathDelimiter, '/');
  return relative;
}

std::string TempTree::File(const std::string& relative, const std::string& content) {
  const std::string path = CreatedParent(Path(relative));
  std::ofstream(FsPath(path), std::ios::binary) << content;
  return path;
}

std::string TempTree::FileOfSize(const std::string& relative, std::size_t size, char fill) {
  return File(relative, std::string(size, fill));
}

std::string TempTree::Dir(const std::string& relative) {
  const std::string path = Path(relative);
  fs::create_directories(FsPath(path));
  return path;
}

std::string TempTree::Symlink(const std::string& relative, const std::string& target) {
  const std::string path = CreatedParent(Path(relative));
  fs::create_symlink(FsPath(target), FsPath(path));
  return path;
}

std::string TempTree::HardLink(const std::string& relative, const std::string& existing) {
  const std::string path = CreatedParent(Path(relative));
  fs::create_hard_link(FsPath(existing), FsPath(path));
  return path;
}

std::string TempTree::Fifo(const std::string& relative) {
  const std::string path = CreatedParent(Path(relative));
#ifdef _WIN32
  throw std::runtime_error("no FIFOs on Windows: " + path);
#else
  if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
  return path;
#endif
}

bool TempTree::Resize(const std::string& path, std::uint64_t size) {
  std::error_code error;
  fs::resize_file(FsPath(path), size, error);
  return !error;
}

#ifndef _WIN32
std::string TempTree::DeepFile(const std::string& chain, std::size_t pathLength, const std::string& name,
                               const std::string& content) {
  const std::string folderName(200, 'n');
  std::string path = Dir(chain);
  int folder = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  while (folder >= 0 && path.size() + 1 + name.size() < pathLength) {
    ::mkdirat(folder, folderName.c_str(), 0755);
    const int child = ::openat(folder, folderName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(folder);
    folder = child;
    path += "/" + folderName;
  }
  const int file = folder < 0 ? -1 : ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const bool written =
      file >= 0 && ::write(file, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  if (file >= 0) ::close(file);
  if (folder >= 0) ::close(folder);
  if (!written) throw std::runtime_error("cannot make a file below " + path);
  return path + "/" + name;
}

std::string DiskState(const std::string& folder) {
  std::vector<std::string> lines;
  const auto add = [&lines](const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) throw std::runtime_error("cannot lstat " + path.string());
    std::string line = path.string() + " ino=" + std::to_string(st.st_ino) + " mode=" + std::to_string(st.st_mode) +
                       " owner=" + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) +
                       " links=" + std::to_string(st.st_nlink) + " size=" + std::to_string(st.st_size) +
                       " mtime=" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) +
                       " ctime=" + std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
    if (S_ISLNK(st.st_mode)) line += " -> " + fs::read_symlink(path).string();
    lines.push_back(std::move(line));
  };
  add(folder);
  for (const auto& entry : fs::recursive_directory_iterator(folder)) add(entry.path());
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}
#endif

#ifdef _WIN32
bool RunningAsRoot() { return false; }

Unreadable::Unreadable(const std::string& path) {
  const HANDLE handle = CreateFileW(platform::windows::SystemPath(path).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot hold " + path);
  handle_ = handle;
}

Unreadable::~Unreadable() { CloseHandle(handle_); }

void SetModifiedYear(const std::string& path, int year) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = 1;
  time.wDay = 1;
  FILETIME stamp;
  const HANDLE handle = CreateFileW(platform::windows::SystemPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  const bool ok = handle != INVALID_HANDLE_VALUE && SystemTimeToFileTime(&time, &stamp) != 0 &&
                  SetFileTime(handle, nullptr, &stamp, &stamp) != 0;
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  if (!ok) throw std::runtime_error("SetFileTime failed");
}
#else
bool RunningAsRoot() { return ::geteuid() == 0; }

Unreadable::Unreadable(const std::string& path) : path_(path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || ::chmod(path.c_str(), 0) != 0) throw std::runtime_error("chmod failed");
  mode_ = st.st_mode & 07777;
}

Unreadable::~Unreadable() { ::chmod(path_.c_str(), mode_); }

void SetModifiedYear(const std::string& path, int year) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mday = 1;
  const timespec stamp{::timegm(&time), 0};
  const timespec times[2] = {stamp, stamp};
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
    throw std::runtime_error("utimensat failed");
}
#endif

void MakePhotoTree(TempTree& tree) {
  for (const std::string name : {"a.jpg", "b.jpg"}) {
    SetModifiedYear(tree.File("photos/" + name, "photo " + name), 2020);
    SetModifiedYear(tree.File("photos_backup/" + name, "photo " + name), 2023);
  }
  SetModifiedYear(tree.File("music/song.mp3", "la la"), 2021);
  SetModifiedYear(tree.File("music copy/song.mp3", "la la"), 2019);
  SetModifiedYear(tree.File("music copy/old/deeper/song.mp3", "la la"), 2019);
  tree.File("documents/only.txt", "alone");
}

void MakeNestedTripTree(TempTree& tree) {
  for (const std::string top : {"photos", "backup"}) {
    tree.File(top + "/trip/day1/x.jpg", "day one");
    tree.File(top + "/trip/day2/y.jpg", "day two");
  }
  tree.File("photos/readme.txt", "only here");
  tree.File("loose/day1/x.jpg", "day one");
  for (const auto& [folder, year] : std::initializer_list<std::pair<const char*, int>>{{"photos/trip", 2018},
                                                                                       {"photos/trip/day1", 2018},
                                                                                       {"backup/trip", 2022},
                                                                                       {"backup/trip/day1", 2022},
                                                                                       {"loose/day1", 2024},
                                                                                       {"photos/trip/day2", 2025},
                                                                                       {"backup/trip/day2", 2017}}) {
    SetModifiedYear(tree.Path(folder), year);
  }
}

namespace {

void SetVariable(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  // An empty value removes the variable.
  _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
#endif
}

}  // namespace

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str()); old != nullptr) saved_ = old;
  SetVariable(name_, value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() { SetVariable(name_, saved_); }

namespace {

// The scratch home of this process. A child that a test forks and that leaves
// through exit() must not remove the parent's folder: only the owner does.
struct ScratchHomeHolder {
  std::unique_ptr<TempTree> tree;
  std::string root;
#ifndef _WIN32
  pid_t owner = 0;
  ~ScratchHomeHolder() {
    if (::getpid() != owner) (void)tree.release();
  }
#endif
};

ScratchHomeHolder& TheScratchHome() {
  static ScratchHomeHolder holder;
  return holder;
}

}  // namespace

void UseScratchHome() {
  ScratchHomeHolder& holder = TheScratchHome();
  if (holder.tree) return;
  holder.tree = std::make_unique<TempTree>();
#ifndef _WIN32
  holder.owner = ::getpid();
#endif
  holder.root = holder.tree->Root();
  const std::string home = holder.tree->Dir("home");
  for (const auto& [name, folder] :
       std::initializer_list<std::pair<const char*, const char*>>{{"XDG_CONFIG_HOME", "home/.config"},
                                                                  {"XDG_DATA_HOME", "home/.local/share"},
                                                                  {"XDG_CACHE_HOME", "home/.cache"}}) {
    SetVariable(name, holder.tree->Dir(folder));
  }
  SetVariable("HOME", home);
#ifdef _WIN32
  // Where the Windows build keeps the record of the last removal.
  SetVariable("LOCALAPPDATA", holder.tree->Dir("home/AppData/Local"));
#endif
}

const std::string& ScratchHome() { return TheScratchHome().root; }

platform::LinkItem LinkItemNow(const std::string& copy, const std::string& kept) {
  platform::LinkItem item{copy, {}, kept, {}};
  platform::QueryAttributes(copy, item.seen);
  platform::QueryAttributes(kept, item.keptSeen);
  return item;
}

TestTrash::TestTrash(const TempTree& tree)
    : dataHome_("XDG_DATA_HOME", tree.Path("data")), files_(tree.Path("data/Trash/files")) {}

TrashMover TestTrash::Mover() const {
#ifdef _WIN32
  return [this](const std::vector<platform::TrashItem>& items, const platform::TrashHooks& hooks) {
    return platform::windows::RecycleItems(items, hooks, nullptr, [this](SHFILEOPSTRUCTW& request) {
      fs::create_directories(FsPath(files_));
      const std::wstring files = FsPath(files_).wstring() + L"\\";
      for (const wchar_t* path = request.pFrom; *path != L'\0'; path += wcslen(path) + 1) {
        const std::wstring name = fs::path(path).filename().wstring();
        std::wstring target = files + name;
        // A name the trash holds already gets ".2", ".3", ... as in the desktop's trash.
        for (int n = 2; fs::exists(target); ++n) target = files + name + L"." + std::to_wstring(n);
        MoveFileExW(path, target.c_str(), 0);
      }
      return 0;
    });
  };
#else
  return platform::MoveToTrash;
#endif
}

void RecordingWindow::SetStatusText(const std::string& text) {
  calls.push_back("status:" + text);
  if (onStatus) onStatus(text);
}
void RecordingWindow::SetProgressRange(int minimum, int maximum) {
  calls.push_back("range:" + std::to_string(minimum) + "-" + std::to_string(maximum));
}
void RecordingWindow::SetProgressPosition(int position) { calls.push_back("pos:" + std::to_string(position)); }
void RecordingWindow::SetProgressMarquee(bool on) {
  calls.push_back(on ? "marquee:on" : "marquee:off");
  PumpMessages();
}
void RecordingWindow::PumpMessages() {
  calls.push_back("pump");
  ++pumps;
  if (onPump) onPump(pumps);
}
void RecordingWindow::SetBusyCursor(bool busy) { calls.push_back(busy ? "cursor:busy" : "cursor:default"); }
void RecordingWindow::EnableStop(bool enabled) { calls.push_back(enabled ? "stop:on" : "stop:off"); }

std::vector<std::string> RecordingWindow::Statuses() const {
  std::vector<std::string> result;
  for (const auto& call : calls) {
    if (call.rfind("status:", 0) == 0) result.push_back(call.substr(7));
  }
  return result;
}

std::vector<std::string> RecordingWindow::ShownStatuses() const {
  std::vector<std::string> shown;
  std::optional<std::string> pending;
  for (const auto& call : calls) {
    if (call.rfind("status:", 0) == 0) {
      pending = call.substr(7);
    } else if (call == "pump" && pending) {
      shown.push_back(std::move(*pending));
      pending.reset();
    }
  }
  if (pending) shown.push_back(std::move(*pending));
  return shown;
}

std::string RecordingWindow::LastStatus() const {
  const auto statuses = Statuses();
  return statuses.empty() ? std::string() : statuses.back();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace orvanta::test

namespace orvanta::test {

std::string TrashText(std::string windowsText) {
#ifndef _WIN32
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"checked to Recycle Bin", "checked to Trash"},
                                 {"to Recycle Bin", "to the Trash"},
                                 {"the Recycle Bin", "the Trash"}}) {
    for (std::size_t at = windowsText.find(from); at != std::string::npos;
         at = windowsText.find(from, at + to.size())) {
      windowsText.replace(at, from.size(), to);
    }
  }
#endif
  return windowsText;
}

}  // namespace orvanta::test
