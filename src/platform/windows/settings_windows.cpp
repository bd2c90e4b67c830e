#include <windows.h>

#include "platform/platform.h"
#include "platform/windows/windows_text.h"

namespace orvanta::platform {
namespace {

constexpr const wchar_t* kKey = L"Software\\Orvanta";

}  // namespace

std::optional<std::string> ReadSetting(const std::string& key) {
  HKEY handle;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return std::nullopt;
  const std::wstring name = windows::Wide(key);
  std::optional<std::string> result;
  DWORD type = 0, bytes = 0;
  // A value that is not a string counts as absent.
  if (RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) ==
        ERROR_SUCCESS) {
      text.resize(bytes / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      result = windows::Narrow(text);
    }
  }
  RegCloseKey(handle);
  return result;
}

bool WriteSetting(const std::string& key, const std::string& value) {
  HKEY handle;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const std::wstring text = windows::Wide(value);
  const bool ok =
      RegSetValueExW(handle, windows::Wide(key).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return ok;
}

}  // namespace orvanta::platform
