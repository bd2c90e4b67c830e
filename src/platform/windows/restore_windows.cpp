// The user's data folder, and putting an item back from the Recycle Bin.
#include <windows.h>
#include <oleauto.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

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

namespace windows {
namespace {

// The Recycle Bin's columns: where an item was deleted from, and when.
constexpr SHCOLUMNID kDeletedFrom = {{0x9b174b33, 0x40ff, 0x11d2, {0xa2, 0x7e, 0x00, 0xc0, 0x4f, 0xc3, 0x08, 0x71}}, 2};
constexpr SHCOLUMNID kDeletedOn = {{0x9b174b33, 0x40ff, 0x11d2, {0xa2, 0x7e, 0x00, 0xc0, 0x4f, 0xc3, 0x08, 0x71}}, 3};
// Context menu command ids handed to the bin's menu.
constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand = 0x7FFF;

RestoreOutcome Outcome(RestoreResult result, std::string reason = {}) { return {result, std::move(reason)}; }

bool SameText(std::string_view a, std::string_view b) {
  const std::wstring wa = Wide(a), wb = Wide(b);
  return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()), TRUE) ==
         CSTR_EQUAL;
}

std::string WithoutTrailingDelimiter(std::string path) {
  while (path.size() > DrivePartLength(path) + 1 && IsPathDelimiter(path.back())) path.pop_back();
  return path;
}

// The text of a STRRET the shell filled; empty when it gives none.
std::string TextOf(STRRET& value, PCUITEMID_CHILD child) {
  wchar_t* text = nullptr;
  if (FAILED(StrRetToStrW(&value, child, &text)) || text == nullptr) return {};
  std::string narrow = Narrow(text);
  CoTaskMemFree(text);
  return narrow;
}

std::string DisplayName(IShellFolder2* bin, PCUITEMID_CHILD child, SHGDNF flags) {
  STRRET value{};
  return SUCCEEDED(bin->GetDisplayNameOf(child, flags, &value)) ? TextOf(value, child) : std::string();
}

// A column's value by its identifier: GetDetailsEx where the folder has it,
// else the text of the column that maps to it (Wine gives only that).
bool Detail(IShellFolder2* bin, PCUITEMID_CHILD child, const SHCOLUMNID& column, VARIANT& value) {
  VariantInit(&value);
  if (SUCCEEDED(bin->GetDetailsEx(child, &column, &value))) return true;
  for (UINT i = 0; i < 64; ++i) {
    SHCOLUMNID mapped{};
    if (FAILED(bin->MapColumnToSCID(i, &mapped))) break;
    if (mapped.fmtid != column.fmtid || mapped.pid != column.pid) continue;
    SHELLDETAILS details{};
    if (FAILED(bin->GetDetailsOf(child, i, &details))) return false;
    const std::wstring text = Wide(TextOf(details.str, child));
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return value.bstrVal != nullptr;
  }
  return false;
}

std::string FolderDetail(IShellFolder2* bin, PCUITEMID_CHILD child) {
  VARIANT value;
  if (!Detail(bin, child, kDeletedFrom, value)) return {};
  std::string text = value.vt == VT_BSTR && value.bstrVal != nullptr ? Narrow(value.bstrVal) : std::string();
  VariantClear(&value);
  return text;
}

std::int64_t DateDetail(IShellFolder2* bin, PCUITEMID_CHILD child) {
  VARIANT value;
  VariantInit(&value);
  // Only a date the folder gives as a date: a column's text has no seconds and is in the locale's format.
  if (FAILED(bin->GetDetailsEx(child, &kDeletedOn, &value))) return 0;
  std::int64_t ticks = 0;
  SYSTEMTIME time;
  FILETIME file;
  if (value.vt == VT_DATE && VariantTimeToSystemTime(value.date, &time) && SystemTimeToFileTime(&time, &file)) {
    ticks = static_cast<std::int64_t>(static_cast<std::uint64_t>(file.dwHighDateTime) << 32 | file.dwLowDateTime);
  }
  VariantClear(&value);
  return ticks;
}

std::string_view Extension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot);
}

std::string_view Stem(std::string_view name) { return name.substr(0, name.size() - Extension(name).size()); }

// Whether the shell shows the item under `name`: as it is, or without its
// extension (Explorer hiding known ones) while the bin's own file has it.
bool ShownAs(const RecycledItem& item, std::string_view name) {
  for (const std::string& shown : item.names) {
    if (SameText(shown, name)) return true;
    if (!Extension(name).empty() && SameText(shown, Stem(name)) && SameText(Extension(item.binPath), Extension(name))) {
      return true;
    }
  }
  return false;
}

