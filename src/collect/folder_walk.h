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

#include "core/file_record.h"
#include "platform/platform.h"

namespace orvanta {

// A file the walk found. Its folder and name live in the PathStore the walk was given.
struct EnumeratedFile {
  const std::string* folder;  // ends with a delimiter
  std::string_view name;
  std::int64_t size = -1;  // -1 when the attribute query failed
  // What the walk saw, so that removal can tell the file is still the same.
  platform::FileId id;
  std::int64_t modified = 0;

  std::string FullPath() const { return *folder + std::string(name); }
};

// The files one scan has reached. A file reached twice (overlapping folders,
// two masks, hard links, bind mounts) would form a clone group with itself and
// put its only copy up for removal, so only its first reach counts.
class ReachedFiles {
 public:
  bool FirstReach(const platform::FileId& id);
  // For a file whose identity could not be read or is not known (on some
  // volumes every file's), so it must stay cheap for many files.
  bool FirstReach(const std::string& path);

 private:
  void Grow();

  // Open addressing: a node per file would cost three times the memory.
  std::vector<platform::FileId> slots_ = std::vector<platform::FileId>(1024);
  std::vector<bool> used_ = std::vector<bool>(1024);
  std::size_t count_ = 0;
  std::unordered_set<std::string> paths_;
};

// Reads the next entry of a listing and makes sure its kind is known: the
// listing's, else the file system's answer, kept in `attributes`
// (haveAttributes), else reset. An entry gone before it could be asked is skipped.
bool NextKnownEntry(platform::FolderReader& reader, std::string_view& name, platform::EntryKind& kind,
                    platform::FileAttributes& attributes, bool& haveAttributes);

// Every regular file below the folder, at any depth, whose name matches the
// mask, depth first in listing order, that `reached` has not seen yet (all of
// them without it). Folders are listed by a small pool of threads; the order
// is the one a one-thread walk gives. Links are neither listed nor entered,
// special files are skipped, a folder that is its own ancestor (a bind-mount
// loop) is not entered again, and a folder that cannot be listed contributes
// nothing. While the calling thread waits for a listing it runs `waiting`
// every few milliseconds (the window pumps its messages there). Throws for a
// malformed mask or a folder that does not exist. Returns early, with a
// partial list, once `stop` is set. (A deque: no doubling copies while
// hundreds of thousands of files arrive.)
std::deque<EnumeratedFile> EnumerateFiles(PathStore& paths, const std::string& folder, const std::string& mask,
                                          const std::atomic<bool>* stop = nullptr, ReachedFiles* reached = nullptr,
                                          const std::function<void()>& waiting = {});

}  // namespace orvanta
