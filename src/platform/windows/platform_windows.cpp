#include <windows.h>
#include <bcrypt.h>
#include <winioctl.h>

#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {
namespace {

using windows::Narrow;
using windows::SystemPath;
using windows::Wide;

std::int64_t SizeOf(DWORD high, DWORD low) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(high) << 32 | low);
}

// Opens the item itself, never what a link points to, without read access, so
// neither a missing permission nor another program's exclusive hold stops it.
HANDLE OpenItem(const std::string& path) {
  return CreateFileW(SystemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The GUID path of the volume the folder lies on (empty where the system gives
// none). A file lies on its folder's volume (only folders are mount points), so
// the walk asks this once per folder instead of once per file: the lookup goes
// to the mount manager and cost as much as the rest of the walk.
std::wstring FolderVolumeGuid(const std::string& folder) {
  const HANDLE handle = OpenItem(folder);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::wstring guid = windows::VolumeGuidPath(handle);
  CloseHandle(handle);
  return guid;
}

// The folder part of a file's path, for FolderVolumeGuid.
std::string FolderOf(const std::string& path) {
  const std::size_t end = LastNameDelimiter(path);
  return end == std::string::npos ? std::string(".") : path.substr(0, end + 1);
}

// The identity of an open item: 128-bit FILE_ID_INFO where the volume has it
// (ReFS ids do not fit 64 bits), else the volume serial and 64-bit index; the
// device mixes in the volume's GUID path, so two volumes with equal serials
// and ids stay two. A folder's GUID path is asked of its own handle, a file's
// of its folder's (`folderGuid`): every way of asking (listing, path, open
// file) then agrees, even where the system gives the GUID path for some names
// only (Wine, for a file named CON).
FileId ReadId(HANDLE handle, const std::wstring* folderGuid = nullptr) {
  FileId id;
  std::uint64_t serial = 0;
  FILE_ID_INFO info;
  BY_HANDLE_FILE_INFORMATION basic;
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &info, sizeof info) != 0) {
    std::uint64_t low = 0, high = 0;
    std::memcpy(&low, info.FileId.Identifier, sizeof low);
    std::memcpy(&high, info.FileId.Identifier + sizeof low, sizeof high);
    serial = info.VolumeSerialNumber;
    id = windows::IdentityOf(serial, low, high);
  } else if (GetFileInformationByHandle(handle, &basic) != 0) {
    serial = basic.dwVolumeSerialNumber;
    id = windows::IdentityOf(serial, static_cast<std::uint64_t>(basic.nFileIndexHigh) << 32 | basic.nFileIndexLow, 0);
  }
  if (id.Known()) {
    id.device = windows::VolumeDevice(serial, folderGuid != nullptr ? *folderGuid : windows::VolumeGuidPath(handle));
  }
  return id;
}

// The identity and the change time, which the listing does not hold; both
// unknown (zero) when the item cannot be opened. With `listed`, the
// listing's write time and size are replaced by the open item's: NTFS updates
// a folder's entry only for the name a file was written through, so a file
// with several hard links may be listed with an old size and time. The size
// replaces the listing's only for such a file; its link count comes with it.
// `folderGuid`: for a file, its folder's volume GUID path (see ReadId).
FileId QueryId(const std::string& path, std::int64_t* changed = nullptr, FileAttributes* listed = nullptr,
               const std::wstring* folderGuid = nullptr) {
  const HANDLE handle = OpenItem(path);
  if (handle == INVALID_HANDLE_VALUE) return {};
  const FileId id = ReadId(handle, folderGuid);
  FILE_BASIC_INFO basic;
  if (changed != nullptr && GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) != 0) {
    *changed = basic.ChangeTime.QuadPart;
    if (listed != nullptr) listed->modified = basic.LastWriteTime.QuadPart;
  }
  FILE_STANDARD_INFO standard;
  if (listed != nullptr && listed->kind == EntryKind::File &&
      GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) != 0 &&
      standard.NumberOfLinks > 1) {
    listed->size = standard.EndOfFile.QuadPart;
  }
  CloseHandle(handle);
  return id;
}

