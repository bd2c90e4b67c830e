// Moving or copying an item into a folder the person picked, never over
// anything that stands there.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {
namespace {

using windows::ErrorText;
using windows::SystemPath;

constexpr const char* kTaken = "something already stands at its place in the destination folder";

std::string Why(const char* what, DWORD code = GetLastError()) { return std::string(what) + ": " + ErrorText(code); }

bool Taken(DWORD code) { return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS; }

// The folder the item goes into, its folders below the destination made
// where missing; none of them may be a link. Empty when every one is there.
// A check makes none: the first one missing ends the way (`missing`), as
// the move would make it and the rest below it; `folder` is then the last
// one standing.
std::string MakeTargetFolders(const RelocationItem& item, std::string& folder, std::string& name,
                              std::vector<std::string>& made, bool checkOnly, bool& missing) {
  folder = item.destination;
  while (!folder.empty() && IsPathDelimiter(folder.back())) folder.pop_back();
  std::vector<std::string> names = TargetNames(item.target);
  if (names.empty()) return "no place for it below the destination folder";
  name = names.back();
  names.pop_back();
  for (const std::string& n : names) {
    if (checkOnly && GetFileAttributesW(SystemPath(folder + '\\' + n).c_str()) == INVALID_FILE_ATTRIBUTES &&
        (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)) {
      missing = true;
      return {};
    }
    folder += '\\' + n;
    if (!checkOnly) {
      if (CreateDirectoryW(SystemPath(folder).c_str(), nullptr) != 0) {
        made.push_back(folder);
      } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
        return Why("a folder in the destination could not be made");
      }
    }
    const DWORD attributes = GetFileAttributesW(SystemPath(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return "a folder on its way in the destination is a link or no folder";
    }
  }
  return {};
}

bool StillAsSeen(const std::string& path, const FileAttributes& seen) {
  FileAttributes now;
  if (!QueryAttributes(path, now) || now.kind != seen.kind || (seen.id.Known() && now.id != seen.id)) return false;
  return seen.kind != EntryKind::File || (now.size == seen.size && now.modified == seen.modified);
}

// Whether the two lie on one volume, where a move is one rename.
bool OnOneVolume(const std::string& path, const std::string& folder) {
  FileAttributes one, other;
  return QueryAttributes(path, one) && QueryAttributes(folder, other) && one.id.device == other.id.device;
}

// Moves or copies the item, or with `checkOnly` makes every check of that
// and changes nothing.
RelocationOutcome Relocate(const RelocationItem& item, RelocationKind kind, const RelocationHooks& hooks,
                           bool checkOnly) {
  RelocationOutcome outcome;
  std::vector<std::string> made;
  const auto stay = [&](std::string why) {
    for (auto it = made.rbegin(); it != made.rend(); ++it) RemoveDirectoryW(SystemPath(*it).c_str());
    outcome.reason = std::move(why);
    return outcome;
  };
  const bool folder = item.seen.kind == EntryKind::Folder, move = kind == RelocationKind::Move;
  if (!StillAsSeen(item.path, item.seen)) return stay("it is no longer the item that was scanned");
  if (folder && !move) return stay("a folder is not copied: copy its files from the file clone list");
  if (hooks.beforeMove) {
    if (std::string reason = hooks.beforeMove(); !reason.empty()) return stay(std::move(reason));
  }
  std::string targetFolder, name;
  bool missing = false;
  if (std::string why = MakeTargetFolders(item, targetFolder, name, made, checkOnly, missing); !why.empty()) {
    return stay(std::move(why));
  }
  const std::string target = targetFolder + '\\' + name;
  if (!missing && GetFileAttributesW(SystemPath(target).c_str()) != INVALID_FILE_ATTRIBUTES) return stay(kTaken);
  if (move) {
    if (folder) {
      if (std::string why = windows::MountReason(item.path); !why.empty()) return stay(std::move(why));
    }
    // Without MOVEFILE_REPLACE_EXISTING nothing standing there is replaced;
    // without MOVEFILE_COPY_ALLOWED it stays one rename on one volume.
    if (checkOnly
            ? OnOneVolume(item.path, targetFolder)
            : MoveFileExW(SystemPath(item.path).c_str(), SystemPath(target).c_str(), MOVEFILE_WRITE_THROUGH) != 0) {
      outcome.done = true;
      return outcome;
    }
    const DWORD code = checkOnly ? ERROR_NOT_SAME_DEVICE : GetLastError();
    if (Taken(code)) return stay(kTaken);
    if (code != ERROR_NOT_SAME_DEVICE) return stay(Why("rename", code));
    if (folder) return stay("a folder moves only within its volume, and the destination lies on another");
  }
  if (!hooks.verifyCopy) return stay("its copy could not be compared");
  if (checkOnly) {
    outcome.copied = outcome.done = true;
    return outcome;
  }
  static std::atomic<unsigned> counter{0};
  const std::string temporary = targetFolder + '\\' + std::string(kCopyTemporaryPrefix) +
                                std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
  const auto abandon = [&](std::string why) {
    DeleteFileW(SystemPath(temporary).c_str());
    return stay(std::move(why));
  };
  if (CopyFileW(SystemPath(item.path).c_str(), SystemPath(temporary).c_str(), TRUE) == 0) {
    return abandon(Why("copy"));
  }
  HANDLE written = CreateFileW(SystemPath(temporary).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool flushed = written != INVALID_HANDLE_VALUE && FlushFileBuffers(written) != 0;
  const DWORD flushCode = GetLastError();
  if (written != INVALID_HANDLE_VALUE) CloseHandle(written);
  if (!flushed) return abandon(Why("sync", flushCode));
  if (std::string why = hooks.verifyCopy(item.path, temporary); !why.empty()) return abandon(std::move(why));
  if (!StillAsSeen(item.path, item.seen)) return abandon("it changed while it was copied");
  if (MoveFileExW(SystemPath(temporary).c_str(), SystemPath(target).c_str(), MOVEFILE_WRITE_THROUGH) == 0) {
    const DWORD code = GetLastError();
    return abandon(Taken(code) ? std::string(kTaken) : Why("rename", code));
  }
  outcome.copied = true;
  if (move) {
    // The original goes only now, and only while it is the file that was copied.
    const bool unchanged = StillAsSeen(item.path, item.seen);
    if (!unchanged || DeleteFileW(SystemPath(item.path).c_str()) == 0) {
      const std::string why = unchanged ? Why("its old place could not be emptied") : "it changed while it was copied";
      DeleteFileW(SystemPath(target).c_str());
      outcome.copied = false;
      return stay(why);
    }
  }
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
