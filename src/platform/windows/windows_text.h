// Windows-only helpers of the seam, shared by its files and its tests: text
// conversion at the system boundary, long paths, and the Recycle Bin request.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace orvanta::platform::windows {

// UTF-8 <-> UTF-16. A lone surrogate of a file name travels as its three-byte
// form (WTF-8), so every name the system gives can be given back exactly.
std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view text);

// The path as the system takes it: UTF-16, and a fully qualified path with the
// extended-length prefix "\\?\" ("\\?\UNC\" for a share) at any length, so
// names such as "trail.", "CON" or "nul.txt" reach the file system as they are
// on disk instead of being trimmed or taken for devices. "." and ".." are
// resolved first, as the prefix turns the system's own parsing off.
std::wstring SystemPath(const std::string& path);
// The fully qualified form of a path, with "\" delimiters and "." and ".."
// resolved, names kept exactly (no trailing dot or blank dropped).
std::string FullPath(const std::string& path);

// The system's reason for an error code, in UTF-8.
std::string ErrorText(DWORD code);

// The kind of a directory entry from its attributes and, for a reparse point,
// its tag. Only name surrogates (symbolic links, junctions, mount points) point
// elsewhere and count as links; a cloud placeholder or a deduplicated file is
// the file or folder itself. Tag 0 (not given) counts as a link: never followed.
EntryKind KindOf(DWORD attributes, DWORD reparseTag);
// Whether an item with these attributes has its contents elsewhere, so that
// reading them would fetch them: a cloud placeholder (OneDrive's "online-only"
// files and other sync engines: FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS or
// FILE_ATTRIBUTE_RECALL_ON_OPEN) or an offline file (FILE_ATTRIBUTE_OFFLINE).
// A placeholder whose contents are on the disk (pinned, or hydrated) has none of these.
bool ContentsElsewhere(DWORD attributes);
// The identity from a volume serial and file index; unknown (all zero) when
// either is zero, as some file systems report for every file.
FileId IdentityOf(std::uint64_t volumeSerial, std::uint64_t indexLow, std::uint64_t indexHigh);
// The device of an identity: the volume serial, mixed with the volume's GUID
// path ("\\?\Volume{...}") where the system gives one. A cloned disk, a
// restored image or a VHD copy has the serial and file ids of its original:
// only the GUID tells the two volumes apart.
std::uint64_t VolumeDevice(std::uint64_t volumeSerial, std::wstring_view volumeGuidPath);
// The GUID path of the volume an open item lies on; empty where the system gives none.
std::wstring VolumeGuidPath(HANDLE handle);

// The form the shell takes: "\\?\C:\x" as "C:\x", "\\?\UNC\server\share" as
// "\\server\share"; every other path as it is.
std::string WithoutLongPrefix(const std::string& path);
// Why the shell (SHFileOperationW, ShellExecuteW) cannot be handed this fully
// qualified path as the name of the item; null when it can. Refused: a path
// of MAX_PATH characters or more, a device path, wildcards, any name on the
// way that Win32 would rewrite (a trailing dot or blank) or take for a device
// (CON, nul.txt, COM1), and, unless `rootAllowed`, a drive or share itself.
const char* ShellRefusal(const std::string& fullPath, bool rootAllowed = false);

// Why a folder must not leave its place because of what is mounted in it: a
// junction or a volume mount point anywhere inside, which would go along.
// Empty when there is none; a folder that cannot be listed cannot be vouched for.
std::string MountReason(const std::string& folder);

// The path block of a shell request: each path and a NUL, then one more NUL.
std::wstring RecyclePathBlock(const std::vector<std::string>& paths);
// The shell request that moves the block's items to the Recycle Bin.
SHFILEOPSTRUCTW RecycleRequest(HWND owner, const wchar_t* pathBlock);
// Why the volume of a fully qualified path (without "\\?\") has no Recycle
// Bin; empty when it has one. A share, a network drive, a CD or an unknown
// drive has none; a removable drive when SHQueryRecycleBinW finds none there.
std::string NoRecycleBinReason(const std::string& fullPath);
using RecycleBinQuery = std::function<std::string(const std::string& fullPath)>;
// Checks each item against what the scan saw, the shell's name rules and its
// volume's Recycle Bin (`noBinReason`), then hands every item that passed to
// `shell` in one request (SHFileOperationW outside the tests); after the call
// an item counts as moved when its path is gone. Without a `shell` only the
// checks run, and each item that passed them is reported as moving (a dry run).
std::vector<TrashOutcome> RecycleItems(const std::vector<TrashItem>& items, const TrashHooks& hooks, HWND owner,
                                       const std::function<int(SHFILEOPSTRUCTW&)>& shell,
                                       const RecycleBinQuery& noBinReason = NoRecycleBinReason);

// One item the Recycle Bin holds, as its shell describes it.
struct RecycledItem {
  std::string folder;              // the folder it was deleted from
  std::vector<std::string> names;  // the names the shell shows for it (one may lack a hidden extension)
  std::string binPath;             // where the bin keeps it, where the shell gives a file system path
  std::int64_t deleted = 0;        // when it was deleted (FILETIME ticks); 0 where the shell does not say
  std::size_t handle = 0;          // which of the shell's items it is
};

// The Recycle Bin as putting back asks it.
class RecycleBinShell {
 public:
  virtual ~RecycleBinShell() = default;
  // The items whose shown name `wanted` accepts (the rest are not described,
  // which is what costs); false with the reason when the bin cannot be listed.
  virtual bool List(const std::function<bool(std::string_view name)>& wanted, std::vector<RecycledItem>& items,
                    std::string& error) = 0;
  // Asks the shell to put the item back; false with the reason when the
  // request itself failed. Whether it did is seen on the disk afterwards.
  virtual bool PutBack(const RecycledItem& item, std::string& error) = 0;
};

// The shell's Recycle Bin folder (CSIDL_BITBUCKET through IShellFolder2):
// the original folder (PID_DISPLACED_FROM), the date deleted
// (PID_DISPLACED_DATE) and the parsing path of each item, and its "undelete"
// verb through IContextMenu. Made and used on one thread.
class ShellRecycleBin : public RecycleBinShell {
 public:
  ShellRecycleBin();
  ~ShellRecycleBin() override;
  ShellRecycleBin(const ShellRecycleBin&) = delete;
  ShellRecycleBin& operator=(const ShellRecycleBin&) = delete;
  bool List(const std::function<bool(std::string_view name)>& wanted, std::vector<RecycledItem>& items,
            std::string& error) override;
  bool PutBack(const RecycledItem& item, std::string& error) override;

 protected:
  // Invokes a command of the item's context menu: a verb (found among the
  // menu's commands by name, else passed as text), or a command offset made
  // with MAKEINTRESOURCEA.
  HRESULT InvokeCommand(const RecycledItem& item, const char* verb);

 private:
  void FreeItems();
  HRESULT started_ = E_FAIL;  // CoInitializeEx's result: balanced when it succeeded
  HRESULT bound_ = E_FAIL;
  IShellFolder2* bin_ = nullptr;
  std::vector<PITEMID_CHILD> children_;
};

// Puts one recorded item back from the Recycle Bin: the item deleted from
// that path (the folder and name the shell gives, letter case aside), the one
// with the recorded identity where the bin's own path shows it, else the most
// recently deleted, never a guess between several it cannot tell apart;
// never over anything standing at the path, never into a folder that is gone.
// Restored only when, afterwards, the item is at its path and gone from the bin.
RestoreOutcome RestoreFromRecycleBin(const TrashedItem& item, RecycleBinShell& bin);

}  // namespace orvanta::platform::windows