// Kind of an open item (from its attributes and reparse tag), and whether its contents are elsewhere.
bool ReadKind(HANDLE handle, EntryKind& kind, bool* offline = nullptr) {
  FILE_ATTRIBUTE_TAG_INFO info;
  if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info) == 0) return false;
  kind = windows::KindOf(info.FileAttributes, info.ReparseTag);
  if (offline != nullptr) *offline = windows::ContentsElsewhere(info.FileAttributes);
  return true;
}

}  // namespace

struct FolderReader::State {
  std::string folder;
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data{};
  bool pending = false;  // `data` holds an entry not yet given out
  bool failed = false;
  bool empty = false;  // a folder without even "." and "..": a drive's empty root
  std::string name;    // the entry last given out, in UTF-8
  EntryKind kind = EntryKind::Unknown;
  std::int64_t size = 0;
  std::int64_t modified = 0;
  bool offline = false;
  // The folder's volume GUID path, asked once for all its files.
  std::optional<std::wstring> volumeGuid;

  const std::wstring& VolumeGuid() {
    if (!volumeGuid) volumeGuid = FolderVolumeGuid(folder);
    return *volumeGuid;
  }
};

FolderReader::FolderReader(const std::string& folder) : state_(std::make_unique<State>()) {
  state_->folder = folder;
  // A link to a folder is not entered: the walk reports it as a link and the
  // caller never opens it; a listed root is taken as the user gave it.
  const std::string pattern = JoinedPath(folder, "*");
  state_->find = FindFirstFileExW(SystemPath(pattern).c_str(), FindExInfoBasic, &state_->data, FindExSearchNameMatch,
                                  nullptr, FIND_FIRST_EX_LARGE_FETCH);
  state_->pending = state_->find != INVALID_HANDLE_VALUE;
  // A root lists no "." or "..", so an empty one has no entry at all, which
  // the listing reports as "file not found": an empty folder, not an unreadable one.
  state_->empty = !state_->pending && GetLastError() == ERROR_FILE_NOT_FOUND && FolderExists(folder);
}

FolderReader::FolderReader() : state_(std::make_unique<State>()) {}

FolderReader::~FolderReader() {
  if (state_->find != INVALID_HANDLE_VALUE) FindClose(state_->find);
}

std::unique_ptr<FolderReader> FolderReader::OpenSubfolder(std::string_view name) const {
  return std::make_unique<FolderReader>(JoinedPath(state_->folder, std::string(name)));
}

bool FolderReader::IsOpen() const { return state_->find != INVALID_HANDLE_VALUE || state_->empty; }

bool FolderReader::Failed() const { return state_->failed; }

bool FolderReader::Next(std::string_view& name, EntryKind& kind) {
  if (state_->find == INVALID_HANDLE_VALUE) return false;
  for (;;) {
    if (!state_->pending) {
      if (FindNextFileW(state_->find, &state_->data) == 0) {
        if (GetLastError() != ERROR_NO_MORE_FILES) state_->failed = true;
        return false;
      }
    }
    state_->pending = false;
    const wchar_t* n = state_->data.cFileName;
    if (n[0] == L'.' && (n[1] == L'\0' || (n[1] == L'.' && n[2] == L'\0'))) continue;
    state_->name = Narrow(n);
    // The listing holds the reparse tag in dwReserved0.
    state_->kind = windows::KindOf(state_->data.dwFileAttributes, state_->data.dwReserved0);
    state_->offline = windows::ContentsElsewhere(state_->data.dwFileAttributes);
    state_->size = SizeOf(state_->data.nFileSizeHigh, state_->data.nFileSizeLow);
    state_->modified = SizeOf(state_->data.ftLastWriteTime.dwHighDateTime, state_->data.ftLastWriteTime.dwLowDateTime);
    name = state_->name;
    kind = state_->kind;
    return true;
  }
}

