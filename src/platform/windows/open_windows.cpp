#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {

bool ShellTakesPath(const std::string& path) {
  return windows::ShellRefusal(windows::WithoutLongPrefix(windows::FullPath(path)), true) == nullptr;
}

bool OpenWithDefaultProgram(const std::string& path, std::string& error) {
  if (!ShellTakesPath(path)) {
    error = "the shell would take this name for another item or a device";
    return false;
  }
  const std::wstring widePath = windows::Wide(windows::WithoutLongPrefix(windows::FullPath(path)));
  // Values above 32 mean the shell started a program for the item.
  const auto result =
      reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", widePath.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) return true;
  switch (result) {
    case SE_ERR_NOASSOC:
    case SE_ERR_ASSOCINCOMPLETE: error = "no program is set up to open it"; break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: error = "it does not exist"; break;
    case SE_ERR_ACCESSDENIED: error = "access denied"; break;
    default: error = "the shell refused it (code " + std::to_string(result) + ")"; break;
  }
  return false;
}

}  // namespace orvanta::platform
