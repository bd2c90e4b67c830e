// The operating-system seam: every service the engine asks of the system.
// One implementation per OS (posix/, windows/); nothing above this header
// calls the system directly.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvanta::platform {

#ifdef _WIN32
inline constexpr char kPathDelimiter = '\\';
#else
inline constexpr char kPathDelimiter = '/';
#endif

// Path text rules that differ between systems. Windows: "\" delimits (a "/"
// counts as one), a name ends at the last delimiter or ":", a drive part is
// "C:" or "\\server\share", and paths compare without regard to letter case.
// POSIX: "/" only, no drive part, exact comparison.
bool IsPathDelimiter(char c);
// Position of the delimiter (or ":") that ends the folder part; npos without one.
std::size_t LastNameDelimiter(std::string_view path);
// Length of the drive part at the start of `path`; 0 when it has none.
std::size_t DrivePartLength(std::string_view path);
// A character no file name may hold ("/" and NUL; on Windows also \ : " < > |
// and control characters).
bool InvalidInFileName(char c);
// Equal as paths of this system (folder list, same-path rule).
bool SamePath(std::string_view a, std::string_view b);

enum class EntryKind { File, Folder, Link, Other, Unknown };

// Identity of a file on its file system: two paths with the same id are one file.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
#ifdef _WIN32
  std::uint64_t inodeHigh = 0;  // the upper half of a 128-bit file id (ReFS)
#endif
  bool operator==(const FileId&) const = default;
  // All zero when the system gives no usable identity (Windows: a zero volume
  // serial or file index); such a file is told apart by its path instead.
  bool Known() const {
#ifdef _WIN32
    if (inodeHigh != 0) return true;
#endif
    return device != 0 || inode != 0;
  }
  // Mixed for a hash table.
  std::uint64_t Hash() const {
    std::uint64_t hash = inode * 0x9E3779B97F4A7C15ull ^ device * 0xC2B2AE3D27D4EB4Full;
#ifdef _WIN32
    hash ^= inodeHigh * 0x165667B19E3779F9ull;
#endif
    return hash;
  }
};

inline constexpr std::uint32_t kNoOwner = UINT32_MAX;

// A time in the system's own units (FileAttributes::modified, changed) as
// nanoseconds since 1970-01-01 UTC.
constexpr std::int64_t UnixNanoseconds(std::int64_t systemTime) {
#ifdef _WIN32
  return (systemTime - 116444736000000000) * 100;  // 100 ns ticks since 1601
#else
  return systemTime;
#endif
}
// Units of FileAttributes::modified and changed in one second.
#ifdef _WIN32
inline constexpr std::int64_t kFileTimeTicksPerSecond = 10000000;
#else
inline constexpr std::int64_t kFileTimeTicksPerSecond = 1000000000;
#endif

struct FileAttributes {
  EntryKind kind = EntryKind::Unknown;
  std::int64_t size = -1;
  FileId id;
  // Last write time in the system's own units (POSIX: nanoseconds since 1970;
  // Windows: 100-nanosecond ticks since 1601); compared for equality, and for
  // order between items of one scan (the keep rules newest and oldest).
  std::int64_t modified = 0;
  // Last change of the file's data or attributes (POSIX: ctime; Windows: the
  // ChangeTime of FILE_BASIC_INFO), which no user can set back: an edit that
  // restores size and write time still changes it. 0 where unknown.
  std::int64_t changed = 0;
  // The owning user (POSIX uid); kNoOwner where unknown (Windows: owners are
  // not compared, every copy counts as the user's own).
  std::uint32_t owner = kNoOwner;
  // Users other than the owner may add and remove entries: group- or
  // other-writable, or sticky (a shared folder such as /tmp). Meaningful for folders.
  bool shared = false;
  // Its contents are not on this disk, and reading them would fetch them from
  // elsewhere (Windows: a cloud placeholder such as OneDrive's "online-only"
  // files, or an offline file; see windows::ContentsElsewhere). Never on POSIX.
  bool offline = false;
};

// Reads one folder's entries in the order the file system returns them,
// without "." and "..". Links are reported as links and never followed.
class FolderReader {
 public:
  explicit FolderReader(const std::string& folder);
  ~FolderReader();
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;