bool FolderReader::QueryAttributes(std::string_view name, FileAttributes& attributes) const {
  if (state_->find == INVALID_HANDLE_VALUE) return false;
  const std::string path = JoinedPath(state_->folder, std::string(name));
  if (name != state_->name) {
    if (!platform::QueryAttributes(path, attributes)) return false;
    attributes.offline = attributes.offline || OfflineForTesting(name);
    return true;
  }
  // The listing already holds kind, size and whether the contents are here,
  // and they stay when only the identity cannot be read: the file is then
  // told apart by its path.
  attributes.kind = state_->kind;
  attributes.size = state_->size;
  attributes.modified = state_->modified;
  attributes.offline = state_->offline || OfflineForTesting(name);
  attributes.changed = 0;
  attributes.id = QueryId(path, &attributes.changed, &attributes, &state_->VolumeGuid());
  return true;
}

bool FolderReader::QueryFolderAttributes(FileAttributes& attributes) const {
  if (!IsOpen()) return false;
  attributes.kind = EntryKind::Folder;
  attributes.id = QueryId(state_->folder, nullptr, nullptr, &state_->VolumeGuid());
  return true;
}

bool FolderReader::QueryEntryContent(std::string_view name, std::string& content) const {
  if (state_->find == INVALID_HANDLE_VALUE) return false;
  const HANDLE handle = OpenItem(JoinedPath(state_->folder, std::string(name)));
  if (handle == INVALID_HANDLE_VALUE) return false;
  EntryKind kind = EntryKind::Unknown;
  bool ok = ReadKind(handle, kind) && kind != EntryKind::File && kind != EntryKind::Folder;
  if (ok && kind == EntryKind::Link) {
    // The reparse data holds the target; its bytes are compared as they are.
    content.resize(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD returned = 0;
    ok = DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, content.data(),
                         static_cast<DWORD>(content.size()), &returned, nullptr) != 0;
    content.resize(ok ? returned : 0);
  } else if (ok) {
    content = "other";
  }
  CloseHandle(handle);
  return ok;
}

bool QueryAttributes(const std::string& path, FileAttributes& attributes) {
  const HANDLE handle = OpenItem(path);
  if (handle != INVALID_HANDLE_VALUE) {
    FILE_STANDARD_INFO standard;
    FILE_BASIC_INFO basic;
    const bool ok = ReadKind(handle, attributes.kind, &attributes.offline) &&
                    GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) != 0 &&
                    GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) != 0;
    if (ok) {
      attributes.size = attributes.kind == EntryKind::Folder ? 0 : standard.EndOfFile.QuadPart;
      attributes.modified = basic.LastWriteTime.QuadPart;
      attributes.changed = basic.ChangeTime.QuadPart;
      if (attributes.kind == EntryKind::Folder) {
        attributes.id = ReadId(handle);
      } else {
        const std::wstring folderGuid = FolderVolumeGuid(FolderOf(path));
        attributes.id = ReadId(handle, &folderGuid);
      }
    }
    CloseHandle(handle);
    if (ok) return true;
  }
  // The item cannot be opened at all: what the folder entry says, without an
  // identity and without the reparse tag (so any reparse point counts as a link).
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data) == 0) return false;
  attributes.kind = windows::KindOf(data.dwFileAttributes, 0);
  attributes.offline = windows::ContentsElsewhere(data.dwFileAttributes);
  attributes.size = SizeOf(data.nFileSizeHigh, data.nFileSizeLow);
  attributes.modified = SizeOf(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
  attributes.id = {};
  return true;
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

unsigned LogicalProcessorCount() {
  const DWORD n = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return n < 1 ? 1u : static_cast<unsigned>(n);
}

// The process heap decommits large free blocks by itself.
void ReleaseFreedMemory() {}

// The process heap is shared by every thread already.
void KeepHeapSmall() {}

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto ticks = [](const FILETIME& t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;  // 100-ns ticks
}

// Resolved by text, not by GetFullPathNameW, which would drop a trailing dot or
// blank of the last name and so name another file.
std::string AbsolutePath(const std::string& path) { return windows::FullPath(path); }

// The full path: the Recycle Bin has no rule against links on the way, so
// nothing is gained by following them.
std::string RealPath(const std::string& path) {
  const std::string full = AbsolutePath(path);
  return GetFileAttributesW(SystemPath(full).c_str()) == INVALID_FILE_ATTRIBUTES ? std::string() : full;
}

std::optional<std::uint32_t> CurrentUserId() { return std::nullopt; }

// 100-nanosecond ticks since 1601.

std::string UserName(std::uint32_t) { return {}; }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

int StderrColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == 0) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

