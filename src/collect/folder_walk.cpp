#include "collect/folder_walk.h"

#include <algorithm>
#include <stdexcept>

#include "collect/masks.h"
#include "collect/paths.h"

namespace orvanta {
namespace {

using platform::EntryKind;

class Walker {
 public:
  Walker(const FileMask& mask, const std::atomic<bool>* stop, std::vector<EnumeratedFile>& out)
      : mask_(mask), stop_(stop), out_(out) {}

  void Walk(const std::string& folder) {
    if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) return;
    // The folder's entries are read in full and the folder closed before any
    // subfolder is entered, so one folder handle is open at a time at any depth.
    std::string names;
    std::vector<Item> items;
    platform::FileId self;
    {
      platform::FolderReader reader(folder);
      if (!reader.IsOpen()) return;
      if (reader.QueryFolderId(self)) {
        if (std::find(ancestors_.begin(), ancestors_.end(), self) != ancestors_.end()) return;
      }
      std::string_view name;
      EntryKind kind;
      while (reader.Next(name, kind)) {
        platform::FileAttributes attributes;
        bool haveAttributes = false;
        if (kind == EntryKind::Unknown) {
          if (!reader.QueryAttributes(name, attributes)) continue;
          haveAttributes = true;
          kind = attributes.kind;
        }
        if (kind == EntryKind::Folder) {
          items.push_back({names.size(), name.size(), true, {}, false});
          names.append(name);
        } else if (kind == EntryKind::File && mask_.Matches(name)) {
          if (!haveAttributes) haveAttributes = reader.QueryAttributes(name, attributes);
          // Swapped for a link or a special file since the listing: not a file any more.
          if (haveAttributes && attributes.kind != EntryKind::File) continue;
          items.push_back({names.size(), name.size(), false, attributes, haveAttributes});
          names.append(name);
        }
      }
    }
    ancestors_.push_back(self);
    for (const Item& item : items) {
      std::string path = JoinPath(folder, std::string_view(names).substr(item.nameOffset, item.nameLength));
      if (item.isFolder) {
        Walk(path);
      } else {
        out_.push_back({std::move(path), item.haveAttributes ? item.attributes.size : -1, item.haveAttributes,
                        item.attributes.id});
      }
    }
    ancestors_.pop_back();
  }

 private:
  struct Item {
    std::size_t nameOffset;
    std::size_t nameLength;
    bool isFolder;
    platform::FileAttributes attributes;
    bool haveAttributes;
  };

  const FileMask& mask_;
  const std::atomic<bool>* stop_;
  std::vector<EnumeratedFile>& out_;
  std::vector<platform::FileId> ancestors_;
};

}  // namespace

std::vector<EnumeratedFile> EnumerateFiles(const std::string& folder, const std::string& mask,
                                           const std::atomic<bool>* stop) {
  const FileMask fileMask(mask);
  if (folder.empty() || folder.find('\0') != std::string::npos || !platform::FolderExists(folder)) {
    throw std::runtime_error("Folder not found: " + folder);
  }
  std::vector<EnumeratedFile> files;
  Walker(fileMask, stop, files).Walk(folder);
  return files;
}

}  // namespace orvanta