  bool IsOpen() const;
  // The next entry's name and kind (Unknown when the listing does not say);
  // false at the end of the listing or when reading it fails.
  bool Next(std::string_view& name, EntryKind& kind);
  // True when the listing ended because reading it failed.
  bool Failed() const;
  // The attributes of an entry of this folder, without following a link.
  bool QueryAttributes(std::string_view name, FileAttributes& attributes) const;
  // The attributes of the folder itself; false when they cannot be read.
  bool QueryFolderAttributes(FileAttributes& attributes) const;
  // The identity of the folder itself; false when it has none that is known.
  bool QueryFolderId(FileId& id) const {
    FileAttributes attributes;
    if (!QueryFolderAttributes(attributes) || !attributes.id.Known()) return false;
    id = attributes.id;
    return true;
  }
  // What an entry that is neither file nor folder holds, as text to compare for
  // equality, read without following it: a link's target text (Windows: its
  // reparse data), a special file's type and, for a device, its numbers.
  // False when the entry cannot be read or is a file or folder.
  bool QueryEntryContent(std::string_view name, std::string& content) const;
  // A subfolder of this folder by its name, opened relative to this one
  // without following a link (a name swapped for a link since the listing is
  // not entered), so that a folder thousands of levels deep costs no walk
  // down its whole path. Windows: opened by its path. Never null; check IsOpen.
  std::unique_ptr<FolderReader> OpenSubfolder(std::string_view name) const;

  // Test seam: while set, QueryAttributes reports every entry whose name it
  // accepts as offline, as Windows reports a cloud placeholder; no system here
  // makes such a file on demand.
  static void SetOfflineForTesting(std::function<bool(std::string_view name)> names) {
    OfflineNames() = std::move(names);
  }

 private:
  FolderReader();
  static std::function<bool(std::string_view)>& OfflineNames() {
    static std::function<bool(std::string_view)> names;
    return names;
  }
  static bool OfflineForTesting(std::string_view name) { return OfflineNames() && OfflineNames()(name); }
  struct State;
  std::unique_ptr<State> state_;
};

// Attributes of the item at path, without following a final link.
bool QueryAttributes(const std::string& path, FileAttributes& attributes);
bool FolderExists(const std::string& path);
// A file (not a folder) at the path; both tests follow links.
bool FileExists(const std::string& path);

// Simple Unicode lower case of UTF-8 text; bytes that are not valid UTF-8 stay as they are.
std::string LowerCase(std::string_view text);

unsigned LogicalProcessorCount();
// Gives memory the process freed back to the system where the allocator keeps
// it (a stage's working lists, freed on other threads' heaps, would otherwise
// stay counted against the process until it ends).
void ReleaseFreedMemory();
// Has every thread allocate from the process's one heap (glibc keeps a heap
// per thread otherwise, and the scan's threads each held freed blocks of their
// own: several MiB at the peak beyond what the scan's data needs), and keeps
// blocks of a read buffer's size out of it (glibc otherwise moves them into
// the heap once one is freed, where each pass's buffers stay after it: 2 MiB
// at the peak of a scan of /usr). Called before a scan starts its threads.
void KeepHeapSmall();
// Processor time used so far by every thread of this process, in seconds.
double ProcessCpuSeconds();

// Whether standard error is a terminal, and its width in columns (0 when unknown).
bool StderrIsTerminal();
// Whether standard input is a terminal someone can answer a question on.
bool StdinIsTerminal();
int StderrColumns();

// The system's user-interface language identifier (Windows LANGID); none on POSIX,
// where the language comes from the environment.
std::optional<unsigned> SystemLanguageId();

// The user's folder for temporary files.
std::string TempFolder();
// The user's folder for data that may be rebuilt (POSIX: $XDG_CACHE_HOME, else
// ~/.cache; Windows: the local application data folder). Empty when unknown.
std::string UserCacheFolder();
// The current time in the units of FileAttributes::modified and changed.
std::int64_t FileTimeNow();

// The absolute form of a path, resolved against the current folder.
std::string AbsolutePath(const std::string& path);
// The path of an existing item as the kernel resolves it: absolute, every link
// followed, "." and ".." gone (POSIX realpath; Windows: the full path). Empty
// when the item does not exist or cannot be reached.
std::string RealPath(const std::string& path);
// The user this process acts as (POSIX effective uid); none on Windows, where
// owners are not compared.
std::optional<std::uint32_t> CurrentUserId();
// The name of the user with that owner id; empty where unknown (Windows:
// owners are not recorded).
std::string UserName(std::uint32_t owner);

}  // namespace orvanta::platform

