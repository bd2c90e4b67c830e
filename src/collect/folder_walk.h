// The walk below one listed folder with one mask.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "collect/masks.h"
#include "core/file_record.h"
#include "platform/platform.h"

namespace orvanta {

// A file the walk found; the views are valid during the call that gets it.
struct EnumeratedFile {
  std::string_view folder;  // ends with a delimiter
  std::string_view name;
  std::int64_t size = -1;  // -1 when the attribute query failed
  // What the walk saw, so that removal can tell the file is still the same.
  platform::FileId id;
  std::int64_t modified = 0;
  std::int64_t changed = 0;
  std::uint32_t owner = platform::kNoOwner;
  bool inSharedFolder = false;  // its folder lets other users add and remove entries
  bool offline = false;         // its contents are not on this disk

  std::string FullPath() const { return std::string(folder).append(name); }
};

// The files one scan has reached. A file reached twice (overlapping folders,
// two masks, hard links, bind mounts) would form a clone group with itself and
// put its only copy up for removal, so only its first reach counts.
class ReachedFiles {
 public:
  ReachedFiles() = default;
  // For files that become records of `registry`: their identities are then
  // looked up in the records rather than kept a second time here.
  explicit ReachedFiles(const FileRegistry& registry) : registry_(&registry) {}

  bool FirstReach(const platform::FileId& id);
  // The same for a file that, when reached first, becomes the registry's
  // record `record` (its next one) before anything else is asked here.
  bool FirstReach(const platform::FileId& id, std::size_t record);
  // For a file whose identity could not be read or is not known (on some
  // volumes every file's), so it must stay cheap for many files.
  bool FirstReach(const std::string& path);

 private:
  void Grow();
  // The identity a slot stands for; none for a record a stopped pass dropped.
  const platform::FileId* IdOf(std::uint32_t slotValue) const;
  bool Insert(const platform::FileId& id, std::uint32_t slotValue);

  static std::size_t SlotOf(const platform::FileId& id, std::size_t mask);
  static constexpr std::uint32_t kEmpty = UINT32_MAX;
  // Set in a slot that holds a position in ids_; clear: a record's index.
  static constexpr std::uint32_t kOwnId = 1u << 31;

  // Open addressing over positions in ids_ and records: a node per file would
  // cost three times the memory, and identities in the table itself twice
  // the table. (A deque: no doubling copy of a million identities.)
  const FileRegistry* registry_ = nullptr;
  std::deque<platform::FileId> ids_;
  std::size_t entries_ = 0;
  std::vector<std::uint32_t> slots_ = std::vector<std::uint32_t>(1024, kEmpty);
  std::unordered_set<std::string> paths_;
};

// Whether the scan leaves a file out unread: its contents are not on this disk
// (a cloud placeholder, an offline file; FileAttributes::offline), reading
// them would download them, and the person has not asked for that. Such a file
// is named, joins no group in any compare mode (removal would read it), and a
// folder holding it has contents unknown, so it is no folder clone.
// `readPlaceholders`: ScanSettings::ReadPlaceholders.
inline bool LeftOutUnread(bool offline, bool readPlaceholders) { return offline && !readPlaceholders; }

// Reads the next entry of a listing and makes sure its kind is known: the
// listing's, else the file system's answer, kept in `attributes`
// (haveAttributes), else reset. An entry gone before it could be asked is skipped.
bool NextKnownEntry(platform::FolderReader& reader, std::string_view& name, platform::EntryKind& kind,
                    platform::FileAttributes& attributes, bool& haveAttributes);

// Calls `found` for every regular file below the folder, at any depth, whose
// name matches the mask, depth first in listing order, and returns how many
// it found. Folders are listed by a small pool of threads; the order is the
// one a one-thread walk gives, and `found` runs on the calling thread. Links
// are neither listed nor entered, special files are skipped, a folder that is
// its own ancestor (a bind-mount loop) is not entered again, and a folder that
// cannot be listed contributes nothing. While the calling thread waits for a
// listing it runs `waiting` every few milliseconds (the window pumps its
// messages there). With `oneFileSystem` a folder on another file system than
// the folder walked (another device: a disk or tmpfs mounted below it, not a
// bind mount of its own) is not entered, as find -xdev does; nor is a folder
// below it that `exclusions` leave out. Throws for a
// malformed mask or a folder that does not exist, and rethrows what a listing
// thread threw (out of memory) once every thread has ended. Returns early
// once `stop` is set.
std::size_t WalkFiles(const std::string& folder, const std::string& mask,
                      const std::function<void(const EnumeratedFile&)>& found, const std::atomic<bool>* stop = nullptr,
                      const std::function<void()>& waiting = {}, bool oneFileSystem = false,
                      const FolderExclusions* exclusions = nullptr);

}  // namespace orvanta
