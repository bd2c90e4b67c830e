// The user's data folder, and putting an item back from the Recycle Bin.
#include <windows.h>

#include <cwchar>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {

std::string UserDataFolder() {
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  return local != nullptr && local[0] != L'\0' ? windows::Narrow(local) : std::string();
}

bool MakeFolders(const std::string& path) {
  const std::wstring system = windows::SystemPath(path);
  const DWORD attributes = GetFileAttributesW(system.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::size_t end = LastNameDelimiter(path);
  if (end != std::string::npos && end > DrivePartLength(path) && !MakeFolders(path.substr(0, end))) return false;
  return CreateDirectoryW(system.c_str(), nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The Recycle Bin keeps no name this program could find its item by: the
// record holds the original path only, and the shell's restore is not yet
// reached from here.
RestoreOutcome RestoreFromTrash(const TrashedItem&) {
  return {RestoreResult::Failed, "putting items back from the Recycle Bin is not available on Windows yet"};
}

}  // namespace orvanta::platform
