#include <windows.h>
#include <bcrypt.h>

#include <io.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {
namespace {

using windows::Narrow;
using windows::SystemPath;
using windows::Wide;

EntryKind KindFromAttributes(DWORD attributes) {
  // Reparse points (symbolic links, junctions) are links: never followed.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryKind::Link;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::Folder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryKind::Other;
  return EntryKind::File;
}

std::int64_t SizeOf(DWORD high, DWORD low) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(high) << 32 | low);
}

// Volume serial number and file index: the identity of a file, read without
// following a link and without read access.
bool QueryId(const std::string& path, FileId& id) {
  const HANDLE handle = CreateFileW(SystemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (ok) id = {info.dwVolumeSerialNumber, static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  return ok;
}

}  // namespace

struct FolderReader::State {
  std::string folder;
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data{};
  bool pending = false;  // `data` holds an entry not yet given out
  bool failed = false;
  std::string name;      // the entry last given out, in UTF-8
  DWORD attributes = 0;
  std::int64_t size = 0;
  std::int64_t modified = 0;
};

FolderReader::FolderReader(const std::string& folder) : state_(std::make_unique<State>()) {
  state_->folder = folder;
  // A link to a folder is not entered: the walk reports it as a link and the
  // caller never opens it; a listed root is taken as the user gave it.
  const std::string pattern = JoinedPath(folder, "*");
  state_->find = FindFirstFileExW(SystemPath(pattern).c_str(), FindExInfoBasic, &state_->data,
                                  FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  state_->pending = state_->find != INVALID_HANDLE_VALUE;
}

FolderReader::~FolderReader() {
  if (state_->find != INVALID_HANDLE_VALUE) FindClose(state_->find);
}

bool FolderReader::IsOpen() const { return state_->find != INVALID_HANDLE_VALUE; }

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
    state_->attributes = state_->data.dwFileAttributes;
    state_->size = SizeOf(state_->data.nFileSizeHigh, state_->data.nFileSizeLow);
    state_->modified = SizeOf(state_->data.ftLastWriteTime.dwHighDateTime, state_->data.ftLastWriteTime.dwLowDateTime);
    name = state_->name;
    kind = KindFromAttributes(state_->attributes);
    return true;
  }
}

bool FolderReader::QueryAttributes(std::string_view name, FileAttributes& attributes) const {
  if (state_->find == INVALID_HANDLE_VALUE) return false;
  const std::string path = JoinedPath(state_->folder, std::string(name));
  if (name != state_->name) return platform::QueryAttributes(path, attributes);
  // The listing already holds kind and size; only the identity needs the file.
  attributes.kind = KindFromAttributes(state_->attributes);
  attributes.size = state_->size;
  attributes.modified = state_->modified;
  if (!QueryId(path, attributes.id)) return false;
  return true;
}

bool FolderReader::QueryFolderId(FileId& id) const {
  return state_->find != INVALID_HANDLE_VALUE && QueryId(state_->folder, id);
}

bool QueryAttributes(const std::string& path, FileAttributes& attributes) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data) == 0) return false;
  attributes.kind = KindFromAttributes(data.dwFileAttributes);
  attributes.size = SizeOf(data.nFileSizeHigh, data.nFileSizeLow);
  attributes.modified = SizeOf(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
  attributes.id = {};
  QueryId(path, attributes.id);
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

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto ticks = [](const FILETIME& t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;  // 100-ns ticks
}

std::string AbsolutePath(const std::string& path) {
  // GetFullPathNameW also turns a typed "/" into "\" and resolves "." and "..".
  const std::wstring wide = Wide(path);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return path;
    if (n < full.size()) {
      full.resize(n);
      return Narrow(full);
    }
    full.resize(n);
  }
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int StderrColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == 0) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

std::optional<unsigned> SystemLanguageId() { return GetSystemDefaultUILanguage(); }

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