std::optional<unsigned> SystemLanguageId() { return GetSystemDefaultUILanguage(); }

std::string UserCacheFolder() {
  const wchar_t* folder = _wgetenv(L"LOCALAPPDATA");
  return folder != nullptr ? Narrow(folder) : std::string();
}

std::int64_t FileTimeNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

std::string TempFolder() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return ".";
  // The long form: a short 8.3 name would not match the folder's real name.
  wchar_t longForm[32768];
  const DWORD m = GetLongPathNameW(buffer, longForm, 32768);
  return Narrow(m > 0 && m < 32768 ? std::wstring_view(longForm, m) : std::wstring_view(buffer, n));
}

std::string ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const std::string utf8 = Narrow(path);
  return utf8.substr(0, utf8.find_last_of("\\/"));
}

std::string JoinedPath(const std::string& folder, const std::string& name) {
  return folder.empty() || IsPathDelimiter(folder.back()) ? folder + name : folder + "\\" + name;
}

}  // namespace orvanta::platform

namespace orvanta::platform {

namespace {

// Writes all of `data` from the start of the file and ends the file there; 0 or the error.
DWORD WriteFromStart(HANDLE handle, std::string_view data) {
  if (SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN) == 0) return GetLastError();
  for (std::size_t written = 0; written < data.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - written, 1u << 30));
    DWORD n = 0;
    if (WriteFile(handle, data.data() + written, chunk, &n, nullptr) == 0) return GetLastError();
    written += n;
  }
  return SetEndOfFile(handle) == 0 ? GetLastError() : 0;
}

// Replaces the contents of the open file itself, so that its hard links see
// them and no entry of its folder is made; the old bytes are kept in memory
// and written back when the new ones cannot all be written. 0 or the error.
DWORD ReplaceInPlace(HANDLE handle, const std::string& bytes) {
  std::string old;
  for (char buffer[65536];;) {
    DWORD n = 0;
    if (ReadFile(handle, buffer, sizeof buffer, &n, nullptr) == 0) return GetLastError();
    if (n == 0) break;
    old.append(buffer, n);
  }
  DWORD error = WriteFromStart(handle, bytes);
  if (error == 0 && FlushFileBuffers(handle) == 0) error = GetLastError();
  if (error != 0) {
    WriteFromStart(handle, old);
    FlushFileBuffers(handle);
  }
  return error;
}

// The number of names the file at the path has; 0 when nothing is there or it cannot be asked.
DWORD LinkCount(const std::string& path) {
  const HANDLE handle = OpenItem(path);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  const DWORD links = GetFileInformationByHandle(handle, &info) != 0 ? info.nNumberOfLinks : 0;
  CloseHandle(handle);
  return links;
}

}  // namespace

void ReplaceFileContents(const std::string& fileName, const std::string& bytes) {
  auto fail = [&fileName](DWORD error) {
    throw std::runtime_error("Cannot write \"" + fileName + "\": " + windows::ErrorText(error));
  };
  auto inPlace = [&] {
    const HANDLE file = CreateFileW(SystemPath(fileName).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) fail(GetLastError());
    const DWORD error = ReplaceInPlace(file, bytes);
    CloseHandle(file);
    if (error != 0) fail(error);
  };
  // A file with other hard links is written in place, or they would keep the old contents.
  if (LinkCount(fileName) > 1) return inPlace();
  const std::size_t slash = fileName.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
  std::string temp;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; handle == INVALID_HANDLE_VALUE; ++attempt) {
    temp = folder + ".orvanta-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + "-" +
           std::to_string(attempt);
    handle =
        CreateFileW(SystemPath(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) break;
    const DWORD error = GetLastError();
    // A folder that takes no new entry, while the file itself may be written.
    if (error == ERROR_ACCESS_DENIED && LinkCount(fileName) > 0) return inPlace();
    if (error != ERROR_FILE_EXISTS || attempt > 100) fail(error);
  }
  DWORD error = WriteFromStart(handle, bytes);
  if (error == 0 && FlushFileBuffers(handle) == 0) error = GetLastError();
  if (CloseHandle(handle) == 0 && error == 0) error = GetLastError();
  if (error == 0 && MoveFileExW(SystemPath(temp).c_str(), SystemPath(fileName).c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    error = GetLastError();
  }
  if (error != 0) {
    DeleteFileW(SystemPath(temp).c_str());
    fail(error);
  }
}

}  // namespace orvanta::platform

