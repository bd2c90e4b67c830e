#include "collect/folder_walk.h"

#include <stdexcept>

#include "collect/masks.h"
#include "core/paths.h"

namespace orvanta {
namespace {

using platform::EntryKind;

// Depth first in listing order, with an explicit stack of open levels rather
// than recursion, so the depth of a tree is bounded by memory, not by the
// thread's stack.
class Walker {
 public:
  Walker(const FileMask& mask, const std::atomic<bool>* stop, ReachedFiles* reached,
         std::deque<EnumeratedFile>& out)
      : mask_(mask), stop_(stop), reached_(reached), out_(out) {}

  void Walk(const std::string& root) {
    Enter(root);
    while (!levels_.empty()) {
      Level& level = levels_.back();
      if (level.next == level.items.size()) {
        levels_.pop_back();
        continue;
      }
      const Item& item = level.items[level.next++];
      std::string path = JoinPath(std::string_view(folder_).substr(0, level.folderLength),
                                  std::string_view(level.names).substr(item.nameOffset, item.nameLength));
      if (item.isFolder) {
        Enter(path);  // may grow levels_: `level` and `item` are not used after this
      } else if (reached_ == nullptr ||
                 (item.haveAttributes && item.attributes.id.Known() ? reached_->FirstReach(item.attributes.id)
                                                                    : reached_->FirstReach(path))) {
        out_.push_back({std::move(path), item.haveAttributes ? item.attributes.size : -1, item.attributes.id,
                        item.attributes.modified});
      }
    }
  }

 private:
  struct Item {
    std::size_t nameOffset;
    std::size_t nameLength;
    bool isFolder;
    platform::FileAttributes attributes;
    bool haveAttributes;
  };
  // One folder being walked: its entries, read in full, and the next to visit.
  // Its path is the first folderLength bytes of folder_ (each level's path
  // begins with its parent's), so a deep tree holds each name once.
  struct Level {
    std::size_t folderLength;
    platform::FileId id;
    std::string names;
    std::vector<Item> items;
    std::size_t next = 0;
  };

  // Reads the folder's entries in full and closes it before any subfolder is
  // entered, so one folder handle is open at a time at any depth.
  void Enter(const std::string& folder) {
    if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) return;
    Level level;
    level.folderLength = folder.size();
    platform::FolderReader reader(folder);
    if (!reader.IsOpen()) return;
    if (reader.QueryFolderId(level.id)) {
      // A folder that is its own ancestor (a bind-mount loop) is not entered again.
      for (const Level& ancestor : levels_) {
        if (ancestor.id == level.id) return;
      }
    }
    std::string_view name;
    EntryKind kind;
    platform::FileAttributes attributes;
    bool haveAttributes = false;
    while (NextKnownEntry(reader, name, kind, attributes, haveAttributes)) {
      if (kind == EntryKind::Folder) {
        level.items.push_back({level.names.size(), name.size(), true, {}, false});
        level.names.append(name);
      } else if (kind == EntryKind::File && mask_.Matches(name)) {
        if (!haveAttributes) haveAttributes = reader.QueryAttributes(name, attributes);
        // Swapped for a link or a special file since the listing: not a file any more.
        if (haveAttributes && attributes.kind != EntryKind::File) continue;
        level.items.push_back({level.names.size(), name.size(), false, attributes, haveAttributes});
        level.names.append(name);
      }
    }
    folder_ = folder;
    levels_.push_back(std::move(level));
  }

  const FileMask& mask_;
  const std::atomic<bool>* stop_;
  ReachedFiles* reached_;
  std::deque<EnumeratedFile>& out_;
  std::vector<Level> levels_;
  std::string folder_;  // the path of the deepest level
};

}  // namespace

bool ReachedFiles::FirstReach(const platform::FileId& id) {
  if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = (id.inode * 0x9E3779B97F4A7C15ull ^ id.device * 0xC2B2AE3D27D4EB4Full) >> 7 & mask;
  for (; used_[slot]; slot = (slot + 1) & mask) {
    if (slots_[slot] == id) return false;
  }
  used_[slot] = true;
  slots_[slot] = id;
  ++count_;
  return true;
}

bool ReachedFiles::FirstReach(const std::string& path) { return paths_.insert(path).second; }

void ReachedFiles::Grow() {
  std::vector<platform::FileId> old;
  old.swap(slots_);
  slots_.assign(old.size() * 2, {});
  std::vector<bool> oldUsed(slots_.size(), false);
  oldUsed.swap(used_);
  count_ = 0;
  for (std::size_t i = 0; i < old.size(); ++i) {
    if (oldUsed[i]) FirstReach(old[i]);
  }
}

bool NextKnownEntry(platform::FolderReader& reader, std::string_view& name, EntryKind& kind,
                    platform::FileAttributes& attributes, bool& haveAttributes) {
  while (reader.Next(name, kind)) {
    // Nothing of the previous entry may pass for this one's.
    attributes = {};
    haveAttributes = false;
    if (kind != EntryKind::Unknown) return true;
    if (reader.QueryAttributes(name, attributes)) {
      haveAttributes = true;
      kind = attributes.kind;
      return true;
    }
  }
  return false;
}

std::deque<EnumeratedFile> EnumerateFiles(const std::string& folder, const std::string& mask,
                                          const std::atomic<bool>* stop, ReachedFiles* reached) {
  const FileMask fileMask(mask);
  if (folder.empty() || folder.find('\0') != std::string::npos || !platform::FolderExists(folder)) {
    throw std::runtime_error("Folder not found: " + folder);
  }
  std::deque<EnumeratedFile> files;
  Walker(fileMask, stop, reached, files).Walk(folder);
  return files;
}

}  // namespace orvanta
