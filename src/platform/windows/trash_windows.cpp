#include <windows.h>
#include <shellapi.h>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {

std::vector<TrashOutcome> MoveToTrash(const std::vector<TrashItem>& items) {
  // One shell call per item, so that each item gets its own outcome. The
  // shell's own confirmation, progress and error dialogs stay on (no
  // FOF_NOCONFIRMATION, FOF_SILENT or FOF_NOERRORUI); each call returns when done.
  std::vector<TrashOutcome> outcomes;
  outcomes.reserve(items.size());
  for (const TrashItem& item : items) {
    const std::wstring block = windows::RecyclePathBlock({item.path});
    SHFILEOPSTRUCTW request = windows::RecycleRequest(GetActiveWindow(), block.c_str());
    const int result = SHFileOperationW(&request);
    TrashOutcome outcome;
    outcome.moved = result == 0 && !request.fAnyOperationsAborted;
    if (!outcome.moved) {
      outcome.reason = result != 0 ? "shell error " + std::to_string(result) : "cancelled";
    }
    outcomes.push_back(std::move(outcome));
  }
  return outcomes;
}

}  // namespace orvanta::platform