namespace orvanta::platform {

InputFile::~InputFile() { Close(); }

InputFile::OpenResult InputFile::Open(const std::string& path, std::string& error) {
  Close();
  const std::wstring systemPath = SystemPath(path);
  // Shared read, write and delete, as other programs may hold the file open,
  // and may rename or delete it while it is read.
  const auto open = [&systemPath](DWORD flags) {
    return CreateFileW(systemPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | flags, nullptr);
  };
  // The item itself first: a link put in the file's place is opened as itself and rejected.
  HANDLE handle = open(FILE_FLAG_OPEN_REPARSE_POINT);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return OpenResult::NotAFile;
    // A folder opened as a file is refused with "access denied": not a file, not an unreadable one.
    const DWORD attributes = GetFileAttributesW(systemPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return OpenResult::NotAFile;
    }
    // A sharing violation lands here too: another program holds the file exclusively.
    error = "Cannot open file \"" + path + "\": " + windows::ErrorText(e);
    return OpenResult::Failed;
  }
  handle_ = handle;
  volumeGuid_ = FolderVolumeGuid(FolderOf(path));
  FILE_ATTRIBUTE_TAG_INFO tag;
  if (GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) == 0 ||
      windows::KindOf(tag.FileAttributes, tag.ReparseTag) != EntryKind::File || GetFileType(handle) != FILE_TYPE_DISK) {
    Close();
    return OpenResult::NotAFile;
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // A cloud placeholder or deduplicated file gives its contents only when
    // opened through its filter; the reopened file must be the same one.
    const FileId id = ReadId(handle, &volumeGuid_);
    Close();
    handle = open(0);
    if (handle == INVALID_HANDLE_VALUE) {
      error = "Cannot open file \"" + path + "\": " + windows::ErrorText(GetLastError());
      return OpenResult::Failed;
    }
    handle_ = handle;
    if (!id.Known() || ReadId(handle, &volumeGuid_) != id) {
      Close();
      return OpenResult::NotAFile;
    }
  }
  FILE_STANDARD_INFO standard;
  if (GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) == 0) {
    error = "Cannot open file \"" + path + "\": " + windows::ErrorText(GetLastError());
    Close();
    return OpenResult::Failed;
  }
  size_ = standard.EndOfFile.QuadPart;
  return OpenResult::Opened;
}

bool InputFile::QueryAttributes(FileAttributes& attributes) const {
  const auto handle = static_cast<HANDLE>(handle_);
  FILE_STANDARD_INFO standard;
  FILE_BASIC_INFO basic;
  if (handle == nullptr || GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) == 0 ||
      GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) == 0) {
    return false;
  }
  attributes.kind = EntryKind::File;  // Open takes nothing else
  attributes.size = standard.EndOfFile.QuadPart;
  attributes.modified = basic.LastWriteTime.QuadPart;
  attributes.changed = basic.ChangeTime.QuadPart;
  attributes.id = ReadId(handle, &volumeGuid_);
  return true;
}

std::int64_t InputFile::Read(void* buffer, std::size_t capacity, std::string& error) {
  DWORD n = 0;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 30));
  if (ReadFile(static_cast<HANDLE>(handle_), buffer, want, &n, nullptr) == 0) {
    error = windows::ErrorText(GetLastError());
    return -1;
  }
  return n;
}

