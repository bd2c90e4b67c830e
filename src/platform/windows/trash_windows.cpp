#include <windows.h>
#include <shellapi.h>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {

bool MoveToTrash(const std::string& path, std::string& error) {
  // The shell's own confirmation, progress and error dialogs stay on (no
  // FOF_NOCONFIRMATION, FOF_SILENT or FOF_NOERRORUI); the call returns when done.
  const std::wstring block = windows::RecyclePathBlock({path});
  SHFILEOPSTRUCTW request = windows::RecycleRequest(GetActiveWindow(), block.c_str());
  const int result = SHFileOperationW(&request);
  if (result == 0 && !request.fAnyOperationsAborted) return true;
  error = result != 0 ? "Cannot move \"" + path + "\" to the Recycle Bin (shell error " + std::to_string(result) + ")"
                      : "Moving \"" + path + "\" to the Recycle Bin was cancelled";
  return false;
}

}  // namespace orvanta::platform
