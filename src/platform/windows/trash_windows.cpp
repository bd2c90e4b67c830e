#include <windows.h>
#include <shellapi.h>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {
namespace windows {

std::vector<TrashOutcome> RecycleItems(const std::vector<TrashItem>& items, HWND owner,
                                       const std::function<int(SHFILEOPSTRUCTW&)>& shell) {
  std::vector<TrashOutcome> outcomes(items.size());
  // Only items that are still what the scan saw go to the shell: never a link
  // put in a file's place, never another file under the same name.
  std::vector<std::string> checked;
  std::vector<std::size_t> checkedIndex;
  for (std::size_t i = 0; i < items.size(); ++i) {
    FileAttributes now;
    if (!QueryAttributes(items[i].path, now)) {
      outcomes[i].reason = "it no longer exists";
    } else if (now.kind != EntryKind::File && now.kind != EntryKind::Folder) {
      outcomes[i].reason = "it is no longer a file or folder";
    } else if (items[i].scannedId.Known() && now.id != items[i].scannedId) {
      outcomes[i].reason = "it was replaced since the scan";
    } else {
      checked.push_back(items[i].path);
      checkedIndex.push_back(i);
    }
  }
  if (checked.empty()) return outcomes;
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
  return outcomes;
}

}  // namespace windows

std::vector<TrashOutcome> MoveToTrash(const std::vector<TrashItem>& items) {
  return windows::RecycleItems(items, GetActiveWindow(), [](SHFILEOPSTRUCTW& request) {
    return SHFileOperationW(&request);
  });
}

}  // namespace orvanta::platform