bool Missing(const std::string& path, DWORD& error) {
  if (GetFileAttributesW(SystemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
    error = ERROR_SUCCESS;
    return false;
  }
  error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

enum class Identity { Same, Other, Unknown };

// The identity of the bin's own file against the recorded one, where both are known.
Identity IdentityInBin(const RecycledItem& candidate, const FileId& recorded) {
  FileAttributes attributes;
  if (!recorded.Known() || candidate.binPath.empty() || !QueryAttributes(candidate.binPath, attributes) ||
      !attributes.id.Known()) {
    return Identity::Unknown;
  }
  return attributes.id == recorded ? Identity::Same : Identity::Other;
}

}  // namespace

ShellRecycleBin::ShellRecycleBin() {
  started_ = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  PIDLIST_ABSOLUTE location = nullptr;
  IShellFolder* desktop = nullptr;
  bound_ = SHGetFolderLocation(nullptr, CSIDL_BITBUCKET, nullptr, 0, &location);
  if (SUCCEEDED(bound_)) bound_ = SHGetDesktopFolder(&desktop);
  if (SUCCEEDED(bound_)) {
    bound_ = desktop->BindToObject(location, nullptr, IID_IShellFolder2, reinterpret_cast<void**>(&bin_));
    desktop->Release();
  }
  if (SUCCEEDED(bound_) && bin_ == nullptr) bound_ = E_NOINTERFACE;
  CoTaskMemFree(location);
}

ShellRecycleBin::~ShellRecycleBin() {
  FreeItems();
  if (bin_ != nullptr) bin_->Release();
  if (SUCCEEDED(started_)) CoUninitialize();
}

void ShellRecycleBin::FreeItems() {
  for (PITEMID_CHILD child : children_) CoTaskMemFree(child);
  children_.clear();
}

bool ShellRecycleBin::List(const std::function<bool(std::string_view name)>& wanted, std::vector<RecycledItem>& items,
                           std::string& error) {
  items.clear();
  FreeItems();
  if (FAILED(bound_)) {
    error = "the Recycle Bin cannot be opened (" + ErrorText(static_cast<DWORD>(bound_)) + ")";
    return false;
  }
  IEnumIDList* list = nullptr;
  const HRESULT listed =
      bin_->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &list);
  if (FAILED(listed) || list == nullptr) {
    // S_FALSE without a list: nothing to list.
    if (SUCCEEDED(listed)) return true;
    error = "the Recycle Bin cannot be listed (" + ErrorText(static_cast<DWORD>(listed)) + ")";
    return false;
  }
  PITEMID_CHILD child = nullptr;
  while (list->Next(1, &child, nullptr) == S_OK) {
    RecycledItem item;
    for (const SHGDNF flags : {SHGDNF(SHGDN_INFOLDER), SHGDNF(SHGDN_INFOLDER | SHGDN_FOREDITING)}) {
      std::string name = DisplayName(bin_, child, flags);
      if (!name.empty() && std::find(item.names.begin(), item.names.end(), name) == item.names.end()) {
        item.names.push_back(std::move(name));
      }
    }
    if (std::none_of(item.names.begin(), item.names.end(), wanted)) {
      CoTaskMemFree(child);
      continue;
    }
    item.folder = FolderDetail(bin_, child);
    item.deleted = DateDetail(bin_, child);
    // The parsing name is the bin's own file on Windows; Wine gives only the original name.
    const std::string parsing = DisplayName(bin_, child, SHGDN_FORPARSING);
    if (DrivePartLength(parsing) > 0 && parsing.size() > DrivePartLength(parsing)) item.binPath = parsing;
    item.handle = children_.size();
    children_.push_back(child);
    items.push_back(std::move(item));
  }
  list->Release();
  return true;
}

HRESULT ShellRecycleBin::InvokeCommand(const RecycledItem& item, const char* verb) {
  if (bin_ == nullptr || item.handle >= children_.size()) return E_INVALIDARG;
  PCUITEMID_CHILD child = children_[item.handle];
  IContextMenu* menu = nullptr;
  HRESULT result = bin_->GetUIObjectOf(nullptr, 1, &child, IID_IContextMenu, nullptr, reinterpret_cast<void**>(&menu));
  if (FAILED(result) || menu == nullptr) return FAILED(result) ? result : E_NOINTERFACE;
  const HMENU popup = CreatePopupMenu();
  const std::wstring wideVerb = IS_INTRESOURCE(verb) ? std::wstring() : Wide(verb);
  const char* command = verb;
  result = menu->QueryContextMenu(popup, 0, kFirstCommand, kLastCommand, CMF_NORMAL);
  // The menu's own command of that verb, where it names its commands.
  for (int i = 0; SUCCEEDED(result) && !wideVerb.empty() && i < GetMenuItemCount(popup); ++i) {
    const UINT id = GetMenuItemID(popup, i);
    wchar_t name[64] = {};
    if (id == static_cast<UINT>(-1) || id < kFirstCommand || id > kLastCommand ||
        FAILED(menu->GetCommandString(id - kFirstCommand, GCS_VERBW, nullptr, reinterpret_cast<char*>(name),
                                      static_cast<UINT>(std::size(name) - 1))) ||
        _wcsicmp(name, wideVerb.c_str()) != 0) {
      continue;
    }
    command = MAKEINTRESOURCEA(id - kFirstCommand);
    break;
  }
  if (SUCCEEDED(result)) {
    CMINVOKECOMMANDINFOEX info{};
    info.cbSize = sizeof info;
    info.fMask = CMIC_MASK_FLAG_NO_UI | (IS_INTRESOURCE(command) ? 0 : CMIC_MASK_UNICODE);
    info.lpVerb = command;
    info.lpVerbW = IS_INTRESOURCE(command) ? reinterpret_cast<const wchar_t*>(command) : wideVerb.c_str();
    info.nShow = SW_SHOWNORMAL;
    result = menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
  }
  if (popup != nullptr) DestroyMenu(popup);
  menu->Release();
  return result;
}