namespace orvanta::platform {

// Replaces the file's contents in one step: written to a temporary file in the
// same folder, flushed, then renamed over the target. On failure the target is
// untouched, the temporary file removed, and std::runtime_error carries the
// system's reason. A file with other hard links, or one whose folder takes no
// temporary file while the file itself may be written, is written in place
// instead (its links then share the new contents): its old bytes are kept in
// memory and written back when the new ones cannot all be written. Only a
// regular file is ever replaced: a folder, device, FIFO or socket at the name
// is refused. A link is followed to the file it names, which is replaced (the
// link stays); a link to nothing is refused. An existing file keeps its
// permission bits, and its owner where the process may keep it.
void ReplaceFileContents(const std::string& fileName, const std::string& bytes);

}  // namespace orvanta::platform

namespace orvanta::platform {

// A file opened for reading its contents, shared with other readers and writers.
class InputFile {
 public:
  enum class OpenResult { Opened, NotAFile, Failed };

  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // NotAFile: nothing at the path, or a folder, link or special file there.
  // Failed: a file that cannot be opened; `error` gets the system's reason.
  OpenResult Open(const std::string& path, std::string& error);
  // The size when the file was opened.
  std::int64_t Size() const { return size_; }
  // The open file's attributes as they are now (kind, size, identity, times):
  // read after its contents, they show whether it changed meanwhile.
  bool QueryAttributes(FileAttributes& attributes) const;
  // Up to `capacity` bytes; 0 at the end; -1 on failure with the reason in `error`.
  std::int64_t Read(void* buffer, std::size_t capacity, std::string& error);
  // As Read, from `offset` on; where the next Read starts is not moved.
  std::int64_t ReadAt(void* buffer, std::size_t capacity, std::int64_t offset, std::string& error);
  void Close();

 private:
  friend class BatchReader;
#ifndef _WIN32
  // Takes the handle an open gave (or its failure, errno `failure`) and
  // checks that it is a file.
  OpenResult Adopt(int fd, int failure, const std::string& path, std::string& error);
#endif
#ifdef _WIN32
  void* handle_ = nullptr;
  std::wstring volumeGuid_;  // the volume GUID path of the file's folder: part of its identity
#else
  int fd_ = -1;
#endif
  std::int64_t size_ = 0;
};

// One open of a batch: the file at `path` into `file`, with what its Open
// would return, and the reason in `error` when it failed.
struct BatchedOpen {
  InputFile* file = nullptr;
  const std::string* path = nullptr;
  InputFile::OpenResult result = InputFile::OpenResult::Failed;
  std::string error;
};

// One read of a batch: up to `length` bytes of `file` from `offset` on.
// `result` gets what one ReadAt would give: the bytes read (fewer than
// `length` at the end of the file, and now and then before it) or -1.
struct BatchedRead {
  InputFile* file = nullptr;
  std::int64_t offset = 0;
  void* buffer = nullptr;
  std::size_t length = 0;
  std::int64_t result = 0;
};

// Opens, reads and closes of several files, handed to the system at once. On
// Linux they go to io_uring together: a cold disk gets the reads in one
// request batch and joins neighbouring ones, and the thread waits once for
// all of them, several times cheaper per file than one call after another.
// Where io_uring is not available (an old kernel, a sandbox that forbids it)
// and on Windows they are made one after another. One object per thread.
class BatchReader {
 public:
  static constexpr std::size_t kMaxReads = 64;

  BatchReader();
  ~BatchReader();
  BatchReader(const BatchReader&) = delete;
  BatchReader& operator=(const BatchReader&) = delete;

  // Opens every file as InputFile::Open opens one; at most kMaxReads at once.
  void OpenAll(std::span<BatchedOpen> opens);
  // Fills every read's `result`; at most kMaxReads at once.
  void ReadAll(std::span<BatchedRead> reads);
  // Closes every file of `files` that is open; at most kMaxReads at once.
  void CloseAll(std::span<InputFile> files);

  // Test seam: while set, readers made afterwards read one after another, as
  // where io_uring is not available.
  static void ReadOneByOneForTesting(bool oneByOne);

 private:
  struct Queue;
  std::unique_ptr<Queue> queue_;
};

// SHA-1 from the system's cryptography library. One object per thread; reusable.
class Sha1 {
 public:
  Sha1();
  ~Sha1();
  Sha1(const Sha1&) = delete;
  Sha1& operator=(const Sha1&) = delete;

  void Reset();
  void Update(const void* data, std::size_t length);
  // The 20 bytes of the digest; false, with `digest` unset, when the library
  // failed at any step since the last digest (the bytes then have no digest).
  [[nodiscard]] bool Finish(std::array<unsigned char, 20>& digest);

