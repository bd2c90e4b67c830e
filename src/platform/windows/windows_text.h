// Windows-only helpers of the seam, shared by its files and its tests: text
// conversion at the system boundary, long paths, and the Recycle Bin request.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

namespace orvanta::platform::windows {

// UTF-8 <-> UTF-16. A lone surrogate of a file name travels as its three-byte
// form (WTF-8), so every name the system gives can be given back exactly.
std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view text);

// The path as the system takes it: UTF-16, with the extended-length prefix
// "\\?\" ("\\?\UNC\" for a share) from 260 characters on, unless already there.
std::wstring SystemPath(const std::string& path);

// The system's reason for an error code, in UTF-8.
std::string ErrorText(DWORD code);

// The path block of a shell request: each path and a NUL, then one more NUL.
std::wstring RecyclePathBlock(const std::vector<std::string>& paths);
// The shell request that moves the block's items to the Recycle Bin.
SHFILEOPSTRUCTW RecycleRequest(HWND owner, const wchar_t* pathBlock);

}  // namespace orvanta::platform::windows
