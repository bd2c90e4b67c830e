#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>
#include <string_view>

#include "platform/escaped_name.h"
#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {
namespace windows {
namespace {

// A name Win32 takes for a device wherever it stands: CON, PRN, AUX, NUL,
// COM0-9 and LPT0-9 (also with the superscript digits ¹²³), CONIN$ and
// CONOUT$, in any case, before an extension, a stream or trailing blanks.
bool DeviceName(std::wstring_view name) {
  name = name.substr(0, std::min(name.find_first_of(L".:"), name.size()));
  while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
  std::wstring upper(name);
  for (wchar_t& c : upper) c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
  if (upper == L"CON" || upper == L"PRN" || upper == L"AUX" || upper == L"NUL" || upper == L"CONIN$" ||
      upper == L"CONOUT$") {
    return true;
  }
  const std::wstring_view digits = L"0123456789\u00B9\u00B2\u00B3";
  return upper.size() == 4 && (upper.rfind(L"COM", 0) == 0 || upper.rfind(L"LPT", 0) == 0) &&
         digits.find(upper[3]) != std::wstring_view::npos;
}

}  // namespace

std::string WithoutLongPrefix(const std::string& path) {
  if (path.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + path.substr(8);
  if (path.rfind("\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

// The shell takes no "\\?\" prefix, so the path goes through Win32's own
// parsing, which drops a trailing dot or blank of a name and turns CON or
// nul.txt into a device: the shell would act on another item than the one
// checked, such as "x\trail" for "x\trail.". Each folder on the way and the
// item itself must come back unchanged from that parsing.
const char* ShellRefusal(const std::string& fullPath, bool rootAllowed) {
  const std::wstring path = Wide(fullPath);
  const std::size_t rootLength = Wide(std::string_view(fullPath).substr(0, DrivePartLength(fullPath))).size() + 1;
  if (path.size() >= MAX_PATH) return "the path is too long for the Recycle Bin";
  // A device path ("\\.\") is no file or folder; "?" and "*" would be wildcards.
  if (path.rfind(L"\\\\.\\", 0) == 0 || path.find_first_of(L"*?") != std::wstring::npos) {
    return "the Recycle Bin cannot take this name";
  }
  std::wstring parsed(MAX_PATH, L'\0');
  bool named = false;
  for (std::size_t start = rootLength; start < path.size();) {
    const std::size_t end = std::min(path.find(L'\\', start), path.size());
    const std::wstring_view name = std::wstring_view(path).substr(start, end - start);
    if (!name.empty()) {
      named = true;
      const std::wstring prefix = path.substr(0, end);
      const DWORD n = GetFullPathNameW(prefix.c_str(), static_cast<DWORD>(parsed.size()), parsed.data(), nullptr);
      if (DeviceName(name) || n != prefix.size() || parsed.compare(0, n, prefix) != 0) {
        return "the Recycle Bin cannot take this name";
      }
    }
    start = end + 1;
  }
  // A drive or a share itself has no place in the Recycle Bin.
  return named || rootAllowed ? nullptr : "the Recycle Bin cannot take a drive or share";
}

// Why a folder must not go to the Recycle Bin because of what is mounted in
// it: a junction or a volume mount point anywhere inside (one reparse tag for
// both), which would go along. The walk enters no link. Empty when there is
// none; a folder that cannot be listed cannot be vouched for.
std::string MountReason(const std::string& folder) {
  std::vector<std::string> pending{std::string()};  // relative to the folder
  while (!pending.empty()) {
    const std::string relative = std::move(pending.back());
    pending.pop_back();
    const std::string path = relative.empty() ? folder : JoinedPath(folder, relative);
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileExW(SystemPath(JoinedPath(path, "*")).c_str(), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    DWORD why = find == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_NO_MORE_FILES;
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &data) != 0) {
      const wchar_t* n = data.cFileName;
      if (n[0] == L'.' && (n[1] == L'\0' || (n[1] == L'.' && n[2] == L'\0'))) continue;
      const std::string child = relative.empty() ? Narrow(n) : JoinedPath(relative, Narrow(n));
      // The listing holds the reparse tag in dwReserved0.
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
          data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT) {
        FindClose(find);
        return "it holds a mount point or junction: " + EscapedName(child);
      }
      if (KindOf(data.dwFileAttributes, data.dwReserved0) == EntryKind::Folder) pending.push_back(child);
    }
    if (find != INVALID_HANDLE_VALUE) {
      why = GetLastError();
      FindClose(find);
    }
    if (why != ERROR_NO_MORE_FILES && why != ERROR_FILE_NOT_FOUND) {
      return "it could not be checked for mount points (" +
             (relative.empty() ? std::string(".") : EscapedName(relative)) + ": " + ErrorText(why) + ")";
    }
  }
  return {};
}

std::string NoRecycleBinReason(const std::string& fullPath) {
  // A share has no Recycle Bin: the shell deletes its items for good.
  if (fullPath.rfind("\\\\", 0) == 0) return "a network share has no Recycle Bin";
  std::wstring root(MAX_PATH + 1, L'\0');
  if (GetVolumePathNameW(Wide(fullPath).c_str(), root.data(), static_cast<DWORD>(root.size())) == 0) {
    return "its drive could not be asked for a Recycle Bin (" + ErrorText(GetLastError()) + ")";
  }
  root.resize(std::wcslen(root.c_str()));
  switch (GetDriveTypeW(root.c_str())) {
    case DRIVE_FIXED: return {};
    case DRIVE_REMOTE: return "a network drive has no Recycle Bin";
    case DRIVE_REMOVABLE: {
      // Some removable drives have one, many do not: the shell knows.
      SHQUERYRBINFO info{};
      info.cbSize = sizeof info;
      if (SUCCEEDED(SHQueryRecycleBinW(root.c_str(), &info))) return {};
      break;
    }
    default: break;
  }
  return "its drive has no Recycle Bin";
}

std::vector<TrashOutcome> RecycleItems(const std::vector<TrashItem>& items, const TrashHooks& hooks, HWND owner,
                                       const std::function<int(SHFILEOPSTRUCTW&)>& shell,
                                       const RecycleBinQuery& noBinReason) {
  std::vector<TrashOutcome> outcomes(items.size());
  // Only items that are still what the scan saw go to the shell: never a link
  // put in a file's place, never another file under the same name, never an
  // item of a volume without a Recycle Bin, which the shell would delete.
  std::vector<std::string> checked;
  std::vector<std::size_t> checkedIndex;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string path = WithoutLongPrefix(FullPath(items[i].path));
    FileAttributes now;
    if (!QueryAttributes(path, now)) {
      outcomes[i].reason = "it no longer exists";
    } else if (now.kind != EntryKind::File && now.kind != EntryKind::Folder) {
      outcomes[i].reason = "it is no longer a file or folder";
    } else if (items[i].scannedId.Known() && now.id != items[i].scannedId) {
      outcomes[i].reason = "it was replaced since the scan";
    } else if (const char* refusal = ShellRefusal(path)) {
      outcomes[i].reason = refusal;
    } else if (std::string noBin = noBinReason(path); !noBin.empty()) {
      outcomes[i].reason = std::move(noBin);
    } else if (std::string mounted = now.kind == EntryKind::Folder ? MountReason(path) : std::string();
               !mounted.empty()) {
      outcomes[i].reason = std::move(mounted);
    } else if (std::string reason = hooks.beforeMove ? hooks.beforeMove(i) : std::string(); !reason.empty()) {
      outcomes[i].reason = std::move(reason);
    } else {
      checked.push_back(path);
      checkedIndex.push_back(i);
    }
  }
  const auto told = [&] {
    for (std::size_t i = 0; hooks.afterMove && i < outcomes.size(); ++i) hooks.afterMove(i, outcomes[i]);
    return outcomes;
  };
  // Checks only: every item that passed them would move.
  if (!shell) {
    for (const std::size_t i : checkedIndex) outcomes[i].moved = true;
    return told();
  }
  if (checked.empty()) return told();
  // One request over the whole block: one confirmation, and Cancel stops the
  // rest. The shell's own confirmation, progress and error dialogs stay on (no
  // FOF_NOCONFIRMATION, FOF_SILENT or FOF_NOERRORUI).
  const std::wstring block = RecyclePathBlock(checked);
  SHFILEOPSTRUCTW request = RecycleRequest(owner, block.c_str());
  const int result = shell(request);
  // The shell tells no outcome per item: an item is moved when its path is gone.
  for (std::size_t k = 0; k < checked.size(); ++k) {
    TrashOutcome& outcome = outcomes[checkedIndex[k]];
    const DWORD attributes = GetFileAttributesW(SystemPath(checked[k]).c_str());
    outcome.moved = attributes == INVALID_FILE_ATTRIBUTES &&
                    (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
    if (!outcome.moved) {
      outcome.reason = result != 0                     ? "shell error " + std::to_string(result)
                       : request.fAnyOperationsAborted ? "cancelled"
                                                       : "the shell left it in place";
    }
  }
  return told();
}

}  // namespace windows

std::vector<TrashOutcome> MoveToTrash(const std::vector<TrashItem>& items, const TrashHooks& hooks) {
  return windows::RecycleItems(items, hooks, GetActiveWindow(),
                               [](SHFILEOPSTRUCTW& request) { return SHFileOperationW(&request); });
}

bool IsTrashFolder(const std::function<std::string()>& parent, std::string_view name) {
  const std::string lower = LowerCase(name);
  if (lower != "$recycle.bin" && lower != "recycler") return false;
  // At a drive root ("C:\", "\\server\share\"), whose folder part is all drive.
  const std::string parentPath = parent();
  std::string_view folder = parentPath;
  while (!folder.empty() && IsPathDelimiter(folder.back())) folder.remove_suffix(1);
  return !folder.empty() && DrivePartLength(folder) == folder.size();
}

std::vector<TrashOutcome> CheckTrash(const std::vector<TrashItem>& items, const TrashHooks& hooks) {
  return windows::RecycleItems(items, hooks, nullptr, {});
}

}  // namespace orvanta::platform
