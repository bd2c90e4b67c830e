#include "platform/windows/windows_text.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/platform.h"

namespace orvanta::platform::windows {

std::wstring Wide(std::string_view text) {
  std::wstring result;
  result.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned b = s[i];
    unsigned c = 0xFFFD;
    std::size_t length = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b < 0xE0 && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
      c = (b & 0x1F) << 6 | (s[i + 1] & 0x3F);
      length = 2;
    } else if (b >= 0xE0 && b < 0xF0 && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 && (s[i + 2] & 0xC0) == 0x80) {
      c = (b & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F);
      length = c >= 0x800 ? 3 : 1;
      if (length == 1) c = 0xFFFD;
    } else if (b >= 0xF0 && b < 0xF5 && i + 3 < n && (s[i + 1] & 0xC0) == 0x80 && (s[i + 2] & 0xC0) == 0x80 &&
               (s[i + 3] & 0xC0) == 0x80) {
      c = (b & 0x07) << 18 | (s[i + 1] & 0x3F) << 12 | (s[i + 2] & 0x3F) << 6 | (s[i + 3] & 0x3F);
      length = c >= 0x10000 && c <= 0x10FFFF ? 4 : 1;
      if (length == 1) c = 0xFFFD;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      result.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
      result.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
    } else {
      result.push_back(static_cast<wchar_t>(c));
    }
    i += length;
  }
  return result;
}

std::string Narrow(std::wstring_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned c = static_cast<unsigned>(text[i]) & 0xFFFF;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      const unsigned low = static_cast<unsigned>(text[i + 1]) & 0xFFFF;
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c < 0x80) {
      result.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      result.push_back(static_cast<char>(0xC0 | c >> 6));
      result.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      result.push_back(static_cast<char>(0xE0 | c >> 12));
      result.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      result.push_back(static_cast<char>(0xF0 | c >> 18));
      result.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return result;
}

namespace {

// Length of the root of a fully qualified path with "\" delimiters: "C:\" or
// "\\server\share"; 0 for a relative, drive-relative or rooted path and for
// one already in the "\\?\" or "\\.\" form.
std::size_t RootLength(std::wstring_view path) {
  const auto letter = [](wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); };
  if (path.size() >= 3 && letter(path[0]) && path[1] == L':' && path[2] == L'\\') return 3;
  if (path.size() < 3 || path[0] != L'\\' || path[1] != L'\\' || path[2] == L'\\') return 0;
  if (path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\') return 0;
  const std::size_t server = path.find(L'\\', 2);
  if (server == std::wstring_view::npos || server + 1 >= path.size() || path[server + 1] == L'\\') return 0;
  const std::size_t share = path.find(L'\\', server + 1);
  return share == std::wstring_view::npos ? path.size() : share;
}

// Resolves ".", ".." and doubled delimiters of a fully qualified path by text
// alone. Every other name stays exactly as written: Win32's own parsing would
// drop a trailing dot or blank, which names a different file.
std::wstring Resolved(std::wstring_view path, std::size_t rootLength) {
  std::wstring out(path.substr(0, rootLength));
  if (out.back() != L'\\') out.push_back(L'\\');
  const std::size_t rootEnd = out.size();
  for (std::size_t start = rootLength; start < path.size();) {
    const std::size_t end = std::min(path.find(L'\\', start), path.size());
    const std::wstring_view name = path.substr(start, end - start);
    if (name == L"..") {
      if (out.size() > rootEnd) out.resize(out.rfind(L'\\', out.size() - 2) + 1);
    } else if (!name.empty() && name != L".") {
      out.append(name);
      out.push_back(L'\\');
    }
    start = end + 1;
  }
  if (out.size() > rootEnd && path.back() != L'\\') out.pop_back();
  return out;
}

std::wstring WithBackslashes(std::string_view path) {
  std::wstring wide = Wide(path);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

// Fully qualified, with "\\" delimiters, names kept; empty for an empty path
// or one the system cannot complete, and unchanged in the "\\?\" or "\\.\" form.
std::wstring FullWidePath(std::string_view path) {
  std::wstring wide = WithBackslashes(path);
  if (wide.empty() || wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0) return wide;
  if (RootLength(wide) == 0) {
    // The base comes from the system: the current folder, that of the named
    // drive ("C:name"), or the current drive's root ("\\name").
    const bool driveRelative = wide.size() >= 2 && wide[1] == L':';
    const bool rooted = wide[0] == L'\\';
    const std::wstring query = driveRelative ? wide.substr(0, 2) : rooted ? L"\\" : L".";
    std::wstring base(MAX_PATH, L'\0');
    for (;;) {
      const DWORD n = GetFullPathNameW(query.c_str(), static_cast<DWORD>(base.size()), base.data(), nullptr);
      if (n == 0) return {};
      const bool fits = n < base.size();
      base.resize(n);
      if (fits) break;
    }
    wide = base + L"\\" + (driveRelative ? wide.substr(2) : rooted ? wide.substr(1) : wide);
    if (RootLength(wide) == 0) return {};
  }
  return Resolved(wide, RootLength(wide));
}

}  // namespace

std::wstring SystemPath(const std::string& path) {
  const std::wstring full = FullWidePath(path);
  if (full.empty()) return Wide(path);
  if (full.rfind(L"\\\\", 0) != 0) return L"\\\\?\\" + full;
  if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
  return L"\\\\?\\UNC\\" + full.substr(2);
}

std::string FullPath(const std::string& path) {
  const std::wstring full = FullWidePath(path);
  return full.empty() ? path : Narrow(full);
}

std::string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer != nullptr ? buffer : L"", n);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  return text.empty() ? "error " + std::to_string(code) : Narrow(text);
}