bool ShellRecycleBin::PutBack(const RecycledItem& item, std::string& error) {
  const HRESULT result = InvokeCommand(item, "undelete");
  if (SUCCEEDED(result)) return true;
  error = "the Recycle Bin's Restore failed (" + ErrorText(static_cast<DWORD>(result)) + ")";
  return false;
}

RestoreOutcome RestoreFromRecycleBin(const TrashedItem& item, RecycleBinShell& bin) {
  const std::string path = item.path.empty() ? std::string() : WithoutLongPrefix(FullPath(item.path));
  const std::size_t end = LastNameDelimiter(path);
  if (path.empty() || end == std::string::npos || end + 1 >= path.size() || end < DrivePartLength(path) ||
      path[end] == ':') {
    return Outcome(RestoreResult::Failed, "the record of this item is not usable");
  }
  const std::string name = path.substr(end + 1);
  const std::string folder = WithoutTrailingDelimiter(path.substr(0, end + 1));

  // The bin's items deleted from that path; another item deleted from it
  // since (whose identity the bin shows) is not this one.
  const auto fromPath = [&](const RecycledItem& candidate) {
    return SameText(WithoutTrailingDelimiter(candidate.folder), folder) && ShownAs(candidate, name) &&
           IdentityInBin(candidate, item.id) != Identity::Other;
  };
  const auto named = [&](std::string_view shown) {
    return SameText(shown, name) || (!Extension(name).empty() && SameText(shown, Stem(name)));
  };
  std::vector<RecycledItem> listed;
  std::string error;
  if (!bin.List(named, listed, error)) return Outcome(RestoreResult::Failed, error);
  std::vector<std::pair<RecycledItem, bool>> candidates;  // with whether the bin shows the recorded identity
  for (RecycledItem& candidate : listed) {
    if (fromPath(candidate)) {
      const bool same = IdentityInBin(candidate, item.id) == Identity::Same;
      candidates.emplace_back(std::move(candidate), same);
    }
  }
  if (candidates.empty()) return Outcome(RestoreResult::NotInTrash);
  // The recorded identity first, then the most recently deleted.
  std::stable_sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second : a.first.deleted > b.first.deleted;
  });
  const RecycledItem chosen = candidates.front().first;
  if (candidates.size() > 1 && !candidates.front().second &&
      (chosen.deleted == 0 || chosen.deleted == candidates[1].first.deleted)) {
    return Outcome(RestoreResult::Failed,
                   "the Recycle Bin holds " + std::to_string(candidates.size()) +
                       " items deleted from this path and does not tell which one the removal moved");
  }

  // Never into a folder that is gone (the shell would make it), never over
  // what stands at the path now.
  DWORD why = ERROR_SUCCESS;
  if (Missing(folder, why)) return Outcome(RestoreResult::NoFolder);
  if (why != ERROR_SUCCESS) return Outcome(RestoreResult::Failed, ErrorText(why));
  if (!FolderExists(folder)) return Outcome(RestoreResult::NoFolder);
  if (!Missing(path, why)) {
    return why == ERROR_SUCCESS ? Outcome(RestoreResult::Occupied) : Outcome(RestoreResult::Failed, ErrorText(why));
  }
  if (!bin.PutBack(chosen, error)) return Outcome(RestoreResult::Failed, error);

  // The shell says little about what it did: back only when the item is at
  // its path, with its identity where both are known, and gone from the bin.
  bool gone = false;
  if (!chosen.binPath.empty()) {
    gone = Missing(chosen.binPath, why);
  } else if (bin.List(named, listed, error)) {
    gone = static_cast<std::size_t>(std::count_if(listed.begin(), listed.end(), fromPath)) < candidates.size();
  }
  FileAttributes now;
  const bool there = QueryAttributes(path, now);
  if (there && gone && (!item.id.Known() || !now.id.Known() || now.id == item.id)) {
    return Outcome(RestoreResult::Restored);
  }
  if (there && !gone) return Outcome(RestoreResult::Occupied);
  if (there) return Outcome(RestoreResult::Failed, "the Recycle Bin gave it up, but another item stands at its path");
  return Outcome(RestoreResult::Failed, gone ? "the Recycle Bin gave it up, but it is not at its path"
                                             : "the shell left it in the Recycle Bin");
}

}  // namespace windows

RestoreOutcome RestoreFromTrash(const TrashedItem& item) {
  windows::ShellRecycleBin bin;
  return windows::RestoreFromRecycleBin(item, bin);
}

}  // namespace orvanta::platform