std::int64_t InputFile::ReadAt(void* buffer, std::size_t capacity, std::int64_t offset, std::string& error) {
  // On a handle opened for synchronous reads the offset in OVERLAPPED only
  // says where this read starts.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
  at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
  DWORD n = 0;
  const DWORD want = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 30));
  if (ReadFile(static_cast<HANDLE>(handle_), buffer, want, &n, &at) == 0) {
    const DWORD e = GetLastError();
    if (e == ERROR_HANDLE_EOF) return 0;
    error = windows::ErrorText(e);
    return -1;
  }
  return n;
}

// Windows reads them one after another.
struct BatchReader::Queue {};

BatchReader::BatchReader() = default;
BatchReader::~BatchReader() = default;

void BatchReader::ReadOneByOneForTesting(bool) {}

void BatchReader::OpenAll(std::span<BatchedOpen> opens) {
  for (BatchedOpen& open : opens) open.result = open.file->Open(*open.path, open.error);
}

void BatchReader::ReadAll(std::span<BatchedRead> reads) {
  std::string error;
  for (BatchedRead& read : reads) read.result = read.file->ReadAt(read.buffer, read.length, read.offset, error);
}

void BatchReader::CloseAll(std::span<InputFile> files) {
  for (InputFile& file : files) file.Close();
}

void InputFile::Close() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

namespace {

// CNG's SHA-1 provider, opened once for the process.
BCRYPT_ALG_HANDLE Sha1Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA1_ALGORITHM, nullptr, 0))) handle = nullptr;
    return handle;
  }();
  if (provider == nullptr) throw std::runtime_error("SHA-1 is not available");
  return provider;
}

std::atomic<bool> gSha1Fails{false};

}  // namespace

void Sha1::FailForTesting(bool fail) { gSha1Fails = fail; }

struct Sha1::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool dirty = false;   // data hashed since the last digest
  bool failed = false;  // a CNG call failed since the last digest

  State() { Create(); }
  ~State() {
    if (hash != nullptr) BCryptDestroyHash(hash);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  void Create() {
    // Reusable: the digest resets the object, so no allocation per file.
    if (!BCRYPT_SUCCESS(BCryptCreateHash(Sha1Provider(), &hash, nullptr, 0, nullptr, 0, BCRYPT_HASH_REUSABLE_FLAG))) {
      hash = nullptr;
      throw std::runtime_error("SHA-1 is not available");
    }
    dirty = false;
    failed = false;
  }
};

Sha1::Sha1() : state_(std::make_unique<State>()) {}

Sha1::~Sha1() = default;

void Sha1::Reset() {
  // A failed object is made anew: CNG leaves its state unknown.
  if (!state_->dirty && !state_->failed) return;
  BCryptDestroyHash(state_->hash);
  state_->hash = nullptr;
  state_->Create();
}

void Sha1::Update(const void* data, std::size_t length) {
  state_->dirty = true;
  auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
  while (length > 0 && !state_->failed) {
    const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(length, 1u << 30));
    if (!BCRYPT_SUCCESS(BCryptHashData(state_->hash, bytes, chunk, 0))) state_->failed = true;
    bytes += chunk;
    length -= chunk;
  }
}

bool Sha1::Finish(std::array<unsigned char, 20>& digest) {
  std::array<unsigned char, 20> bytes{};
  const bool finished =
      BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, bytes.data(), static_cast<ULONG>(bytes.size()), 0));
  const bool ok = finished && !state_->failed && !gSha1Fails.load();
  state_->dirty = false;
  state_->failed = state_->failed || !finished;
  if (ok) digest = bytes;
  return ok;
}

}  // namespace orvanta::platform

namespace orvanta::platform {

void ShellOpen(const std::string& file, const std::string& parameters) {
  const std::wstring wideFile = windows::Wide(file), wideParameters = windows::Wide(parameters);
  ShellExecuteW(nullptr, L"open", wideFile.c_str(), parameters.empty() ? nullptr : wideParameters.c_str(), nullptr,
                SW_SHOWNORMAL);
}

}  // namespace orvanta::platform