void ReplaceFileContents(const std::string& fileName, const std::string& bytes) {
  auto fail = [&fileName](DWORD error) {
    throw std::runtime_error("Cannot write \"" + fileName + "\": " + windows::ErrorText(error));
  };
  const std::size_t slash = fileName.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
  std::string temp;
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; handle == INVALID_HANDLE_VALUE; ++attempt) {
    temp = folder + ".orvanta-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) +
           "-" + std::to_string(attempt);
    handle = CreateFileW(SystemPath(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt > 100)) fail(GetLastError());
  }
  DWORD error = 0;
  std::size_t written = 0;
  while (written < bytes.size() && error == 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
    DWORD n = 0;
    if (WriteFile(handle, bytes.data() + written, chunk, &n, nullptr) == 0) {
      error = GetLastError();
    } else {
      written += n;
    }
  }
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
  // Shared read and write, as other programs may hold the file open; a link put
  // in the file's place is opened as itself and then rejected.
  const HANDLE handle = CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return OpenResult::NotAFile;
    error = "Cannot open file \"" + path + "\": " + windows::ErrorText(e);
    return OpenResult::Failed;
  }
  handle_ = handle;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(handle, &info) == 0 || GetFileType(handle) != FILE_TYPE_DISK ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
    Close();
    return OpenResult::NotAFile;
  }
  size_ = SizeOf(info.nFileSizeHigh, info.nFileSizeLow);
  return OpenResult::Opened;
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

struct Sha1State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool dirty = false;  // data hashed since the last digest
};

void CreateHash(Sha1State& state) {
  // Reusable: the digest resets the object, so no allocation per file.
  if (!BCRYPT_SUCCESS(BCryptCreateHash(Sha1Provider(), &state.hash, nullptr, 0, nullptr, 0, BCRYPT_HASH_REUSABLE_FLAG))) {
    throw std::runtime_error("SHA-1 is not available");
  }
  state.dirty = false;
}

}  // namespace

Sha1::Sha1() : context_(new Sha1State) {
  try {
    CreateHash(*static_cast<Sha1State*>(context_));
  } catch (...) {
    delete static_cast<Sha1State*>(context_);
    throw;
  }
}

Sha1::~Sha1() {
  auto* state = static_cast<Sha1State*>(context_);
  if (state->hash != nullptr) BCryptDestroyHash(state->hash);
  delete state;
}

void Sha1::Reset() {
  auto* state = static_cast<Sha1State*>(context_);
  if (!state->dirty) return;
  BCryptDestroyHash(state->hash);
  state->hash = nullptr;
  CreateHash(*state);
}

void Sha1::Update(const void* data, std::size_t length) {
  auto* state = static_cast<Sha1State*>(context_);
  state->dirty = true;
  auto* bytes = static_cast<unsigned char*>(const_cast<void*>(data));
  while (length > 0) {
    const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(length, 1u << 30));
    BCryptHashData(state->hash, bytes, chunk, 0);
    bytes += chunk;
    length -= chunk;
  }
}

void Sha1::FinishHex(char* hex) {
  auto* state = static_cast<Sha1State*>(context_);
  unsigned char digest[20];
  BCryptFinishHash(state->hash, digest, sizeof digest, 0);
  state->dirty = false;
  static constexpr char kHex[] = "0123456789abcdef";
  for (unsigned i = 0; i < sizeof digest; ++i) {
    hex[2 * i] = kHex[digest[i] >> 4];
    hex[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
}

}  // namespace orvanta::platform

namespace orvanta::platform {

void ShellOpen(const std::string& file, const std::string& parameters) {
  const std::wstring wideFile = windows::Wide(file), wideParameters = windows::Wide(parameters);
  ShellExecuteW(nullptr, L"open", wideFile.c_str(), parameters.empty() ? nullptr : wideParameters.c_str(), nullptr,
                SW_SHOWNORMAL);
}

}  // namespace orvanta::platform