  // Test seam: while set, every Finish of the process fails, as a failing
  // cryptography provider would.
  static void FailForTesting(bool fail);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace orvanta::platform

namespace orvanta::platform {

// One item of a trash request: its path and the identity the scan saw
// (all zero where the platform gave none; then it is not compared).
struct TrashItem {
  std::string path;
  FileId scannedId;
};

// What became of one item: moved, or left in place with the system's reason.
struct TrashOutcome {
  bool moved = false;
  std::string reason;
  // Where a moved item went: the trash folder (POSIX; empty on Windows, where
  // it is the Recycle Bin), and whether that is not the trash the person
  // looks in (the home trash) but one at the top of another mount, which the
  // report then names.
  std::string trashFolder;
  bool otherTrash = false;
  // The name it got in that trash's "files" folder (POSIX; empty on Windows).
  std::string trashName;
};

// What the caller is asked around each item of a request.
struct TrashHooks {
  // Right before the item moves, once its identity has been checked: empty
  // lets it go, any other text leaves it in place with that text as reason
  // (the last comparison with a kept copy, a Stop).
  std::function<std::string(std::size_t index)> beforeMove;
  // Once the item's outcome is known (POSIX: as each item moves).
  std::function<void(std::size_t index, const TrashOutcome& outcome)> afterMove;
};

// Moves the items to the trash in one request and returns one outcome per
// item, in order; an item that fails never stops the others.
// Windows: the Recycle Bin through the shell (SHFileOperationW, undo allowed).
// POSIX: the desktop's trash (freedesktop.org Trash specification): the home
// trash when the item lies on its mount, else the trash at the top of the
// item's own mount (a bind mount has its own), used only when it is safe
// ($topdir/.Trash a real sticky folder, the user's folders in it owned by the
// user with mode 0700). An item that is a mount point, or holds one anywhere
// in its tree, stays: the mount would go along and emptying the trash would
// delete a tree nobody checked. So does every item of a read-only file system.
// The item is renamed into the trash, never copied, relative to its parent
// folder opened without following a link anywhere on the path, and only when
// it still has the scanned identity; a .trashinfo records where it came from
// (a name too long for the trash gets a shorter unique one there).
// Windows asks `beforeMove` of every item before the one shell request.
std::vector<TrashOutcome> MoveToTrash(const std::vector<TrashItem>& items, const TrashHooks& hooks = {});

// Every check MoveToTrash makes of each item, `beforeMove` among them and in
// the same order, and no move: an item that passes them all is reported as
// moved (it would move). A dry run asks this, so that it says what the move
// would do. POSIX: the trash the item would go to is looked up (and, as for a
// move, made when missing).
std::vector<TrashOutcome> CheckTrash(const std::vector<TrashItem>& items, const TrashHooks& hooks = {});

// Whether the entry `name` of the folder `parent` is a folder where the trash
// keeps what was moved there. POSIX: the home trash ($XDG_DATA_HOME/Trash,
// compared by identity, so a link on the way changes nothing), and .Trash or
// .Trash-$uid at the top of a mount. Windows: $Recycle.Bin or RECYCLER at a
// drive root. Only names that can be one are asked of the file system, and
// only for them is the parent's path made (a deep walk never builds it).
bool IsTrashFolder(const std::function<std::string()>& parent, std::string_view name);
// An item a removal moved to the trash, as its record keeps it.
struct TrashedItem {
  std::string path;         // where it was, as it was moved (resolved)
  std::string trashFolder;  // POSIX: the trash folder it went to
  std::string trashName;    // POSIX: its name in that trash's "files" folder
  FileId id;                // the identity it had (all zero where unknown)
};

enum class RestoreResult {
  Restored,
  NotInTrash,  // the trash no longer holds it (emptied, or restored already)
  Occupied,    // something stands at its original path now
  NoFolder,    // the folder it was in is gone
  Failed,      // anything else; the reason says what
};

struct RestoreOutcome {
  RestoreResult result = RestoreResult::Failed;
  std::string reason;  // the system's reason for Failed
};

// Puts one item back where it was. POSIX: renamed from the trash's "files"
// folder, found by its name there and checked against its .trashinfo (which
// must name the same original path) and its identity, into its original
// folder opened without following a link anywhere on the path; never over
// anything standing at the original path (renameat2 RENAME_NOREPLACE), and
// never into a folder that is gone (no folder is made). Its .trashinfo is
// removed once it is back. Windows: the Recycle Bin's item deleted from that
// path, as its shell folder lists it (folder and name, letter case aside): the
// one whose file in the bin has the recorded identity, else the most recently
// deleted, never a guess between several it cannot tell apart; the parent must
// be a folder and nothing may stand at the path before the shell's "undelete"
// verb is asked (which would make a missing folder), and it counts as back only
// when afterwards the item is at its path and gone from the bin.
RestoreOutcome RestoreFromTrash(const TrashedItem& item);

// The user's folder for data a program keeps between runs. POSIX:
// $XDG_DATA_HOME (default ~/.local/share); Windows: %LOCALAPPDATA%. Empty
// when there is none.
std::string UserDataFolder();
// Makes the folder and any missing parent (POSIX: mode 0700); true when a
// folder stands there afterwards.
bool MakeFolders(const std::string& path);

}  // namespace orvanta::platform

namespace orvanta::platform {

// The folder of the running executable.
std::string ExecutableFolder();
std::string JoinedPath(const std::string& folder, const std::string& name);

// The user's stored settings. Windows: registry values under
// HKEY_CURRENT_USER\Software\Orvanta. POSIX: the INI file Orvanta/Orvanta.conf under
// $XDG_CONFIG_HOME (default ~/.config), section [General]. Reading a missing
// file or key gives nothing; writing creates what is missing and fails quietly.
std::optional<std::string> ReadSetting(const std::string& key);
bool WriteSetting(const std::string& key, const std::string& value);

}  // namespace orvanta::platform

namespace orvanta::platform {

// Opens a file or folder with the desktop's default program for it. Windows:
// the shell's "open" (ShellExecuteW). POSIX: xdg-open, which asks the desktop
// (or its portal in a sandbox); the call waits a moment for it to fail and
// otherwise leaves it running. False, with the reason in `error`, when no
// program could be started for the item.
bool OpenWithDefaultProgram(const std::string& path, std::string& error);

// Whether the desktop's shell can be handed the path as the name of the item.
// Windows: the shell takes no "\\?\" form, so a path of MAX_PATH characters
// or more, or with a name Win32 would rewrite (a trailing dot or blank) or take
// for a device (CON, nul.txt), would fail or open another item; the rule of
// the Recycle Bin's request. POSIX: every path.
bool ShellTakesPath(const std::string& path);

}  // namespace orvanta::platform

#ifdef _WIN32
namespace orvanta::platform {

// Asks the shell to "open" a file, folder or address in a normal window
// (ShellExecuteW); the result is not examined.
void ShellOpen(const std::string& file, const std::string& parameters);

// The program's arguments as Windows hands them over (UTF-16), in UTF-8.
std::string FromWide(const wchar_t* text);

}  // namespace orvanta::platform
#endif

namespace orvanta::platform {

// Which kind of link may replace a copy.
enum class LinkKind { Any, CloneOnly, HardLinkOnly };

// One copy to replace with a link to a kept copy: both as the scan saw them.
struct LinkItem {
  std::string path;  // the copy that goes
  FileAttributes seen;
  std::string keptPath;  // the copy whose data it will share
  FileAttributes keptSeen;
};

struct LinkOutcome {
  bool replaced = false;
  bool cloned = false;  // a copy-on-write clone; else a hard link
  std::string reason;   // why it stayed
  // The kept copy's change time after the link (a hard link moves it; 0 where unknown).
  std::int64_t keptChanged = 0;
};

// What tests ask between making the link under its temporary name and
// renaming it over the copy: false simulates a crash there, so nothing after
// it runs and the temporary name stays as a crash would leave it.
using LinkCrashHook = std::function<bool(const std::string& temporaryPath)>;

// The prefix of the temporary name a link is made under, beside the copy.
inline constexpr std::string_view kLinkTemporaryPrefix = ".orvanta-link-";

// Replaces the copy with a link to the kept copy, atomically: a copy-on-write
// clone of the kept copy (POSIX FICLONE on Btrfs, XFS and others; Windows
// FSCTL_DUPLICATE_EXTENTS_TO_FILE on ReFS) that keeps the copy's own mode,
// owner and times, or else a hard link to the kept copy. It is made under a
// temporary name in the copy's folder, reached without following any link,
// and renamed over the copy, so a crash leaves either the old file or the
// link. Both must still be what the scan saw (identity, size, times), right
// before the rename as well. A hard link needs both on one file system with
// the same owner, group, permission bits and access control list (POSIX; on
// Windows owners are not compared), so that nobody may read or write what
// they could not before; a clone of a copy with extended attributes or an
// access control list is refused, as the clone would not carry them.
LinkOutcome ReplaceWithLink(const LinkItem& item, LinkKind kind, const LinkCrashHook& crashHook = {});

// Every check ReplaceWithLink makes, in the same order and with the same
// reasons, and no change: a copy that passes them all is reported as replaced
// (it would be), `cloned` saying whether by a clone. A dry run asks this.
// Where only the link or rename itself would meet a refusal, the check asks
// the system for it: write access to the copy's folder for a hard link, and a
// clone tried on a file that never gets a name (POSIX O_TMPFILE, gone when
// closed; on a file system without such files the clone counts as not
// possible there). Windows: the clone counts as possible when the copy's
// volume is the kept copy's and shares blocks (ReFS), as no file can be
// written unseen.
LinkOutcome CheckLink(const LinkItem& item, LinkKind kind);

}  // namespace orvanta::platform

namespace orvanta::platform {

// Moving or copying an item into a folder the person picked.
enum class RelocationKind { Move, Copy };

// One item to move or copy, as the scan saw it, and its place below the folder.
struct RelocationItem {
  std::string path;  // the item
  FileAttributes seen;
  std::string destination;  // the folder picked: an existing folder, resolved
  std::string target;       // its place below that folder, names separated by the delimiter
};

struct RelocationOutcome {
  bool done = false;
  // It went as a copy compared byte for byte with the original: every copy,
  // and a move across file systems.
  bool copied = false;
  std::string reason;  // why it stayed
};

// What the caller is asked around each item.
struct RelocationHooks {
  // Right before the item goes, once its identity has been checked: empty
  // lets it go, any other text leaves it in place with that text as reason.
  std::function<std::string()> beforeMove;
  // Once a copy has been written and flushed under its temporary name: empty
  // when it holds the original's bytes, else why not (the copy is then
  // removed and the original stays). Without it no copy is ever kept.
  std::function<std::string(const std::string& original, const std::string& temporary)> verifyCopy;
};

// The names of a target, its folders first and the item's own name last;
// empty when it names no place (no name, or "." or ".." on the way).
inline std::vector<std::string> TargetNames(std::string_view target) {
  std::vector<std::string> names;
  for (std::size_t start = 0; start <= target.size();) {
    std::size_t end = start;
    while (end < target.size() && !IsPathDelimiter(target[end])) ++end;
    if (end > start) names.emplace_back(target.substr(start, end - start));
    if (!names.empty() && (names.back() == "." || names.back() == "..")) return {};
    start = end + 1;
  }
  return names;
}

// The prefix of the temporary name a copy is written under, in its folder.
inline constexpr std::string_view kCopyTemporaryPrefix = ".orvanta-copy-";

// Moves or copies the item to its place below the destination, never over
// anything that stands there (POSIX renameat2 RENAME_NOREPLACE and O_EXCL;
// Windows MoveFileExW without MOVEFILE_REPLACE_EXISTING and CopyFileW that
// fails if the file exists). Folders on the way are made as needed, every
// one reached without following a link; the item's folder too. The item must
// still have the scanned identity (a file also its size and times). Within
// one file system a move is one rename; a file moved across file systems is
// copied to a temporary name in the target folder, flushed, compared through
// `verifyCopy`, renamed into place and only then removed at its old place:
// any failure leaves the original and removes the copy. A copy is made the
// same way and never touches the original. A folder moves only within its
// file system and is never copied (the reason says so); a folder that is or
// holds a mount point stays, as removal leaves it. Nothing leaves a
// read-only file system.
RelocationOutcome RelocateItem(const RelocationItem& item, RelocationKind kind, const RelocationHooks& hooks = {});

// Every check RelocateItem makes, `beforeMove` among them and in the same
// order, with the same reasons, and no change: an item that passes them all
// is reported as done (it would go), `copied` saying whether as a copy.
// Nothing is made: a folder missing on the way below the destination counts
// as one the move would make (where it may write), anything else standing
// there is checked as the move checks it. `verifyCopy` is required as by the
// move but never asked, as nothing is copied. Where only the move itself
// would meet a refusal, the check asks the system for it: POSIX whether both
// folders lie on one mount (else the item would be copied) and write access
// to the folders it would change; Windows whether both lie on one volume.
RelocationOutcome CheckRelocation(const RelocationItem& item, RelocationKind kind, const RelocationHooks& hooks = {});

}  // namespace orvanta::platform