EntryKind KindOf(DWORD attributes, DWORD reparseTag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag))) {
    return EntryKind::Link;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryKind::Folder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryKind::Other;
  return EntryKind::File;
}

bool ContentsElsewhere(DWORD attributes) {
  // Named here: older SDK headers lack the two recall bits.
  constexpr DWORD kRecallOnDataAccess = 0x00400000, kRecallOnOpen = 0x00040000;
  return (attributes & (kRecallOnDataAccess | kRecallOnOpen | FILE_ATTRIBUTE_OFFLINE)) != 0;
}

FileId IdentityOf(std::uint64_t volumeSerial, std::uint64_t indexLow, std::uint64_t indexHigh) {
  if (volumeSerial == 0 || (indexLow == 0 && indexHigh == 0)) return {};
  return {volumeSerial, indexLow, indexHigh};
}

std::uint64_t VolumeDevice(std::uint64_t volumeSerial, std::wstring_view volumeGuidPath) {
  std::uint64_t hash = 0xCBF29CE484222325ull;  // FNV-1a
  for (const wchar_t c : volumeGuidPath) hash = (hash ^ static_cast<std::uint64_t>(c)) * 0x100000001B3ull;
  return volumeGuidPath.empty() ? volumeSerial : volumeSerial ^ hash;
}

std::wstring VolumeGuidPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n = GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_GUID);
    if (n == 0) return {};
    if (n < path.size()) {
      // "\\?\Volume{...}" and the path on the volume: the volume's part only.
      const std::size_t end = path.find(L'}');
      return end == std::wstring::npos || end >= n ? std::wstring() : path.substr(0, end + 1);
    }
    path.resize(n + 1);
  }
  return {};
}

std::wstring RecyclePathBlock(const std::vector<std::string>& paths) {
  std::wstring block;
  for (const std::string& path : paths) {
    block += Wide(path);
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

SHFILEOPSTRUCTW RecycleRequest(HWND owner, const wchar_t* pathBlock) {
  SHFILEOPSTRUCTW request{};
  request.hwnd = owner;
  request.wFunc = FO_DELETE;
  request.pFrom = pathBlock;
  request.pTo = nullptr;
  request.fFlags = FOF_ALLOWUNDO;
  return request;
}

}  // namespace orvanta::platform::windows

namespace orvanta::platform {

bool IsPathDelimiter(char c) { return c == '\\' || c == '/'; }

bool InvalidInFileName(char c) {
  return static_cast<unsigned char>(c) < 32 || c == '\\' || c == '/' || c == ':' || c == '"' || c == '<' || c == '>' ||
         c == '|';
}

std::size_t LastNameDelimiter(std::string_view path) { return path.find_last_of("\\/:"); }

std::size_t DrivePartLength(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    return 2;
  }
  // "\\server\share": up to the delimiter after the share name.
  if (path.size() >= 2 && IsPathDelimiter(path[0]) && IsPathDelimiter(path[1])) {
    const std::size_t server = path.find_first_of("\\/", 2);
    if (server == std::string_view::npos || server == 2) return 0;
    const std::size_t share = path.find_first_of("\\/", server + 1);
    if (share == server + 1) return 0;
    return share == std::string_view::npos ? path.size() : share;
  }
  return 0;
}

bool SamePath(std::string_view a, std::string_view b) {
  const std::wstring wa = windows::Wide(a), wb = windows::Wide(b);
  return CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()), TRUE) ==
         CSTR_EQUAL;
}

std::string LowerCase(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  // ASCII runs directly; other text through CharLowerBuffW, which leaves a lone
  // surrogate as it is, so WTF-8 names come back unchanged.
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = i;
    while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x80) ++end;
    if (end > i) {
      // Bytes that are not valid UTF-8 stay as they are: lower only what converts back exactly.
      const std::string_view run = text.substr(i, end - i);
      std::wstring wide = windows::Wide(run);
      if (windows::Narrow(wide) == run) {
        CharLowerBuffW(wide.data(), static_cast<DWORD>(wide.size()));
        result += windows::Narrow(wide);
      } else {
        result.append(run);
      }
      i = end;
      continue;
    }
    const char c = text[i++];
    result.push_back(AsciiLower(c));
  }
  return result;
}

std::string FromWide(const wchar_t* text) { return windows::Narrow(text); }

}  // namespace orvanta::platform
